// Each camera path on its own, fed positions of known shape: a steady pan and
// roll, a step, a shake beyond the budget, a restart, a still camera, a
// tripod's lock.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "camera_path.h"
#include "causal_path.h"
#include "lag_path.h"
#include "tripod_path.h"

namespace {

using namespace regviafft;

// 5 % of a 320 x 180 frame.
constexpr int kWidth = 320;
const CorrectionBudget kBudget(16.0, 9.0, kWidth, 180);
constexpr double kTau = 30.0;
constexpr double kSigma = 12.0;
constexpr int kLag = 30;

std::unique_ptr<CameraPath> causal() { return std::make_unique<CausalPath>(kTau, kWidth, kBudget); }
std::unique_ptr<CameraPath> lagged() { return std::make_unique<LagPath>(kLag, kSigma, kBudget); }

// The samples of a path starting at frame 0 with positions xs, ys.
std::vector<PathSample> along(const std::vector<double>& xs, const std::vector<double>& ys)
{
    std::vector<PathSample> samples;
    for (size_t t = 0; t < xs.size(); ++t)
        samples.push_back({t == 0 ? PathStep::Start : PathStep::Follow, {xs[t], ys[t], 0.0, 0.0}, false, true, {}});
    return samples;
}

// Every correction, taken as soon as it is final, then the rest at the end.
std::vector<Pose> corrections(CameraPath& path, const std::vector<PathSample>& samples)
{
    std::vector<Pose> out;
    Pose c;
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

double largestAfter(const std::vector<Pose>& cs, size_t first)
{
    double largest = 0.0;
    for (size_t t = first; t < cs.size(); ++t)
        largest = std::max({largest, std::fabs(cs[t].x), std::fabs(cs[t].y)});
    return largest;
}

void expectWithinBudget(const std::vector<Pose>& cs, const char* what)
{
    for (size_t t = 0; t < cs.size(); ++t) {
        EXPECT_LE(kBudget.reachX(cs[t]), kBudget.x()) << what << " frame " << t;
        EXPECT_LE(kBudget.reachY(cs[t]), kBudget.y()) << what << " frame " << t;
    }
}

TEST(CameraPath, SteadyPanNeedsNoLastingPose)
{
    std::vector<double> xs, ys;
    for (int t = 0; t < 400; ++t) {
        xs.push_back(2.5 * t);
        ys.push_back(-0.75 * t);
    }
    const std::vector<PathSample> pan = along(xs, ys);
    // The line fit follows a straight pan exactly, ends included.
    const std::vector<Pose> lag = corrections(*lagged(), pan);
    ASSERT_EQ(lag.size(), pan.size());
    EXPECT_LT(largestAfter(lag, 0), 1e-9);
    // The tracker starts at rest, so it lags the pan (within the budget), then
    // settles: after 14 time constants a critically damped error is below
    // (1 + 14) e^-14 of where it started.
    const std::vector<Pose> tracked = corrections(*causal(), pan);
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
        const std::vector<Pose> cs = corrections(*make(), along(xs, ys));
        ASSERT_EQ(cs.size(), xs.size());
        expectWithinBudget(cs, "step");
        // Still before the step (the look-ahead sees it coming only lag frames ahead).
        EXPECT_LT(largestAfter(std::vector<Pose>(cs.begin(), cs.begin() + 60 - kLag), 0), 1e-9);
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
        const std::vector<Pose> cs = corrections(*make(), along(xs, ys));
        expectWithinBudget(cs, "shake");
        // The budget is used, not avoided.
        EXPECT_GT(largestAfter(cs, 0), 0.8 * kBudget.y());
    }
    // No budget, no correction.
    const CorrectionBudget none(0.0, 0.0, 320, 180);
    CausalPath unbudgetedTracker(kTau, kWidth, none);
    LagPath unbudgetedLag(kLag, kSigma, none);
    EXPECT_EQ(largestAfter(corrections(unbudgetedTracker, along(xs, ys)), 0), 0.0);
    EXPECT_EQ(largestAfter(corrections(unbudgetedLag, along(xs, ys)), 0), 0.0);
    EXPECT_EQ(limitToBudget(3.0, 10.0), 3.0);  // below the knee: unchanged
    EXPECT_LT(limitToBudget(7.0, 10.0), 7.0);
    EXPECT_LE(limitToBudget(1e9, 10.0), 10.0);
    EXPECT_GE(limitToBudget(-1e9, 10.0), -10.0);
}

TEST(CameraPath, CausalTrackerCatchesUpWithAPathThatStartsInAPan)
{
    // The same light shake, once alone and once over a pan of 2.5 pixels a
    // frame that is under way from the first frame.
    std::vector<double> shakeX, panX, ys;
    for (int t = 0; t < 120; ++t) {
        shakeX.push_back(0.6 * std::sin(t * 1.3) + 0.4 * std::sin(t * 0.7 + 1.0));
        panX.push_back(shakeX.back() + 2.5 * t);
        ys.push_back(1.5 * std::sin(t * 0.9 + 2.0));
    }
    const std::vector<Pose> still = corrections(*causal(), along(shakeX, ys));
    const std::vector<Pose> panning = corrections(*causal(), along(panX, ys));
    // Shake alone is no pan: the shown path (the camera less its
    // correction) stays where it started.
    for (size_t t = 0; t < still.size(); ++t)
        EXPECT_NEAR(shakeX[t] - still[t].x, 0.0, 0.5) << "frame " << t;
    // Once the pan's first frames are in, the tracker takes it on: the
    // correction stops short of the budget and falls back within seconds.
    for (size_t t = 0; t < panning.size(); ++t) {
        EXPECT_LT(std::fabs(panning[t].x), 0.85 * kBudget.x()) << "frame " << t;
        if (t >= 45) {
            EXPECT_LT(std::fabs(panning[t].x), 0.25 * kBudget.x()) << "frame " << t;
        }
    }
}

TEST(CameraPath, CausalTrackerTakesUpANewVelocityWithinThreeFrames)
{
    // Hand shake for four seconds, then a pan of 8 pixels a frame starts.
    constexpr int kStep = 120;
    constexpr double kPan = 8.0;
    std::vector<double> xs, ys;
    for (int t = 0; t < 200; ++t) {
        const double shake = 2.0 * std::sin(t * 1.3) + 1.5 * std::sin(t * 0.7 + 1.0);
        xs.push_back(shake + (t > kStep ? kPan * (t - kStep) : 0.0));
        ys.push_back(1.5 * std::sin(t * 0.9 + 2.0));
    }
    const std::vector<PathSample> samples = along(xs, ys);
    const std::vector<Pose> cs = corrections(*causal(), samples);
    ASSERT_EQ(cs.size(), samples.size());
    expectWithinBudget(cs, "velocity step");
    // The shown path is the camera less its correction.
    auto shownMotion = [&](int t) { return (xs[t] - cs[t].x) - (xs[t - 1] - cs[t - 1].x); };
    // Before the pan, the shake is smoothed away.
    double shaken = 0.0, shown = 0.0;
    for (int t = kStep - 60; t < kStep; ++t) {
        shaken += (xs[t] - xs[t - 1]) * (xs[t] - xs[t - 1]);
        shown += shownMotion(t) * shownMotion(t);
    }
    EXPECT_LT(shown, 0.01 * shaken);
    // By the pan's third frame the shown path moves at its pace, and the lag
    // it took on never grows again; it goes on at the pan's pace.
    EXPECT_NEAR(shownMotion(kStep + 3), kPan, 0.25 * kPan);
    double travelled = 0.0;
    for (int t = kStep + 3; t < 200; ++t) {
        EXPECT_LE(std::fabs(cs[t].x), std::fabs(cs[kStep + 2].x)) << "frame " << t;
        travelled += shownMotion(t);
    }
    EXPECT_NEAR(travelled / (200 - kStep - 3), kPan, 0.05 * kPan);
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
        const std::vector<Pose> whole = corrections(*make(), samples);
        const std::vector<Pose> first = corrections(*make(), before);
        const std::vector<Pose> second = corrections(*make(), after);
        ASSERT_EQ(whole.size(), samples.size());
        for (size_t t = 0; t < whole.size(); ++t) {
            const Pose& expected = t < 80 ? first[t] : second[t - 80];
            EXPECT_DOUBLE_EQ(whole[t].x, expected.x) << "frame " << t;
            EXPECT_DOUBLE_EQ(whole[t].y, expected.y) << "frame " << t;
        }
    }
}

