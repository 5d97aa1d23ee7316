// The camera's motion frame by frame, as the Causal and Lag modes measure it:
// the grid of templates, the robust fit of their shifts judged for how far it
// can be trusted, templates that keep finding a moving subject placed anew,
// and a still camera held still.
#ifndef REGVIAFFT_STABILIZER_CAMERA_MOTION_H
#define REGVIAFFT_STABILIZER_CAMERA_MOTION_H

#include <vector>

#include "grid_measurement.h"
#include "measurement_judge.h"
#include "motion_fit.h"
#include "regviafft/stabilizer.h"
#include "still_detector.h"

namespace regviafft {

// A frame's motion as measured, and as the camera's recent frames predicted
// it: the path follows the measured one when it is reliable.
struct JudgedMotion {
    Similarity measured;
    Similarity predicted;
    bool reliable = false;
    bool held = false;  // the camera is held still (a tripod, a still camera): the prediction is sure
};

class CameraMotion {
public:
    explicit CameraMotion(const Settings& resolved);

    // The frame becomes the current one.
    void load(const FrameView& frame);
    // Places the templates on the current frame, the first of a path; false
    // when no part of it has texture to measure.
    bool start(MotionRecord& record);
    // Measures the current frame against the previous one into the record's
    // measurement fields. An unreliable measurement leaves the camera's
    // prediction, the still camera and the templates as they were.
    JudgedMotion measure(MotionRecord& record);
    // The camera is taken to have moved so on the current frame, whose own
    // measurement was unreliable: the next frame is predicted from it.
    void adopt(const Similarity& motion) { options_.expected = motion; }
    // The camera has stood still for a while: its motion is held at none.
    bool still() const { return still_.still(); }
    // The current frame, reduced to the analysed size.
    const cv::Mat& picture() const { return grid_.picture(); }

private:
    void fillRecord(const MotionFit& fit, MotionRecord& record) const;
    void followCamera(MotionFit& fit);
    void respotOutliers(const MotionFit& fit);

    GridMeasurement grid_;
    FitOptions options_;
    StillDetector still_;
    MeasurementJudge judge_;
    double leastSpread_;             // pixels: the floor of the expected motion's spread
    bool tripod_;                    // the camera is meant to stand still
    std::vector<int> outlierFrames_; // per template: frames in a row it disagreed
    int movedAgainstPresumption_ = 0; // frames in a row nearly the whole picture moved while presumed still
};

}  // namespace regviafft

#endif
