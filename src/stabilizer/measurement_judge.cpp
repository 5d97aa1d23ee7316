// The confidence of a measurement.
#include "measurement_judge.h"

#include <algorithm>

#include "regviafft/stabilizer.h"

namespace regviafft {
namespace {

// Two templates always agree on some motion of their own; three that agree
// are the least that outvote a pair.
constexpr int kLeastInliers = 3;

}  // namespace

void MeasurementJudge::restart()
{
    count_ = 0;
    next_ = 0;
}

double MeasurementJudge::medianPeak() const
{
    std::array<double, kRecentPeaks> sorted = peaks_;
    std::sort(sorted.begin(), sorted.begin() + count_);
    const int middle = count_ / 2;
    return count_ % 2 == 1 ? sorted[middle] : 0.5 * (sorted[middle - 1] + sorted[middle]);
}

Judgement MeasurementJudge::judge(const MotionFit& fit, double peak)
{
    // The first frames of a path have no peaks to compare with: their
    // agreement alone counts.
    const double strength = count_ > 0 && medianPeak() > 0.0 ? std::min(1.0, peak / medianPeak()) : 1.0;
    Judgement j;
    j.confidence = std::clamp(fit.support * strength, 0.0, 1.0);
    j.reliable = fit.inliers >= kLeastInliers && j.confidence >= kLeastConfidence;
    if (j.reliable) {
        peaks_[next_] = peak;
        next_ = (next_ + 1) % kRecentPeaks;
        count_ = std::min(count_ + 1, kRecentPeaks);
    }
    return j;
}

}  // namespace regviafft
