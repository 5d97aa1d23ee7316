// The stabiliser's way into the registration object: the very measurement
// code of Run (grey frame, reduction, template placement, phase correlation,
// candidate selection), driven step by step, and the motion record read back
// from the object's state.
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
    // would pass it, pauses included. Fills the measurement fields of record
    // and the offset Run applied.
    void runDesign(const FrameView& frame, MotionRecord& record);

    // Other modes, step by step. loadFrame makes the frame the current one;
    // placeTemplates places templates on it and keeps its spectra as the
    // reference (false when no template could be placed); measure registers it
    // against the previous current frame and fills the measurement fields.
    void loadFrame(const FrameView& frame);
    bool placeTemplates(MotionRecord& record);
    void measure(MotionRecord& record);
    // The registration object's plausibility bound for a frame's motion.
    bool plausible(const MotionRecord& record) const;

    // The record of the last frame Run analysed (see lastMotion).
    static MotionRecord lastRecord(const CRegViaFFT& stream);

private:
    // The measurement of the last frame the object analysed, and the offset
    // Run applied to it.
    static void readMeasurement(const CRegViaFFT& stream, MotionRecord& record);
    static void readDesignOffset(const CRegViaFFT& stream, MotionRecord& record);
    const std::uint8_t* packedForRun(const FrameView& frame);

    CRegViaFFT stream_;
    std::vector<std::uint8_t> runInput_;   // frames converted to Run's layout
    std::vector<std::uint8_t> runOutput_;  // Run's output, which the stabiliser renders itself
};

}  // namespace regviafft

#endif
