// The causal tracker.
#include "causal_path.h"

#include <cmath>

namespace regviafft {
namespace {

// A still camera's correction, once this small (pixels at the corners), is
// let go of: the picture then holds exactly where it is.
constexpr double kStillSnap = 0.05;

std::array<double, 4> axesOf(const Pose& p)
{
    return {p.x, p.y, p.angle, p.logScale};
}

Pose poseOf(const std::array<double, 4>& a)
{
    return {a[0], a[1], a[2], a[3]};
}

}  // namespace

CausalPath::CausalPath(double timeConstant, const CorrectionBudget& budget) : budget_(budget)
{
    const double theta = std::exp(-1.0 / timeConstant);
    alpha_ = 1.0 - theta * theta;
    beta_ = (1.0 - theta) * (1.0 - theta);
}

std::unique_ptr<CameraPath> CausalPath::clone() const
{
    return std::make_unique<CausalPath>(*this);
}

void CausalPath::restart(const Pose& pose)
{
    const std::array<double, 4> at = axesOf(pose);
    for (size_t i = 0; i < axes_.size(); ++i)
        axes_[i] = {at[i], 0.0};
}

Pose CausalPath::correct(const PathSample& sample)
{
    const std::array<double, 4> path = axesOf(sample.pose);
    std::array<double, 4> raw{};
    for (size_t i = 0; i < axes_.size(); ++i) {
        Axis& a = axes_[i];
        const double predicted = a.position + a.velocity;
        const double error = path[i] - predicted;
        a.position = predicted + alpha_ * error;
        a.velocity += beta_ * error;
        raw[i] = path[i] - a.position;
    }
    const Pose limited = budget_.limit(poseOf(raw));
    if (sample.still && budget_.reachX(limited) < kStillSnap && budget_.reachY(limited) < kStillSnap) {
        restart(sample.pose);
        return {};
    }
    const std::array<double, 4> kept = axesOf(limited);
    for (size_t i = 0; i < axes_.size(); ++i)
        axes_[i].position = path[i] - kept[i];
    return limited;
}

void CausalPath::push(const PathSample& sample)
{
    if (sample.step != PathStep::Follow) {
        restart(sample.pose);
        ready_.push_back({});
        return;
    }
    ready_.push_back(correct(sample));
}

bool CausalPath::take(Pose& correction)
{
    if (ready_.empty())
        return false;
    correction = ready_.front();
    ready_.pop_front();
    return true;
}

}  // namespace regviafft