TEST(CameraPath, RollIsSmoothedAndSpendsTheBudgetAtTheCorners)
{
    // A steady roll of 0.05 degrees a frame with a wobble of 1 degree: once
    // the tracker has settled on the roll (it turns with twice its time
    // constant), the steady part needs no correction, the wobble is taken
    // out, and no correction's corners leave the budget.
    std::vector<PathSample> samples;
    const double degree = 3.141592653589793 / 180.0;
    for (int t = 0; t < 400; ++t)
        samples.push_back({t == 0 ? PathStep::Start : PathStep::Follow,
                           {0.0, 0.0, 0.05 * degree * t + degree * std::sin(t / 2.0), 0.0}, false, true, {}});
    for (auto make : {causal, lagged}) {
        const std::vector<Pose> cs = corrections(*make(), samples);
        expectWithinBudget(cs, "roll");
        double residual = 0.0, wobble = 0.0;
        for (size_t t = 300; t < 380; ++t) {
            const double angle = samples[t].pose.angle - 0.05 * degree * t;
            wobble += angle * angle;
            residual += (angle - cs[t].angle) * (angle - cs[t].angle);
        }
        // A turn of a degree reaches 90 pixels across 320 x 180 frame's
        // corners, beyond a 9-pixel budget: limited, but most of it is gone.
        EXPECT_LT(residual, 0.5 * wobble);
    }
    // A turn alone within the budget, and one beyond it.
    const Pose small{0.0, 0.0, 0.01, 0.0}, large{4.0, 0.0, 0.5, 0.0};
    EXPECT_NEAR(kBudget.reachY(small), 160.0 * std::sin(0.01) + 90.0 * (1.0 - std::cos(0.01)), 1e-12);
    EXPECT_LE(kBudget.reachX(kBudget.limit(large)), kBudget.x());
    EXPECT_LE(kBudget.reachY(kBudget.limit(large)), kBudget.y());
    EXPECT_GT(kBudget.limit(large).angle, 0.0);
}

