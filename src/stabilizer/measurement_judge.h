// Whether a frame's measured motion can be trusted. A fast pan over a faint
// or blurred picture leaves a few frames where only one or two templates find
// their place and the peaks collapse; their motion is then as likely noise as
// the camera, and a path built on it bends where the camera did not.
#ifndef REGVIAFFT_STABILIZER_MEASUREMENT_JUDGE_H
#define REGVIAFFT_STABILIZER_MEASUREMENT_JUDGE_H

#include <array>

#include "motion_fit.h"

namespace regviafft {

struct Judgement {
    double confidence = 0.0;  // 0 to 1
    bool reliable = false;
};

class MeasurementJudge {
public:
    // A new path: the peaks of the previous scene say nothing of this one.
    void restart();
    // The fit's confidence, the peak-weighted share of templates that agree
    // with it times `peak` (theirs) against the median of the recent
    // reliable frames', and whether it reaches kLeastConfidence with at
    // least three agreeing templates. A reliable frame's peak is remembered.
    Judgement judge(const MotionFit& fit, double peak);

private:
    double medianPeak() const;

    static constexpr int kRecentPeaks = 15;
    std::array<double, kRecentPeaks> peaks_{};
    int count_ = 0;
    int next_ = 0;
};

}  // namespace regviafft

#endif
