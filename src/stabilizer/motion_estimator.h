// The stabiliser's measurement: frames of any accepted format through the
// registration object's own measurement steps, read back as motion records.
#ifndef REGVIAFFT_STABILIZER_MOTION_ESTIMATOR_H
#define REGVIAFFT_STABILIZER_MOTION_ESTIMATOR_H

#include <cstdint>
#include <vector>

#include "RegViaFFT.h"
#include "regviafft/stabilizer.h"

namespace regviafft {

class MotionEstimator {
public:
    // Creates the registration object from resolved settings; throws
    // std::invalid_argument when it refuses them, std::bad_alloc when its
    // buffers cannot be had.
    explicit MotionEstimator(const Settings& settings);
    MotionEstimator(const MotionEstimator& other);
    MotionEstimator& operator=(const MotionEstimator& other);

    // Design mode: the frame goes through Run exactly as a host of the object
    // would pass it, pauses and diagnostics included. Fills the measurement
    // fields of record and the offset Run applied.
    void runDesign(const FrameView& frame, MotionRecord& record);

    // Other modes, step by step and silent. loadFrame makes the frame the
    // current one; placeTemplates starts a new sequence on it (false when no
    // template could be placed, std::bad_alloc when placement's workspace
    // cannot be had); measure registers it against the previous current
    // frame and fills the measurement fields.
    void loadFrame(const FrameView& frame);
    bool placeTemplates(MotionRecord& record);
    void measure(MotionRecord& record);
    // The registration object's plausibility bound for a frame's motion.
    bool plausible(const MotionRecord& record) const;

private:
    const std::uint8_t* packedForRun(const FrameView& frame);

    CRegViaFFT stream_;
    int width_;
    int height_;
    std::vector<std::uint8_t> runInput_;   // frames converted to Run's layout
    std::vector<std::uint8_t> runOutput_;  // Run's output, which the stabiliser renders itself
};

}  // namespace regviafft

#endif
