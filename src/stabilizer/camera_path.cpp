// The choice of path by mode, the design path, and the budget's soft limit.
#include "camera_path.h"

#include <cmath>
#include <deque>

#include "causal_path.h"
#include "lag_path.h"

namespace regviafft {
namespace {

// Share of the budget an offset may use before the limit starts to bend it.
constexpr double kLinearShareOfBudget = 0.5;
constexpr double kPercent = 100.0;

// Design mode: the registration object keeps its own path, and each frame's
// correction is the offset it applied.
class DesignPath final : public CameraPath {
public:
    std::unique_ptr<CameraPath> clone() const override { return std::make_unique<DesignPath>(*this); }
    void push(const PathSample& sample) override { ready_.push_back(sample.applied); }
    bool take(Correction& correction) override
    {
        if (ready_.empty())
            return false;
        correction = ready_.front();
        ready_.pop_front();
        return true;
    }
    void finish() override {}

private:
    std::deque<Correction> ready_;
};

}  // namespace

std::unique_ptr<CameraPath> makeCameraPath(const Settings& s)
{
    const Budget budget{s.budgetPercent / kPercent * s.width, s.budgetPercent / kPercent * s.height};
    switch (s.mode) {
    case PathMode::Causal:
        return std::make_unique<CausalPath>(*s.smoothness, budget);
    case PathMode::Lag:
        return std::make_unique<LagPath>(s.lag, *s.smoothness, budget);
    case PathMode::Design:
        break;
    }
    return std::make_unique<DesignPath>();
}

double limitToBudget(double offset, double budget)
{
    if (!(budget > 0.0))
        return 0.0;
    const double knee = kLinearShareOfBudget * budget;
    const double magnitude = std::fabs(offset);
    if (magnitude <= knee)
        return offset;
    const double room = budget - knee;
    return std::copysign(knee + room * std::tanh((magnitude - knee) / room), offset);
}

}  // namespace regviafft
