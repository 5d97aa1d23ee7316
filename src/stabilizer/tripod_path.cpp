// The tripod lock over a mode's path.
#include "tripod_path.h"

#include <algorithm>

namespace regviafft {
namespace {

// Frames over which the mode's path takes over from a lock that let go.
constexpr int kTakeOverFrames = 15;

Pose blend(const Pose& a, const Pose& b, double w)
{
    return {a.x + w * (b.x - a.x), a.y + w * (b.y - a.y), a.angle + w * (b.angle - a.angle),
            a.logScale + w * (b.logScale - a.logScale)};
}

}  // namespace

TripodPath::TripodPath(std::unique_ptr<CameraPath> mode, const CorrectionBudget& budget)
    : mode_(std::move(mode)), budget_(budget)
{
}

TripodPath::TripodPath(const TripodPath& other)
    : mode_(other.mode_->clone()), budget_(other.budget_), entries_(other.entries_),
      locked_(other.locked_), held_(other.held_), sinceRelease_(other.sinceRelease_)
{
}

std::unique_ptr<CameraPath> TripodPath::clone() const
{
    return std::make_unique<TripodPath>(*this);
}

void TripodPath::push(const PathSample& sample)
{
    mode_->push(sample);
    if (sample.step != PathStep::Follow) {
        // A new shot is locked to its first frame, where its path is zero.
        locked_ = sample.step == PathStep::Start;
        held_ = {};
        sinceRelease_ = -1;
    }
    if (locked_) {
        // Holding the first view means undoing the whole path.
        const Pose lock = sample.pose;
        if (budget_.reachX(lock) <= budget_.x() && budget_.reachY(lock) <= budget_.y()) {
            held_ = lock;
            entries_.push_back({lock, -1});
            return;
        }
        locked_ = false;
        sinceRelease_ = 0;
    }
    entries_.push_back({held_, sinceRelease_});
    if (sinceRelease_ >= 0)
        ++sinceRelease_;
}

bool TripodPath::take(Pose& correction)
{
    Pose mode;
    if (!mode_->take(mode))
        return false;
    const Entry entry = entries_.front();
    entries_.pop_front();
    if (entry.sinceRelease < 0) {
        correction = entry.lock;
        return true;
    }
    const double w = std::min(1.0, (entry.sinceRelease + 1.0) / kTakeOverFrames);
    correction = budget_.limit(blend(entry.lock, mode, w));
    return true;
}

}  // namespace regviafft
