// Robust fit of the camera's motion: every pair of templates (every single
// one for a translation) proposes a motion, the proposals are scored by the
// templates that agree with them, and the best is refined by weighted least
// squares over those.
#include "motion_fit.h"

#include <algorithm>
#include <cmath>

namespace regviafft {
namespace {

// A consensus confined to a small part of the picture (a subject) counts
// for less than one spread over it; one that strays from the motion the
// camera's recent frames predict, for less than one that agrees. Both
// factors fall to this floor, so a clear majority still wins.
constexpr double kLeastFactor = 0.5;
// Two templates closer than this many inlier radii say little about a
// rotation.
constexpr double kLeastPairDistance = 8.0;
// Refinement rounds: least squares over the agreeing templates, then the
// agreement again under the refined motion.
constexpr int kRefinements = 2;
// A consensus spread this wide (as a share of all the templates' spread)
// moves nearly the whole picture: a subject, even a large one, leaves more
// of it still.
constexpr double kWholePictureCoverage = 0.85;

struct Point {
    double px, py;  // this frame, relative to the centre
    double qx, qy;  // the previous frame
    double weight;
    int index;      // in the observations
};

double distance(const Similarity& m, const Point& p)
{
    return std::hypot(m.mapX(p.px, p.py) - p.qx, m.mapY(p.px, p.py) - p.qy);
}

// Weighted least squares of the model over the points, with the given weights.
Similarity solve(const std::vector<Point>& points, const std::vector<double>& weights,
                 MotionModel model)
{
    double w = 0.0, px = 0.0, py = 0.0, qx = 0.0, qy = 0.0;
    for (size_t i = 0; i < points.size(); ++i) {
        const Point& p = points[i];
        w += weights[i];
        px += weights[i] * p.px;
        py += weights[i] * p.py;
        qx += weights[i] * p.qx;
        qy += weights[i] * p.qy;
    }
    Similarity m;
    if (!(w > 0.0))
        return m;
    px /= w, py /= w, qx /= w, qy /= w;
    if (model != MotionModel::Translation) {
        // The rotation (and scale) that best turns the centred points of this
        // frame onto those of the previous one.
        double dot = 0.0, cross = 0.0, norm = 0.0;
        for (size_t i = 0; i < points.size(); ++i) {
            const double ax = points[i].px - px, ay = points[i].py - py;
            const double bx = points[i].qx - qx, by = points[i].qy - qy;
            dot += weights[i] * (ax * bx + ay * by);
            cross += weights[i] * (ax * by - ay * bx);
            norm += weights[i] * (ax * ax + ay * ay);
        }
        if (norm > 0.0) {
            m.angle = std::atan2(cross, dot);
            if (model == MotionModel::Similarity)
                m.scale = std::hypot(dot, cross) / norm;
        }
    }
    m.x = qx - m.scale * (std::cos(m.angle) * px - std::sin(m.angle) * py);
    m.y = qy - m.scale * (std::sin(m.angle) * px + std::cos(m.angle) * py);
    return m;
}

Similarity solveOver(const std::vector<Point>& points, const std::vector<int>& members,
                     MotionModel model)
{
    std::vector<Point> chosen;
    std::vector<double> weights;
    for (int i : members) {
        chosen.push_back(points[i]);
        weights.push_back(points[i].weight);
    }
    return solve(chosen, weights, model);
}

// The same, each member's weight tapered by its distance from `near`
// (Tukey's biweight over `radius`), so that a template at the edge of
// agreement pulls little.
Similarity solveNear(const std::vector<Point>& points, const std::vector<int>& members,
                     const Similarity& near, double radius, MotionModel model)
{
    std::vector<Point> chosen;
    std::vector<double> weights;
    for (int i : members) {
        const double u = distance(near, points[i]) / radius;
        const double taper = u < 1.0 ? (1.0 - u * u) * (1.0 - u * u) : 0.0;
        chosen.push_back(points[i]);
        weights.push_back(points[i].weight * taper);
    }
    return solve(chosen, weights, model);
}

// Root-mean-square distance of the points from their centroid.
double spread(const std::vector<Point>& points, const std::vector<int>& members)
{
    if (members.empty())
        return 0.0;
    double x = 0.0, y = 0.0;
    for (int i : members)
        x += points[i].px, y += points[i].py;
    x /= members.size(), y /= members.size();
    double sum = 0.0;
    for (int i : members)
        sum += (points[i].px - x) * (points[i].px - x) + (points[i].py - y) * (points[i].py - y);
    return std::sqrt(sum / members.size());
}

class Scorer {
public:
    Scorer(const std::vector<Point>& points, const FitOptions& options)
        : points_(points), options_(options)
    {
        std::vector<int> all(points.size());
        for (size_t i = 0; i < points.size(); ++i)
            all[i] = static_cast<int>(i);
        fullSpread_ = spread(points, all);
    }

    std::vector<int> agreeing(const Similarity& m) const
    {
        std::vector<int> members;
        for (size_t i = 0; i < points_.size(); ++i)
            if (distance(m, points_[i]) < options_.inlierRadius)
                members.push_back(static_cast<int>(i));
        return members;
    }

    double coverage(const std::vector<int>& members) const
    {
        return fullSpread_ > 0.0 ? std::min(1.0, spread(points_, members) / fullSpread_) : 1.0;
    }

