// The causal tracker.
#include "causal_path.h"

#include <cmath>

namespace regviafft {

CausalPath::CausalPath(double timeConstant, Budget budget) : budget_(budget)
{
    const double theta = std::exp(-1.0 / timeConstant);
    alpha_ = 1.0 - theta * theta;
    beta_ = (1.0 - theta) * (1.0 - theta);
}

std::unique_ptr<CameraPath> CausalPath::clone() const
{
    return std::make_unique<CausalPath>(*this);
}

double CausalPath::correct(Axis& axis, double path, double budget) const
{
    const double predicted = axis.position + axis.velocity;
    const double error = path - predicted;
    axis.position = predicted + alpha_ * error;
    axis.velocity += beta_ * error;
    const double correction = limitToBudget(path - axis.position, budget);
    axis.position = path - correction;
    return correction;
}

void CausalPath::push(const PathSample& sample)
{
    if (sample.step != PathStep::Follow) {
        // A new path starts where the camera is, at rest.
        x_ = {sample.x, 0.0};
        y_ = {sample.y, 0.0};
        ready_.push_back({});
        return;
    }
    ready_.push_back({correct(x_, sample.x, budget_.x), correct(y_, sample.y, budget_.y)});
}

bool CausalPath::take(Correction& correction)
{
    if (ready_.empty())
        return false;
    correction = ready_.front();
    ready_.pop_front();
    return true;
}

}  // namespace regviafft
