// Scene cuts: a frame that the templates no longer recognise.
#ifndef REGVIAFFT_STABILIZER_CUT_DETECTOR_H
#define REGVIAFFT_STABILIZER_CUT_DETECTOR_H

#include <array>

#include "regviafft/stabilizer.h"

namespace regviafft {

class CutDetector {
public:
    // Forgets the peaks of the previous scene.
    void restart();
    // A measured frame is a cut when its peak is under a quarter of the
    // median of the recent accepted peaks and at most half of its templates
    // agree with its fitted motion, or when the motion failed the
    // plausibility bound. A frame that is not a cut has its peak remembered.
    bool judge(const MotionRecord& record, bool plausible);

private:
    double medianPeak() const;

    static constexpr int kRecentPeaks = 10;
    std::array<double, kRecentPeaks> peaks_{};
    int count_ = 0;
    int next_ = 0;
};

}  // namespace regviafft

#endif