    double score(const Similarity& m, const std::vector<int>& members) const
    {
        double weight = 0.0;
        for (int i : members)
            weight += points_[i].weight;
        const double coverage = this->coverage(members);
        const double stray = strayFromExpected(m) / options_.expectedSpread;
        return weight * (kLeastFactor + (1.0 - kLeastFactor) * coverage) *
               (kLeastFactor + (1.0 - kLeastFactor) / (1.0 + stray * stray));
    }

private:
    // How far the motion moves the templates from where the expected one
    // would, as a root mean square over them.
    double strayFromExpected(const Similarity& m) const
    {
        double sum = 0.0;
        for (const Point& p : points_) {
            const double dx = m.mapX(p.px, p.py) - options_.expected.mapX(p.px, p.py);
            const double dy = m.mapY(p.px, p.py) - options_.expected.mapY(p.px, p.py);
            sum += dx * dx + dy * dy;
        }
        return points_.empty() ? 0.0 : std::sqrt(sum / points_.size());
    }

    const std::vector<Point>& points_;
    const FitOptions& options_;
    double fullSpread_;
};

// The motions the points propose: each pair (each point for a
// translation), and the expected motion itself.
std::vector<Similarity> proposals(const std::vector<Point>& points, const FitOptions& options)
{
    std::vector<Similarity> proposed{options.expected};
    for (size_t i = 0; i < points.size(); ++i) {
        if (options.model == MotionModel::Translation) {
            proposed.push_back(solveOver(points, {static_cast<int>(i)}, options.model));
            continue;
        }
        for (size_t j = i + 1; j < points.size(); ++j) {
            const double apart = std::hypot(points[i].px - points[j].px, points[i].py - points[j].py);
            if (apart >= kLeastPairDistance * options.inlierRadius)
                proposed.push_back(solveOver(points, {static_cast<int>(i), static_cast<int>(j)}, options.model));
        }
    }
    return proposed;
}

struct Consensus {
    Similarity motion;
    std::vector<int> members;
};

// Whether a consensus is another motion than the one `held` agrees with:
// it leaves most of those templates out.
bool movesOthers(const Consensus& c, const std::vector<int>& held)
{
    size_t shared = 0;
    for (int i : held)
        shared += std::count(c.members.begin(), c.members.end(), i);
    return 2 * shared < held.size();
}

// The proposal the most of the picture agrees with, refined.
Consensus bestConsensus(const std::vector<Point>& points, const FitOptions& options, const Scorer& scorer,
                        size_t needed)
{
    Consensus best;
    double bestScore = -1.0;
    for (const Similarity& proposal : proposals(points, options)) {
        std::vector<int> agreeing = scorer.agreeing(proposal);
        const double score = scorer.score(proposal, agreeing);
        if (score > bestScore) {
            bestScore = score;
            best.members.swap(agreeing);
            best.motion = proposal;
        }
    }
    for (int round = 0; round < kRefinements && best.members.size() >= needed; ++round) {
        best.motion = solveNear(points, best.members, best.motion, options.inlierRadius, options.model);
        best.members = scorer.agreeing(best.motion);
    }
    return best;
}

}  // namespace

double Similarity::mapX(double px, double py) const
{
    return scale * (std::cos(angle) * px - std::sin(angle) * py) + x;
}

double Similarity::mapY(double px, double py) const
{
    return scale * (std::sin(angle) * px + std::cos(angle) * py) + y;
}

MotionFit fitCameraMotion(const std::vector<TemplateObservation>& observations,
                          const FitOptions& options)
{
    MotionFit fit;
    fit.motion = options.expected;
    fit.inlier.assign(observations.size(), false);
    std::vector<Point> points;
    double totalWeight = 0.0;
    for (size_t k = 0; k < observations.size(); ++k) {
        const TemplateObservation& o = observations[k];
        if (!o.measured)
            continue;
        const double px = o.x - options.centreX, py = o.y - options.centreY;
        points.push_back({px, py, px + o.shiftX, py + o.shiftY, o.peak, static_cast<int>(k)});
        totalWeight += o.peak;
    }
    const size_t needed = options.model == MotionModel::Translation ? 1 : 2;
    if (points.size() < needed || !(totalWeight > 0.0))
        return fit;

    const Scorer scorer(points, options);
    std::vector<int> members = scorer.agreeing(options.expected);
    fit.held = options.holdExpected && static_cast<int>(members.size()) >= options.leastHeldTemplates &&
               scorer.coverage(members) >= options.leastHeldCoverage;
    if (fit.held) {
        if (options.presumedHold) {
            const Consensus best = bestConsensus(points, options, scorer, needed);
            fit.wholePictureMoved =
                movesOthers(best, members) && scorer.coverage(best.members) >= kWholePictureCoverage;
        }
        fit.motion = solveNear(points, members, options.expected, options.inlierRadius, options.model);
    } else {
        Consensus best = bestConsensus(points, options, scorer, needed);
        fit.motion = best.motion;
        members = std::move(best.members);
    }
    double agreeingWeight = 0.0, squares = 0.0;
    for (int i : members) {
        fit.inlier[points[i].index] = true;
        agreeingWeight += points[i].weight;
        squares += distance(fit.motion, points[i]) * distance(fit.motion, points[i]);
    }
    fit.inliers = static_cast<int>(members.size());
    fit.support = agreeingWeight / totalWeight;
    fit.residual = members.empty() ? 0.0 : std::sqrt(squares / members.size());
    return fit;
}

}  // namespace regviafft
