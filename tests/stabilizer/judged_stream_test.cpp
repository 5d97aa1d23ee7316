// Streams with frames the measurement cannot be trusted on and with cuts,
// through the public API: a bad frame in a steady pan is replaced, not taken
// for a cut, and leaves the corrections where they were; a cut is told by the
// picture's content, between two scenes and between two shots of one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "regviafft/stabilizer.h"
#include "stream_frames.h"

namespace {

using namespace regviafft;
using streams::Bytes;
using streams::Frame;
using streams::Scene;
using streams::stabilise;

constexpr int kWidth = 320;
constexpr int kHeight = 180;
constexpr PathMode kJudgedModes[] = {PathMode::Causal, PathMode::Lag};

Settings settingsFor(PathMode mode, bool tripod = false)
{
    Settings s;
    s.width = kWidth;
    s.height = kHeight;
    s.mode = mode;
    s.lag = 15;
    s.tripod = tripod;
    return s;
}

std::vector<Frame> panning(const Scene& scene, int frames, int x0, int y0, int dx, int dy)
{
    return streams::panning(scene, frames, x0, y0, dx, dy, kWidth, kHeight);
}

// What a frame of a fast move over a plain area looks like: its detail
// smeared away and lost in noise, its layout still there.
// (A box blur 25 pixels across and noise of 12 grey levels.)
void smear(Frame& frame)
{
    constexpr int kReach = 12;
    const Bytes sharp = frame.y;
    std::mt19937 random(5);
    std::normal_distribution<double> noise(0.0, 12.0);
    for (int r = 0; r < kHeight; ++r)
        for (int c = 0; c < kWidth; ++c) {
            double sum = 0.0;
            int count = 0;
            for (int y = std::max(0, r - kReach); y <= std::min(kHeight - 1, r + kReach); ++y)
                for (int x = std::max(0, c - kReach); x <= std::min(kWidth - 1, c + kReach); ++x, ++count)
                    sum += sharp[static_cast<size_t>(y) * kWidth + x];
            frame.y[static_cast<size_t>(r) * kWidth + c] =
                static_cast<std::uint8_t>(std::clamp(sum / count + noise(random), 0.0, 255.0));
        }
}

}  // namespace

TEST(JudgedStream, AWrongMeasurementInASteadyPanIsReplacedNotACut)
{
    const Scene scene(700, 300, 21);
    std::vector<Frame> clean = panning(scene, 60, 20, 40, 4, 1);
    std::vector<Frame> spoilt = clean;
    constexpr int kBad = 30;
    smear(spoilt[kBad]);
    for (PathMode mode : kJudgedModes) {
        const std::vector<MotionRecord> expected = stabilise(settingsFor(mode), clean);
        const std::vector<MotionRecord> got = stabilise(settingsFor(mode), spoilt);
        ASSERT_EQ(got.size(), clean.size());
        for (size_t t = 0; t < got.size(); ++t) {
            const MotionRecord& r = got[t];
            EXPECT_FALSE(r.cut) << "frame " << t;
            EXPECT_NEAR(r.correctionX, expected[t].correctionX, 0.5) << "frame " << t;
            EXPECT_NEAR(r.correctionY, expected[t].correctionY, 0.5) << "frame " << t;
            if (t > 0 && t != kBad && t != kBad + 1) {
                EXPECT_FALSE(r.replaced) << "frame " << t;
                EXPECT_GE(r.confidence, kLeastConfidence) << "frame " << t;
            }
        }
        // The smeared frame was judged; its own measurement stays in its record.
        EXPECT_TRUE(got[kBad].replaced);
        EXPECT_LT(got[kBad].confidence, kLeastConfidence);
        EXPECT_GT(std::hypot(got[kBad].motionX - 4.0, got[kBad].motionY - 1.0), 1.0);
    }
}

TEST(JudgedStream, CutsAreToldByContentInEveryModeButDesign)
{
    // A pan over one scene, a cut to another, then a cut to a shot of the
    // first scene from elsewhere: the same texture, another view.
    const Scene first(1200, 400, 31), second(700, 300, 32);
    std::vector<Frame> frames = panning(first, 30, 20, 40, 3, 1);
    for (const std::vector<Frame>& shot : {panning(second, 30, 30, 30, -2, 1), panning(first, 30, 700, 150, 2, -1)})
        frames.insert(frames.end(), shot.begin(), shot.end());
    // An exposure step within the last shot is no cut.
    for (std::uint8_t& grey : frames[75].y)
        grey = static_cast<std::uint8_t>(std::min(255, grey + 30));
    for (PathMode mode : kJudgedModes)
        for (bool tripod : {false, true}) {
            const std::vector<MotionRecord> records = stabilise(settingsFor(mode, tripod), frames);
            ASSERT_EQ(records.size(), frames.size());
            for (const MotionRecord& r : records) {
                EXPECT_EQ(r.cut, r.index == 30 || r.index == 60)
                    << "frame " << r.index << " tripod " << tripod << " change " << r.contentChange;
                EXPECT_EQ(r.cut, r.contentChange > kCutChange) << "frame " << r.index;
            }
        }
    // The design mode keeps the registration object's own behaviour: no cuts.
    for (const MotionRecord& r : stabilise(settingsFor(PathMode::Design), frames))
        EXPECT_FALSE(r.cut);
}

TEST(JudgedStream, ATripodStreamIsHeldAtZero)
{
    // A still camera whose sensor noise differs from frame to frame.
    const Scene scene(400, 300, 41);
    std::vector<Frame> frames = panning(scene, 40, 30, 50, 0, 0);
    std::mt19937 random(3);
    std::uniform_int_distribution<int> noise(-2, 2);
    for (Frame& f : frames)
        for (std::uint8_t& grey : f.y)
            grey = static_cast<std::uint8_t>(std::clamp(grey + noise(random), 0, 255));
    for (PathMode mode : kJudgedModes)
        for (bool tripod : {false, true})
            for (const MotionRecord& r : stabilise(settingsFor(mode, tripod), frames)) {
                EXPECT_EQ(r.correctionX, 0.0) << "frame " << r.index;
                EXPECT_EQ(r.correctionY, 0.0) << "frame " << r.index;
                EXPECT_EQ(r.correctionRotation, 0.0) << "frame " << r.index;
                EXPECT_FALSE(r.cut || r.replaced) << "frame " << r.index;
            }
}
