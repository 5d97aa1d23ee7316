// Camera-path smoothing for the Causal and Lag modes.
#include "camera_path.h"

#include <algorithm>
#include <cmath>

namespace regviafft {
namespace {

// Share of the budget an offset may use before the limit starts to bend it.
constexpr double kLinearShareOfBudget = 0.5;
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
// A pivot below this share of its column's sum marks a singular fit.
constexpr double kSingular = 1e-9;

struct Fit {
    bool ok;
    double value;      // at the frame being smoothed
    double slope;      // per frame
    double curvature;  // per frame squared; 0 for a line
};

// Least squares with Gaussian weights of polynomial degree 1 or 2 about
// frame `at`, on values taken relative to path[at] for precision.
Fit weightedFit(const double* path, int count, int at, double sigma, int degree)
{
    const int n = degree + 1;
    double m[3][4] = {};
    for (int i = 0; i < count; ++i) {
        const double d = i - at;
        const double w = std::exp(-d * d / (2.0 * sigma * sigma));
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

CausalTracker::CausalTracker(double timeConstant)
{
    const double theta = std::exp(-1.0 / timeConstant);
    alpha_ = 1.0 - theta * theta;
    beta_ = (1.0 - theta) * (1.0 - theta);
}

void CausalTracker::restart(double position)
{
    position_ = position;
    velocity_ = 0.0;
}

double CausalTracker::correct(double path, double budget)
{
    const double predicted = position_ + velocity_;
    const double error = path - predicted;
    position_ = predicted + alpha_ * error;
    velocity_ += beta_ * error;
    const double correction = limitToBudget(path - position_, budget);
    position_ = path - correction;
    return correction;
}

double lagCorrection(const double* path, int count, int at, double sigma, double budget)
{
    if (!(budget > 0.0))
        return 0.0;
    const Fit line = weightedFit(path, count, at, sigma, 1);
    const Fit quadratic = weightedFit(path, count, at, kQuadraticSigma, 2);
    double smooth = line.value;
    if (line.ok && quadratic.ok) {
        const double blend = smoothStep((lineBudgetShare(line, quadratic, count, at, budget) - kBlendStart) /
                                        (kBlendFull - kBlendStart));
        smooth = (1.0 - blend) * line.value + blend * quadratic.value;
    }
    return limitToBudget(path[at] - smooth, budget);
}

}  // namespace regviafft
