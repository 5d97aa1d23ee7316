// Scene-cut judgement from the correlation peaks and the templates' agreement.
#include "cut_detector.h"

#include <algorithm>
#include <cmath>

namespace regviafft {
namespace {

// A peak this much below the scene's usual one means the templates lost it.
constexpr double kLostPeakShare = 0.25;

}  // namespace

void CutDetector::restart()
{
    count_ = 0;
    next_ = 0;
}

double CutDetector::medianPeak() const
{
    std::array<double, kRecentPeaks> sorted = peaks_;
    std::sort(sorted.begin(), sorted.begin() + count_);
    const int middle = count_ / 2;
    return count_ % 2 == 1 ? sorted[middle] : 0.5 * (sorted[middle - 1] + sorted[middle]);
}

bool CutDetector::judge(const MotionRecord& record, bool plausible)
{
    const bool lostPeak = count_ > 0 && record.peak < kLostPeakShare * medianPeak();
    const bool fewAgree = 2 * record.inliers <= record.templateCount;
    if (!plausible || (lostPeak && fewAgree))
        return true;
    peaks_[next_] = record.peak;
    next_ = (next_ + 1) % kRecentPeaks;
    count_ = std::min(count_ + 1, kRecentPeaks);
    return false;
}

}  // namespace regviafft
