// The adaptive causal tracker.
#include "causal_path.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace regviafft {
namespace {

// A still camera's correction, once this small (pixels at the corners), is
// let go of: the picture then holds exactly where it is.
constexpr double kStillSnap = 0.05;
// Velocity innovations of less than a pixel per frame are the measurement's
// own noise, not shake to learn a scale from.
constexpr double kLeastVelocityVariance = 1.0;
// The median absolute value of normal noise times this is its deviation.
constexpr double kMedianToDeviation = 1.4826;
// A position runs from its prediction by at least this many velocity scales
// before it means anything (and by this much until a quiet frame is seen).
constexpr double kLeastPositionScale = 1.5;
// The position scale comes from the quiet frames of about the last two
// seconds.
constexpr size_t kMissWindow = 61;
// A move is told from shake only once this many quiet frames have shown
// what the shake is; as many frames show whether a path starts in a pan.
constexpr int kLeastQuietFrames = 8;
// Evidence, in shake scales, at which a move starts to shorten the time
// constant, and how much more of it shortens it fully: for the velocity, and
// for the position. A walking operator's drift runs up to about 4 position
// scales from a tracker at rest without being a move to follow at once.
constexpr double kVelocityEvidenceStart = 2.5;
constexpr double kVelocityEvidenceWidth = 1.5;
constexpr double kPositionEvidenceStart = 4.0;
constexpr double kPositionEvidenceWidth = 2.0;
// The time constants, in frames, that full evidence of a new velocity, of a
// drift, and a fast camera lead to.
constexpr double kVelocityChangeTimeConstant = 1.0;
constexpr double kDriftTimeConstant = 2.0;
constexpr double kFastTimeConstant = 3.0;
// Speed, as a share of the frame width per frame, where the fast camera's
// time constant starts to apply, and how much faster it applies fully.
constexpr double kFastSpeedStart = 0.005;
constexpr double kFastSpeedWidth = 0.010;
// After a move, the time constant grows back by this many frames per frame.
constexpr double kRelaxPerFrame = 0.5;
// The shake's variance averages over the quiet frames so far, then over
// about this many.
constexpr double kShakeFrames = 30.0;
// One frame's squared velocity innovation counts up to this many times the
// variance (2.5 scales), so that a missed move does not inflate the shake.
constexpr double kLargestShakeShare = 6.25;
// The turn and the zoom are tracked with this many times the shift's time
// constant: a hand rolls the camera more slowly than it shakes it, and an
// operator seldom turns it on purpose.
constexpr double kTurnTimeConstantShare = 2.0;
// A path's first frames are in a pan when their mean motion stands this many
// standard errors from none; the tracker then takes on this share of it. A
// velocity judged from a few shaky frames may be well off, and the tracker
// learns the rest within its time constant either way.
constexpr double kStartPanSignificance = 4.0;
constexpr double kStartPanShare = 0.75;

double norm(const std::array<double, 2>& v)
{
    return std::hypot(v[0], v[1]);
}

// How far an innovation points the way the last one did, in its own units:
// its size when it does so fully, less or negative otherwise.
double persistence(const std::array<double, 2>& now, const std::array<double, 2>& last)
{
    const double size = norm(now);
    return size > 0.0 ? std::min(size, (now[0] * last[0] + now[1] * last[1]) / size) : 0.0;
}

double weightOf(double evidence, double start, double width)
{
    return std::clamp((evidence - start) / width, 0.0, 1.0);
}

// From the time constant `rest` towards `target`, geometrically by `weight`.
double towards(double rest, double target, double weight)
{
    return weight > 0.0 ? std::pow(rest, 1.0 - weight) * std::pow(target, weight) : rest;
}

double median(const std::deque<double>& values)
{
    std::vector<double> sorted(values.begin(), values.end());
    const size_t middle = sorted.size() / 2;
    std::nth_element(sorted.begin(), sorted.begin() + middle, sorted.end());
    return sorted[middle];
}

std::array<double, 4> axesOf(const Pose& p)
{
    return {p.x, p.y, p.angle, p.logScale};
}

}  // namespace

CausalPath::CausalPath(double smoothness, int frameWidth, const CorrectionBudget& budget)
    : smoothness_(smoothness), frameWidth_(frameWidth), budget_(budget), timeConstant_(smoothness)
{
}

std::unique_ptr<CameraPath> CausalPath::clone() const
{
    return std::make_unique<CausalPath>(*this);
}

void CausalPath::restart(const Axes& path)
{
    position_ = path;
    velocity_ = {};
    lastPath_ = path;
    timeConstant_ = smoothness_;
    lastZ_ = {};
    lastY_ = {};
    pathFrames_ = 0;
    startMotion_ = {};
    startSquares_ = {};
}

void CausalPath::learnShake(const Plane& velocityInnovation, const Plane& positionInnovation)
{
    ++shake_.quietFrames;
    const double rate = std::max(1.0 / kShakeFrames, 1.0 / shake_.quietFrames);
    for (size_t i = 0; i < 2; ++i) {
        double& variance = shake_.velocityVariance[i];
        const double bounded = std::min(velocityInnovation[i] * velocityInnovation[i],
                                        kLargestShakeShare * std::max(variance, kLeastVelocityVariance));
        variance += rate * (bounded - variance);
        std::deque<double>& misses = shake_.misses[i];
        misses.push_back(std::fabs(positionInnovation[i]));
        if (misses.size() > kMissWindow)
            misses.pop_front();
    }
}

