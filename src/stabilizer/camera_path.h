// Smoothing of the camera path, one axis at a time: the causal tracker, the
// look-ahead fit, and the soft limit that keeps every correction inside the
// budget.
#ifndef REGVIAFFT_STABILIZER_CAMERA_PATH_H
#define REGVIAFFT_STABILIZER_CAMERA_PATH_H

namespace regviafft {

// Offsets up to part of the budget pass unchanged; beyond, they approach the
// budget smoothly and never reach it. A budget of 0 allows no correction.
double limitToBudget(double offset, double budget);

// Critically damped constant-velocity tracker (an alpha-beta filter) with a
// time constant of tau frames: zero latency, and a steady pan is followed
// without a lasting offset.
class CausalTracker {
public:
    explicit CausalTracker(double timeConstant);
    // The path starts (again) at position, at rest.
    void restart(double position);
    // Tracks the camera at `path` and returns the correction, limited to the
    // budget. The limited position is fed back, so that the tracker catches
    // up with a move it cannot hold instead of framing it in black.
    double correct(double path, double budget);

private:
    double alpha_;
    double beta_;
    double position_ = 0.0;
    double velocity_ = 0.0;
};

// Correction of the frame at index `at` of path[0..count-1], the camera path
// over its look-ahead window: a Gaussian-weighted (sigma frames) straight-line
// fit gives the smooth path, blended into a narrow quadratic fit where the
// line would spend much of the budget within a few frames (a whip pan, a
// sudden stop); the result is limited to the budget.
double lagCorrection(const double* path, int count, int at, double sigma, double budget);

}  // namespace regviafft

#endif
