// The causal camera path: a tracker of the camera with no latency.
#ifndef REGVIAFFT_STABILIZER_CAUSAL_PATH_H
#define REGVIAFFT_STABILIZER_CAUSAL_PATH_H

#include <deque>

#include "camera_path.h"

namespace regviafft {

// Critically damped constant-velocity tracker (an alpha-beta filter) with a
// time constant of tau frames, on each axis: a steady pan is followed
// without a lasting offset. The correction is limited to the budget and the
// limited position fed back, so that the tracker catches up with a move it
// cannot hold instead of framing it in black.
class CausalPath final : public CameraPath {
public:
    CausalPath(double timeConstant, Budget budget);
    std::unique_ptr<CameraPath> clone() const override;
    void push(const PathSample& sample) override;
    bool take(Correction& correction) override;
    void finish() override {}

private:
    struct Axis {
        double position = 0.0;
        double velocity = 0.0;
    };
    double correct(Axis& axis, double path, double budget) const;

    double alpha_;
    double beta_;
    Budget budget_;
    Axis x_;
    Axis y_;
    std::deque<Correction> ready_;
};

}  // namespace regviafft

#endif
