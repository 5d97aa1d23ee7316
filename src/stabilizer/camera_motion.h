// The camera's motion frame by frame, as the Causal and Lag modes measure it:
// the grid of templates, the robust fit of their shifts, templates that keep
// finding a moving subject placed anew, and a still camera held still.
#ifndef REGVIAFFT_STABILIZER_CAMERA_MOTION_H
#define REGVIAFFT_STABILIZER_CAMERA_MOTION_H

#include <vector>

#include "grid_measurement.h"
#include "motion_fit.h"
#include "regviafft/stabilizer.h"
#include "still_detector.h"

namespace regviafft {

class CameraMotion {
public:
    explicit CameraMotion(const Settings& resolved);

    // The frame becomes the current one.
    void load(const FrameView& frame);
    // Places the templates on the current frame, the first of a path; false
    // when no part of it has texture to measure.
    bool start(MotionRecord& record);
    // Measures the current frame against the previous one into the record's
    // measurement fields.
    void measure(MotionRecord& record);
    // The camera has stood still for a while: its motion is held at none.
    bool still() const { return still_.still(); }

private:
    void fillRecord(const MotionFit& fit, MotionRecord& record) const;
    void respotOutliers(const MotionFit& fit);

    GridMeasurement grid_;
    FitOptions options_;
    StillDetector still_;
    double leastSpread_;             // pixels: the floor of the expected motion's spread
    bool tripod_;                    // the camera is meant to stand still
    std::vector<int> outlierFrames_; // per template: frames in a row it disagreed
};

}  // namespace regviafft

#endif
