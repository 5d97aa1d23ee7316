// The causal camera path: a tracker of the camera with no latency, which
// smooths shake and still follows an intended move within a frame or two.
#ifndef REGVIAFFT_STABILIZER_CAUSAL_PATH_H
#define REGVIAFFT_STABILIZER_CAUSAL_PATH_H

#include <array>
#include <deque>

#include "camera_path.h"

namespace regviafft {

// A critically damped constant-velocity tracker (an alpha-beta filter) on the
// pose's four axes, whose time constant adapts to the camera. At rest it is
// the smoothness setting; it drops towards 1 frame when the velocity changes
// beyond the shake the same way two frames in a row (a pan starts), towards 2
// when the position runs away from the prediction the same way (a drift the
// velocity missed), and towards 3 while the camera moves faster than half a
// percent of the frame width per frame; then it relaxes by half a frame per
// frame. The turn and the zoom follow with twice the time constant. The
// shake's size is learned, per axis, from the frames where none
// of this happens, and carried from one path to the next. A path that starts
// in the middle of a pan is caught up with once its first frames show it.
//
// The correction is limited to the budget and the limited position fed back,
// so that the tracker catches up with a move it cannot hold instead of
// framing it in black. A frame whose motion was not measured reliably moves
// the tracker on, but teaches it nothing and leaves its time constant as it
// is.
class CausalPath final : public CameraPath {
public:
    CausalPath(double smoothness, int frameWidth, const CorrectionBudget& budget);
    std::unique_ptr<CameraPath> clone() const override;
    void push(const PathSample& sample) override;
    bool take(Pose& correction) override;
    void finish() override {}

private:
    using Axes = std::array<double, 4>;   // x, y, angle, log scale
    using Plane = std::array<double, 2>;  // x and y: where shake and moves are judged

    // The shake's scales on x and y.
    struct Shake {
        Plane velocityVariance{1.0, 1.0};          // of the velocity innovation, px² per frame²
        std::array<std::deque<double>, 2> misses;  // recent quiet frames' position innovations, |px|
        int quietFrames = 0;
    };

    // A new path starts where the camera is, at rest, relaxed.
    void restart(const Axes& path);
    double adaptTimeConstant(const Plane& velocityInnovation, const Plane& positionInnovation);
    void learnShake(const Plane& velocityInnovation, const Plane& positionInnovation);
    void catchUpWithStart(const Plane& motion);
    void track(const Axes& path, bool reliable);
    Pose correct(const PathSample& sample);

    double smoothness_;  // the time constant at rest, frames
    double frameWidth_;
    CorrectionBudget budget_;
    Shake shake_;
    Axes position_{};
    Axes velocity_{};
    Axes lastPath_{};
    double timeConstant_;
    Plane lastZ_{};           // the last frame's innovations in shake scales
    Plane lastY_{};
    int pathFrames_ = 0;      // frames tracked on the current path
    Plane startMotion_{};     // sums of the path's first motions and of their squares
    Plane startSquares_{};
    std::deque<Pose> ready_;
};

}  // namespace regviafft

#endif
