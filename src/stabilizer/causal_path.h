// The causal camera path: a tracker of the camera with no latency.
#ifndef REGVIAFFT_STABILIZER_CAUSAL_PATH_H
#define REGVIAFFT_STABILIZER_CAUSAL_PATH_H

#include <array>
#include <deque>

#include "camera_path.h"

namespace regviafft {

// Critically damped constant-velocity tracker (an alpha-beta filter) with a
// time constant of tau frames, on each of the pose's four axes: a steady pan
// is followed without a lasting offset. The correction is limited to the
// budget and the limited position fed back, so that the tracker catches up
// with a move it cannot hold instead of framing it in black.
class CausalPath final : public CameraPath {
public:
    CausalPath(double timeConstant, const CorrectionBudget& budget);
    std::unique_ptr<CameraPath> clone() const override;
    void push(const PathSample& sample) override;
    bool take(Pose& correction) override;
    void finish() override {}

private:
    struct Axis {
        double position = 0.0;
        double velocity = 0.0;
    };
    // A new path starts where the camera is, at rest.
    void restart(const Pose& pose);
    Pose correct(const PathSample& sample);

    double alpha_;
    double beta_;
    CorrectionBudget budget_;
    std::array<Axis, 4> axes_{};  // x, y, angle, log scale
    std::deque<Pose> ready_;
};

}  // namespace regviafft

#endif
