// The look-ahead fit.
#include "lag_path.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace regviafft {
namespace {

// A Gaussian window reaches this many sigmas back.
constexpr double kSigmasBack = 3.0;
// The quadratic fit's sigma: narrow enough to follow an acceleration within a
// few frames.
constexpr double kQuadraticSigma = 4.0;
// "A few frames" around the current one, over which the line's use of the
// budget is judged.
constexpr int kFewFrames = 4;
// Use of the budget at which the blend into the quadratic fit begins, and at
// which it is complete.
constexpr double kBlendStart = 0.4;
constexpr double kBlendFull = 0.7;
// A frame whose motion was predicted (and corrected by its content) rather
// than measured counts this much in the fit. Not nothing: a whip pan over a
// faint picture can leave a run of such frames longer than the quadratic fit
// reaches, and with no weight there the fit would have nothing to follow the
// move with.
constexpr double kPredictedWeight = 0.3;
// A pivot below this share of its column's sum marks a singular fit.
constexpr double kSingular = 1e-9;

struct Fit {
    bool ok;
    double value;      // at the frame being smoothed
    double slope;      // per frame
    double curvature;  // per frame squared; 0 for a line
};

// One axis of the path over a window, and which of its frames the fit may
// lean on (those whose motion was measured reliably).
struct Window {
    const double* path;
    const std::vector<bool>& reliable;
    int count;
    int at;  // the frame being smoothed
};

// Least squares with Gaussian weights of polynomial degree 1 or 2 about the
// window's frame, on values taken relative to its own for precision; frames
// not measured reliably weigh less, so the fit leans on the frames around
// them.
Fit weightedFit(const Window& window, double sigma, int degree)
{
    const double* path = window.path;
    const int at = window.at;
    const int n = degree + 1;
    double m[3][4] = {};
    for (int i = 0; i < window.count; ++i) {
        const double trust = window.reliable[i] ? 1.0 : kPredictedWeight;
        const double d = i - at;
        const double w = trust * std::exp(-d * d / (2.0 * sigma * sigma));
        const double powers[3] = {1.0, d, d * d};
        for (int r = 0; r < n; ++r) {
            for (int c = 0; c < n; ++c)
                m[r][c] += w * powers[r] * powers[c];
            m[r][n] += w * powers[r] * (path[i] - path[at]);
        }
    }
    double diagonal[3];
    for (int r = 0; r < n; ++r)
        diagonal[r] = m[r][r];
    // Gauss-Jordan elimination with partial pivoting on the normal equations;
    // a pivot that vanishes against its column's own sum means too few frames.
    for (int col = 0; col < n; ++col) {
        int pivot = col;
        for (int r = col + 1; r < n; ++r)
            if (std::fabs(m[r][col]) > std::fabs(m[pivot][col]))
                pivot = r;
        if (!(std::fabs(m[pivot][col]) > kSingular * diagonal[col]))
            return {false, path[at], 0.0, 0.0};
        std::swap(m[col], m[pivot]);
        for (int r = 0; r < n; ++r) {
            if (r == col)
                continue;
            const double f = m[r][col] / m[col][col];
            for (int c = col; c <= n; ++c)
                m[r][c] -= f * m[col][c];
        }
    }
    return {true, path[at] + m[0][n] / m[0][0], m[1][n] / m[1][1],
            degree == 2 ? m[2][n] / m[2][2] : 0.0};
}

// Largest share of the budget that the line leaves between itself and the
// quadratic trend within a few frames of `at`: what the line would spend to
// hold the camera if it kept accelerating as it does now. Shake averages out
// of the quadratic, so only a systematic move (a whip pan, a sudden stop)
// counts.
double lineBudgetShare(const Fit& line, const Fit& quadratic, int count, int at, double budget)
{
    double largest = 0.0;
    for (int d = std::max(-kFewFrames, -at); d <= std::min(kFewFrames, count - 1 - at); ++d) {
        const double onLine = line.value + line.slope * d;
        const double onTrend = quadratic.value + quadratic.slope * d + quadratic.curvature * d * d;
        largest = std::max(largest, std::fabs(onTrend - onLine));
    }
    return largest / budget;
}

double smoothStep(double t)
{
    t = std::clamp(t, 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}

// Correction of the window's frame on one axis: the path less its smooth
// value. `budget` (what the axis alone may spend) judges how much a line
// would spend where the camera accelerates; the correction itself is not
// limited here.
double lagCorrection(const Window& window, double sigma, double budget)
{
    if (!(budget > 0.0))
        return 0.0;
    const Fit line = weightedFit(window, sigma, 1);
    const Fit quadratic = weightedFit(window, kQuadraticSigma, 2);
    double smooth = line.value;
    if (line.ok && quadratic.ok) {
        const double share = lineBudgetShare(line, quadratic, window.count, window.at, budget);
        const double blend = smoothStep((share - kBlendStart) / (kBlendFull - kBlendStart));
        smooth = (1.0 - blend) * line.value + blend * quadratic.value;
    }
    return window.path[window.at] - smooth;
}

}  // namespace

LagPath::LagPath(int lag, double sigma, const CorrectionBudget& budget)
    : lag_(lag), sigma_(sigma), budget_(budget),
      framesBack_(static_cast<int>(std::ceil(kSigmasBack * sigma)))
{
}

std::unique_ptr<CameraPath> LagPath::clone() const
{
    return std::make_unique<LagPath>(*this);
}

void LagPath::push(const PathSample& sample)
{
    const std::int64_t index = pushed_++;
    if (sample.step != PathStep::Follow) {
        lastBreak_ = index;
        pathStart_ = index;
    }
    points_.push_back({sample.pose, sample.step != PathStep::Off, sample.reliable, pathStart_});
}

bool LagPath::isFinal(std::int64_t index) const
{
    return !at(index).onPath || finished_ || pushed_ - 1 >= index + lag_ || lastBreak_ > index;
}

Pose LagPath::correctionOf(std::int64_t t) const
{
    const Point& point = at(t);
    if (!point.onPath || !(budget_.x() > 0.0) || !(budget_.y() > 0.0))
        return {};
    const std::int64_t first = std::max({point.pathStart, t - framesBack_, firstKept_});
    const std::int64_t last = std::min(t + lag_, pushed_ - 1);
    std::vector<double> xs, ys, angles, logScales;
    std::vector<bool> reliable;
    for (std::int64_t i = first; i <= last; ++i) {
        const Point& p = at(i);
        // A window never crosses into the next path.
        if (i > t && (!p.onPath || p.pathStart != point.pathStart))
            break;
        xs.push_back(p.pose.x);
        ys.push_back(p.pose.y);
        angles.push_back(p.pose.angle);
        logScales.push_back(p.pose.logScale);
        reliable.push_back(p.reliable);
    }
    const int count = static_cast<int>(xs.size());
    const int position = static_cast<int>(t - first);
    auto along = [&](const std::vector<double>& axis) { return Window{axis.data(), reliable, count, position}; };
    return budget_.limit({lagCorrection(along(xs), sigma_, budget_.x()),
                          lagCorrection(along(ys), sigma_, budget_.y()),
                          lagCorrection(along(angles), sigma_, budget_.angle()),
                          lagCorrection(along(logScales), sigma_, budget_.logScale())});
}

bool LagPath::take(Pose& correction)
{
    if (nextOut_ == pushed_ || !isFinal(nextOut_))
        return false;
    correction = correctionOf(nextOut_++);
    // Keep only the history a later window can still reach.
    while (firstKept_ < nextOut_ - framesBack_) {
        points_.pop_front();
        ++firstKept_;
    }
    return true;
}

}  // namespace regviafft