TEST(CameraPath, StillCameraIsHeldExactlyAndTripodLocksUntilTheBudget)
{
    // A shake that stops: once the camera is reported still, the tracker's
    // correction settles to exactly zero.
    std::vector<PathSample> samples;
    for (int t = 0; t < 300; ++t) {
        const double shake = t < 60 ? 3.0 * std::sin(t * 1.3) : 3.0 * std::sin(60 * 1.3);
        samples.push_back({t == 0 ? PathStep::Start : PathStep::Follow, {shake, 0.0, 0.0, 0.0}, t >= 90, true, {}});
    }
    const std::vector<Pose> tracked = corrections(*causal(), samples);
    EXPECT_GT(largestAfter(tracked, 0), 1.0);
    for (size_t t = 250; t < tracked.size(); ++t)
        EXPECT_EQ(tracked[t].x, 0.0) << "frame " << t;
    // The tripod undoes the whole path while the budget holds it, then lets
    // the mode take over; a new path locks again.
    std::vector<double> xs(120), ys(120, 0.0);
    for (int t = 0; t < 120; ++t)
        xs[t] = t < 60 ? 4.0 * std::sin(t / 3.0) : 0.5 * (t - 60) + 4.0 * std::sin(t / 3.0);
    std::vector<PathSample> walk = along(xs, ys);
    walk[100].step = PathStep::Start;
    for (int t = 100; t < 120; ++t)
        walk[t].pose.x = xs[t] - xs[100];
    for (auto make : {causal, lagged}) {
        TripodPath tripod(make(), kBudget);
        const std::vector<Pose> cs = corrections(tripod, walk);
        ASSERT_EQ(cs.size(), walk.size());
        for (int t = 0; t < 60; ++t)
            EXPECT_EQ(cs[t].x, walk[t].pose.x) << "frame " << t;
        int released = 60;
        while (released < 100 && cs[released].x == walk[released].pose.x)
            ++released;
        EXPECT_LT(released, 100) << "the drift passes the budget";
        EXPECT_LE(std::fabs(walk[released - 1].pose.x), kBudget.x());
        for (int t = 100; t < 120; ++t)
            EXPECT_EQ(cs[t].x, walk[t].pose.x) << "frame " << t;
        expectWithinBudget(cs, "tripod");
    }
}

}  // namespace
