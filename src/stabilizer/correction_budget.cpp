// The correction budget: the corners' reach of a correction, and its limit.
#include "correction_budget.h"

#include <algorithm>
#include <cmath>

namespace regviafft {
namespace {

// Share of the budget an offset may use before the limit starts to bend it.
constexpr double kLinearShareOfBudget = 0.5;
constexpr double kPercent = 100.0;

// How far the correction's turn and zoom alone move a corner of a frame
// half `along` wide and half `across` high, along its width.
double turnReach(const Pose& c, double along, double across)
{
    const double scale = std::exp(c.logScale);
    return along * std::fabs(scale * std::cos(c.angle) - 1.0) + across * std::fabs(scale * std::sin(c.angle));
}

}  // namespace

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

CorrectionBudget::CorrectionBudget(const Settings& s)
    : CorrectionBudget(s.budgetPercent / kPercent * s.width, s.budgetPercent / kPercent * s.height,
                       s.width, s.height)
{
}

CorrectionBudget::CorrectionBudget(double x, double y, int width, int height)
    : x_(x), y_(y), halfWidth_(width / 2.0), halfHeight_(height / 2.0)
{
}

double CorrectionBudget::reachX(const Pose& c) const
{
    return std::fabs(c.x) + turnReach(c, halfWidth_, halfHeight_);
}

double CorrectionBudget::reachY(const Pose& c) const
{
    return std::fabs(c.y) + turnReach(c, halfHeight_, halfWidth_);
}

double CorrectionBudget::angle() const
{
    return std::min(x_ / halfHeight_, y_ / halfWidth_);
}

double CorrectionBudget::logScale() const
{
    return std::min(x_ / halfWidth_, y_ / halfHeight_);
}

Pose CorrectionBudget::limit(const Pose& c) const
{
    if (!(x_ > 0.0) || !(y_ > 0.0))
        return {};
    const double reachX = this->reachX(c), reachY = this->reachY(c);
    const double shareX = reachX > 0.0 ? limitToBudget(reachX, x_) / reachX : 1.0;
    const double shareY = reachY > 0.0 ? limitToBudget(reachY, y_) / reachY : 1.0;
    const double turnShare = std::min(shareX, shareY);
    Pose limited{c.x * shareX, c.y * shareY, c.angle * turnShare, c.logScale * turnShare};
    // The turn's reach is not quite linear in the turn: what it still takes
    // beyond the budget comes off the shift.
    const double turnX = turnReach(limited, halfWidth_, halfHeight_);
    const double turnY = turnReach(limited, halfHeight_, halfWidth_);
    limited.x = std::copysign(std::min(std::fabs(limited.x), std::max(0.0, x_ - turnX)), limited.x);
    limited.y = std::copysign(std::min(std::fabs(limited.y), std::max(0.0, y_ - turnY)), limited.y);
    return limited;
}

}  // namespace regviafft
