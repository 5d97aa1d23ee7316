// The choice of path by mode, and the design path.
#include "camera_path.h"

#include <deque>

#include "causal_path.h"
#include "lag_path.h"
#include "tripod_path.h"

namespace regviafft {
namespace {

// Design mode: the registration object keeps its own path, and each frame's
// correction is the offset it applied.
class DesignPath final : public CameraPath {
public:
    std::unique_ptr<CameraPath> clone() const override { return std::make_unique<DesignPath>(*this); }
    void push(const PathSample& sample) override { ready_.push_back(sample.applied); }
    bool take(Pose& correction) override
    {
        if (ready_.empty())
            return false;
        correction = ready_.front();
        ready_.pop_front();
        return true;
    }
    void finish() override {}

private:
    std::deque<Pose> ready_;
};

std::unique_ptr<CameraPath> modePath(const Settings& s, const CorrectionBudget& budget)
{
    if (s.mode == PathMode::Causal)
        return std::make_unique<CausalPath>(*s.smoothness, s.width, budget);
    return std::make_unique<LagPath>(s.lag, *s.smoothness, budget);
}

}  // namespace

std::unique_ptr<CameraPath> makeCameraPath(const Settings& s)
{
    if (s.mode == PathMode::Design)
        return std::make_unique<DesignPath>();
    const CorrectionBudget budget(s);
    if (s.tripod)
        return std::make_unique<TripodPath>(modePath(s, budget), budget);
    return modePath(s, budget);
}

}  // namespace regviafft
