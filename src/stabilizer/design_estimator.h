// Design mode's measurement: frames of any accepted format through the
// registration object's Run, read back as motion records.
#ifndef REGVIAFFT_STABILIZER_DESIGN_ESTIMATOR_H
#define REGVIAFFT_STABILIZER_DESIGN_ESTIMATOR_H

#include <cstdint>
#include <vector>

#include "RegViaFFT.h"
#include "regviafft/stabilizer.h"

namespace regviafft {

class DesignEstimator {
public:
    // Creates the registration object from resolved settings; throws
    // std::invalid_argument when it refuses them, std::bad_alloc when its
    // buffers cannot be had.
    explicit DesignEstimator(const Settings& settings);
    DesignEstimator(const DesignEstimator& other);
    DesignEstimator& operator=(const DesignEstimator& other);

    // The frame goes through Run exactly as a host of the object would pass
    // it, pauses and diagnostics included. Fills the measurement fields of
    // record and the offset Run applied.
    void run(const FrameView& frame, MotionRecord& record);

private:
    const std::uint8_t* packedForRun(const FrameView& frame);

    CRegViaFFT stream_;
    std::vector<std::uint8_t> runInput_;   // frames converted to Run's layout
    std::vector<std::uint8_t> runOutput_;  // Run's output, which the stabiliser renders itself
};

}  // namespace regviafft

#endif