// The time constant for this frame, from how the camera's innovations
// (velocity and position, in pixels) stand to its shake; quiet frames teach
// the shake.
double CausalPath::adaptTimeConstant(const Plane& velocityInnovation, const Plane& positionInnovation)
{
    Plane z{}, y{};
    for (size_t i = 0; i < 2; ++i) {
        const double velocityScale = std::sqrt(std::max(shake_.velocityVariance[i], kLeastVelocityVariance));
        double positionScale = kLeastPositionScale * velocityScale;
        if (!shake_.misses[i].empty())
            positionScale = std::max(kMedianToDeviation * median(shake_.misses[i]), positionScale);
        z[i] = velocityInnovation[i] / velocityScale;
        y[i] = positionInnovation[i] / positionScale;
    }
    double velocityEvidence = 0.0, positionEvidence = 0.0;
    if (shake_.quietFrames >= kLeastQuietFrames) {
        // A new velocity shows as an innovation that grows, the same way.
        if (norm(z) >= norm(lastZ_))
            velocityEvidence = persistence(z, lastZ_);
        positionEvidence = persistence(y, lastY_);
    }
    const double velocityWeight = weightOf(velocityEvidence, kVelocityEvidenceStart, kVelocityEvidenceWidth);
    const double positionWeight = weightOf(positionEvidence, kPositionEvidenceStart, kPositionEvidenceWidth);
    // A path's first frame has no velocity of its own yet to innovate on.
    if (pathFrames_ > 0 && velocityWeight == 0.0 && positionWeight == 0.0 && timeConstant_ == smoothness_)
        learnShake(velocityInnovation, positionInnovation);
    const double speed = std::hypot(velocity_[0], velocity_[1]) / frameWidth_;
    const double fastWeight = weightOf(speed, kFastSpeedStart, kFastSpeedWidth);
    lastZ_ = z;
    lastY_ = y;
    return std::min({timeConstant_ + kRelaxPerFrame,
                     towards(smoothness_, kVelocityChangeTimeConstant, velocityWeight),
                     towards(smoothness_, kDriftTimeConstant, positionWeight),
                     towards(smoothness_, kFastTimeConstant, fastWeight)});
}

// Over a path's first frames the tracker, starting at rest, cannot tell a
// pan from shake; once they are in, a mean motion that stands clear of their
// scatter is a pan the tracker takes on, before it runs into the budget.
void CausalPath::catchUpWithStart(const Plane& motion)
{
    if (pathFrames_ > kLeastQuietFrames)
        return;
    for (size_t i = 0; i < 2; ++i) {
        startMotion_[i] += motion[i];
        startSquares_[i] += motion[i] * motion[i];
    }
    if (pathFrames_ < kLeastQuietFrames)
        return;
    const double frames = kLeastQuietFrames;
    Plane mean{};
    double significance = 0.0;  // squared, in standard errors
    for (size_t i = 0; i < 2; ++i) {
        mean[i] = startMotion_[i] / frames;
        const double variance = std::max(startSquares_[i] / frames - mean[i] * mean[i], 0.0);
        significance += mean[i] * mean[i] * frames / std::max(variance, kLeastVelocityVariance);
    }
    if (significance > kStartPanSignificance * kStartPanSignificance)
        for (size_t i = 0; i < 2; ++i)
            velocity_[i] = kStartPanShare * mean[i];
}

void CausalPath::track(const Axes& path, bool reliable)
{
    Axes predicted{};
    for (size_t i = 0; i < 4; ++i)
        predicted[i] = position_[i] + velocity_[i];
    const Plane motion{path[0] - lastPath_[0], path[1] - lastPath_[1]};
    if (reliable) {
        const Plane velocityInnovation{motion[0] - velocity_[0], motion[1] - velocity_[1]};
        const Plane positionInnovation{path[0] - predicted[0], path[1] - predicted[1]};
        timeConstant_ = adaptTimeConstant(velocityInnovation, positionInnovation);
    }
    for (size_t i = 0; i < 4; ++i) {
        const double theta = std::exp(-1.0 / (i < 2 ? timeConstant_ : kTurnTimeConstantShare * timeConstant_));
        const double alpha = 1.0 - theta * theta, beta = (1.0 - theta) * (1.0 - theta);
        const double error = path[i] - predicted[i];
        position_[i] = predicted[i] + alpha * error;
        velocity_[i] += beta * error;
    }
    ++pathFrames_;
    catchUpWithStart(motion);
    lastPath_ = path;
}

Pose CausalPath::correct(const PathSample& sample)
{
    const Axes path = axesOf(sample.pose);
    track(path, sample.reliable);
    const Pose limited = budget_.limit({path[0] - position_[0], path[1] - position_[1],
                                        path[2] - position_[2], path[3] - position_[3]});
    if (sample.still && budget_.reachX(limited) < kStillSnap && budget_.reachY(limited) < kStillSnap) {
        restart(path);
        return {};
    }
    const Axes kept = axesOf(limited);
    for (size_t i = 0; i < 4; ++i)
        position_[i] = path[i] - kept[i];
    return limited;
}

void CausalPath::push(const PathSample& sample)
{
    if (sample.step != PathStep::Follow) {
        restart(axesOf(sample.pose));
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
