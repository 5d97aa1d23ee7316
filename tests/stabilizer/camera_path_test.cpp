// Each camera path on its own, fed positions of known shape: a steady pan, a
// step, a shake beyond the budget, a restart; and when corrections are final.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "camera_path.h"
#include "causal_path.h"
#include "lag_path.h"

namespace {

using namespace regviafft;

constexpr Budget kBudget{16.0, 9.0};
constexpr double kTau = 25.0;
constexpr double kSigma = 12.0;
constexpr int kLag = 30;

std::unique_ptr<CameraPath> causal() { return std::make_unique<CausalPath>(kTau, kBudget); }
std::unique_ptr<CameraPath> lagged() { return std::make_unique<LagPath>(kLag, kSigma, kBudget); }

// The samples of a path starting at frame 0 with positions xs, ys.
std::vector<PathSample> along(const std::vector<double>& xs, const std::vector<double>& ys)
{
    std::vector<PathSample> samples;
    for (size_t t = 0; t < xs.size(); ++t)
        samples.push_back({t == 0 ? PathStep::Start : PathStep::Follow, xs[t], ys[t], {}});
    return samples;
}

// Every correction, taken as soon as it is final, then the rest at the end.
std::vector<Correction> corrections(CameraPath& path, const std::vector<PathSample>& samples)
{
    std::vector<Correction> out;
    Correction c;
    for (const PathSample& s : samples) {
        path.push(s);
        while (path.take(c))
            out.push_back(c);
    }
    path.finish();
    while (path.take(c))
        out.push_back(c);
    return out;
}

double largestAfter(const std::vector<Correction>& cs, size_t first)
{
    double largest = 0.0;
    for (size_t t = first; t < cs.size(); ++t)
        largest = std::max({largest, std::fabs(cs[t].x), std::fabs(cs[t].y)});
    return largest;
}

void expectWithinBudget(const std::vector<Correction>& cs, const char* what)
{
    for (size_t t = 0; t < cs.size(); ++t) {
        EXPECT_LT(std::fabs(cs[t].x), kBudget.x) << what << " frame " << t;
        EXPECT_LT(std::fabs(cs[t].y), kBudget.y) << what << " frame " << t;
    }
}

TEST(CameraPath, SteadyPanNeedsNoLastingCorrection)
{
    std::vector<double> xs, ys;
    for (int t = 0; t < 400; ++t) {
        xs.push_back(2.5 * t);
        ys.push_back(-0.75 * t);
    }
    const std::vector<PathSample> pan = along(xs, ys);
    // The line fit follows a straight pan exactly, ends included.
    const std::vector<Correction> lag = corrections(*lagged(), pan);
    ASSERT_EQ(lag.size(), pan.size());
    EXPECT_LT(largestAfter(lag, 0), 1e-9);
    // The tracker starts at rest, so it lags the pan (within the budget), then
    // settles: after 14 time constants a critically damped error is below
    // (1 + 14) e^-14 of where it started.
    const std::vector<Correction> tracked = corrections(*causal(), pan);
    ASSERT_EQ(tracked.size(), pan.size());
    EXPECT_GT(largestAfter(tracked, 0), 1.0);
    EXPECT_LT(largestAfter(tracked, 350), 0.05);
    expectWithinBudget(tracked, "causal");
}

TEST(CameraPath, StepIsFollowedNotHeldInBlack)
{
    // The camera jumps 40 pixels along its path at frame 60 and stays there.
    std::vector<double> xs(400, 0.0), ys(400, 0.0);
    for (int t = 60; t < 400; ++t)
        xs[t] = 40.0;
    for (auto make : {causal, lagged}) {
        const std::vector<Correction> cs = corrections(*make(), along(xs, ys));
        ASSERT_EQ(cs.size(), xs.size());
        expectWithinBudget(cs, "step");
        // Still before the step (the look-ahead sees it coming only lag frames ahead).
        EXPECT_LT(largestAfter(std::vector<Correction>(cs.begin(), cs.begin() + 60 - kLag), 0), 1e-9);
        // The move is taken up: no lasting offset once the camera rests again
        // (14 time constants, as for the pan).
        EXPECT_LT(largestAfter(cs, 350), 0.05);
        // It was compensated while it happened: the correction has the path's
        // sign, moving the content back the way the camera went.
        EXPECT_GT(cs[60].x, 1.0);
    }
}

TEST(CameraPath, ShakeBeyondTheBudgetIsLimitedSmoothly)
{
    std::mt19937 random(3);
    std::normal_distribution<double> jolt(0.0, 8.0);
    std::vector<double> xs, ys;
    double x = 0.0, y = 0.0;
    for (int t = 0; t < 300; ++t) {
        xs.push_back(x += jolt(random));
        ys.push_back(y += jolt(random));
    }
    for (auto make : {causal, lagged}) {
        const std::vector<Correction> cs = corrections(*make(), along(xs, ys));
        expectWithinBudget(cs, "shake");
        // The budget is used, not avoided.
        EXPECT_GT(largestAfter(cs, 0), 0.8 * kBudget.y);
    }
    // No budget, no correction.
    CausalPath unbudgetedTracker(kTau, Budget{});
    LagPath unbudgetedLag(kLag, kSigma, Budget{});
    EXPECT_EQ(largestAfter(corrections(unbudgetedTracker, along(xs, ys)), 0), 0.0);
    EXPECT_EQ(largestAfter(corrections(unbudgetedLag, along(xs, ys)), 0), 0.0);
    EXPECT_EQ(limitToBudget(3.0, 10.0), 3.0);  // below the knee: unchanged
    EXPECT_LT(limitToBudget(7.0, 10.0), 7.0);
    EXPECT_LE(limitToBudget(1e9, 10.0), 10.0);
    EXPECT_GE(limitToBudget(-1e9, 10.0), -10.0);
}

TEST(CameraPath, RestartForgetsThePathBefore)
{
    // A shaky path, then a restart somewhere else: what follows the restart
    // must equal a new path fed only that part, and (in the look-ahead) what
    // comes before it a path that ended there.
    std::mt19937 random(9);
    std::uniform_real_distribution<double> shake(-3.0, 3.0);
    std::vector<double> xs, ys;
    for (int t = 0; t < 160; ++t) {
        xs.push_back(t < 80 ? shake(random) + t : 500.0 + shake(random));
        ys.push_back(shake(random));
    }
    std::vector<PathSample> samples = along(xs, ys);
    samples[80].step = PathStep::Start;
    const std::vector<PathSample> before(samples.begin(), samples.begin() + 80);
    std::vector<PathSample> after(samples.begin() + 80, samples.end());
    for (auto make : {causal, lagged}) {
        const std::vector<Correction> whole = corrections(*make(), samples);
        const std::vector<Correction> first = corrections(*make(), before);
        const std::vector<Correction> second = corrections(*make(), after);
        ASSERT_EQ(whole.size(), samples.size());
        for (size_t t = 0; t < whole.size(); ++t) {
            const Correction& expected = t < 80 ? first[t] : second[t - 80];
            EXPECT_DOUBLE_EQ(whole[t].x, expected.x) << "frame " << t;
            EXPECT_DOUBLE_EQ(whole[t].y, expected.y) << "frame " << t;
        }
    }
}

TEST(CameraPath, CorrectionsAreFinalInPushOrderAfterTheLookAhead)
{
    // Two frames on no path, then a path: every frame's correction comes out
    // once, in order; off-path frames get none.
    std::vector<PathSample> samples(2, PathSample{PathStep::Off, 0.0, 0.0, {}});
    for (int t = 0; t < 50; ++t)
        samples.push_back({t == 0 ? PathStep::Start : PathStep::Follow, std::sin(t / 3.0), 0.0, {}});
    LagPath lag(kLag, kSigma, kBudget);
    CausalPath tracker(kTau, kBudget);
    Correction c;
    size_t taken = 0;
    for (size_t t = 0; t < samples.size(); ++t) {
        lag.push(samples[t]);
        tracker.push(samples[t]);
        ASSERT_TRUE(tracker.take(c)) << "the tracker has no latency";
        EXPECT_FALSE(tracker.take(c));
        while (lag.take(c)) {
            // An on-path correction waits for kLag frames after it.
            EXPECT_TRUE(taken < 2 || taken + kLag <= t) << "frame " << taken << " at " << t;
            if (taken < 2) {
                EXPECT_EQ(c.x, 0.0);
            }
            ++taken;
        }
    }
    EXPECT_EQ(taken, samples.size() - kLag);
    lag.finish();
    while (lag.take(c))
        ++taken;
    EXPECT_EQ(taken, samples.size());
    // The design path hands back what the measurement applied, in order.
    std::unique_ptr<CameraPath> design = makeCameraPath([] {
        Settings s;
        s.mode = PathMode::Design;
        return s;
    }());
    for (int t = 0; t < 3; ++t)
        design->push({PathStep::Follow, 0.0, 0.0, {double(t), -double(t)}});
    for (int t = 0; t < 3; ++t) {
        ASSERT_TRUE(design->take(c));
        EXPECT_TRUE(c.x == t && c.y == -t);
    }
    EXPECT_FALSE(design->take(c));
}

}  // namespace
