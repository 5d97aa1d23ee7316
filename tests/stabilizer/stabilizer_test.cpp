// The stabiliser through its public API: camera paths of known shape in, the
// records and frames that come out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "RegViaFFT.h"
#include "regviafft/stabilizer.h"
#include "stream_frames.h"

namespace {

using namespace regviafft;
using streams::Frame;
using streams::stabilise;
using streams::Scene;

constexpr int kWidth = 160;
constexpr int kHeight = 120;
constexpr PathMode kModes[] = {PathMode::Design, PathMode::Causal, PathMode::Lag};
// The grid refines every template's shift: a whole-pixel move of these
// textured scenes comes out within a few hundredths of a pixel.
constexpr double kRefined = 0.05;

const char* modeName(PathMode mode)
{
    return mode == PathMode::Design ? "design" : mode == PathMode::Causal ? "causal" : "lag";
}

Settings settingsFor(PathMode mode)
{
    Settings s;
    s.width = kWidth;
    s.height = kHeight;
    s.mode = mode;
    return s;
}

// What runs over the same frames must agree on: index, motion, path, correction.
auto outcome(const MotionRecord& r)
{
    return std::make_tuple(r.index, r.motionX, r.motionY, r.pathX, r.pathY, r.correctionX, r.correctionY);
}

std::vector<Frame> panning(const Scene& scene, int frames, int x0, int y0, int dx, int dy)
{
    return streams::panning(scene, frames, x0, y0, dx, dy, kWidth, kHeight);
}

// A hand-held camera: a seeded walk of whole pixels within `reach` of (x0, y0).
std::vector<Frame> shaking(const Scene& scene, int frames, int x0, int y0, int reach, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> step(-3, 3);
    std::vector<int> xs, ys;
    int x = 0, y = 0;
    for (int t = 0; t < frames; ++t) {
        x = std::clamp(x + step(random), -reach, reach);
        y = std::clamp(y + step(random), -reach, reach);
        xs.push_back(x0 + x);
        ys.push_back(y0 + y);
    }
    return streams::along(scene, xs, ys, kWidth, kHeight);
}

}  // namespace

TEST(Stabilizer, SteadyCameraNeedsNoCorrectionOnceItsPathIsKnown)
{
    // Still in every mode; panning right and down, which the lag fit follows
    // at once and the tracker has to learn.
    const Scene scene(800, 480, 4);
    for (const auto& [dx, dy] : {std::pair{0, 0}, std::pair{2, 1}}) {
        std::vector<Frame> frames = panning(scene, dx == 0 ? 40 : 300, 10, 10, dx, dy);
        for (PathMode mode : kModes) {
            if (mode == PathMode::Design && dx != 0)
                continue;
            const std::vector<MotionRecord> records = stabilise(settingsFor(mode), frames, PixelFormat::Packed4);
            ASSERT_EQ(records.size(), frames.size()) << modeName(mode);
            const bool learns = mode == PathMode::Causal && dx != 0;
            // Design mode measures whole pixels here (divisor 1); the grid
            // refines every template, to within a few hundredths of a pixel
            // of a whole-pixel move, and its line fit then varies as little.
            const double measured = mode == PathMode::Design ? 0.0 : kRefined;
            const double steady = dx == 0 ? 0.0 : 2 * measured;
            double largest = 0.0;
            for (const MotionRecord& r : records) {
                EXPECT_TRUE(r.analysed);
                // The camera moving right and down: the frame is brought back left and up.
                EXPECT_NEAR(r.motionX, r.index > 0 ? dx : 0, measured) << modeName(mode) << " frame " << r.index;
                EXPECT_NEAR(r.motionY, r.index > 0 ? dy : 0, measured) << modeName(mode) << " frame " << r.index;
                EXPECT_NEAR(r.pathX, dx * r.index, measured * r.index);
                largest = std::max(largest, std::fabs(r.correctionX));
                if (!learns) {
                    EXPECT_NEAR(r.correctionX, 0.0, steady) << modeName(mode) << " frame " << r.index;
                    EXPECT_NEAR(r.correctionY, 0.0, steady) << modeName(mode) << " frame " << r.index;
                }
            }
            if (learns) {
                EXPECT_GT(largest, 1.0);
                // Held at the budget while it learns, then settling (a few time constants).
                for (size_t t = records.size() - 10; t < records.size(); ++t) {
                    EXPECT_LT(std::fabs(records[t].correctionX), 0.1) << "frame " << t;
                    EXPECT_LT(std::fabs(records[t].correctionY), 0.1) << "frame " << t;
                }
            }
        }
    }
}

TEST(Stabilizer, CorrectionStartsWithTextureAndNeverExceedsTheBudget)
{
    // Black frames, with nothing to measure, then a shake reaching 20 pixels.
    const Scene scene(260, 220, 5);
    std::vector<Frame> frames(8, Frame(streams::Bytes(static_cast<size_t>(kWidth) * kHeight, 0), kWidth, kHeight));
    const std::vector<Frame> shaken = shaking(scene, 80, 50, 50, 20, 7);
    frames.insert(frames.end(), shaken.begin(), shaken.end());
    for (PathMode mode : {PathMode::Causal, PathMode::Lag}) {
        for (bool wholePixel : {false, true}) {
            Settings s = settingsFor(mode);
            s.budgetPercent = 4.7;  // 7.52 x 5.64 pixels: whole pixels must round inwards
            s.wholePixel = wholePixel;
            const std::vector<MotionRecord> records = stabilise(s, frames, PixelFormat::Packed4);
            ASSERT_EQ(records.size(), frames.size());
            double largestX = 0.0, largestY = 0.0;
            int corrected = 0;
            for (const MotionRecord& r : records) {
                EXPECT_EQ(r.analysed, r.index >= 8) << modeName(mode) << " frame " << r.index;
                EXPECT_TRUE(r.index != 8 || r.templateCount > 0);
                if (r.index < 8) {
                    EXPECT_EQ(r.correctionX, 0.0);
                    EXPECT_EQ(r.correctionY, 0.0);
                }
                if (wholePixel) {
                    EXPECT_EQ(r.correctionX, std::round(r.correctionX));
                    EXPECT_EQ(r.correctionY, std::round(r.correctionY));
                }
                largestX = std::max(largestX, std::fabs(r.correctionX));
                largestY = std::max(largestY, std::fabs(r.correctionY));
                corrected += r.correctionX != 0.0;
            }
            EXPECT_LE(largestX, 0.047 * kWidth) << modeName(mode);
            EXPECT_LE(largestY, 0.047 * kHeight) << modeName(mode);
            // Once there is texture the budget is used, not avoided.
            EXPECT_GT(largestX, 0.6 * 0.047 * kWidth) << modeName(mode);
            EXPECT_GT(corrected, 40) << modeName(mode);
        }
    }
}

TEST(Stabilizer, CutRestartsThePathAndPlacesNewTemplates)
{
    const Scene first(300, 200, 8), second(300, 200, 9);
    std::vector<Frame> frames = panning(first, 30, 10, 20, 1, 0);
    std::vector<Frame> after = panning(second, 30, 40, 30, 2, 1);
    frames.insert(frames.end(), after.begin(), after.end());
    for (PathMode mode : {PathMode::Causal, PathMode::Lag}) {
        const std::vector<MotionRecord> records = stabilise(settingsFor(mode), frames, PixelFormat::Packed4);
        ASSERT_EQ(records.size(), frames.size());
        for (const MotionRecord& r : records) {
            EXPECT_EQ(r.cut, r.index == 30) << modeName(mode) << " frame " << r.index;
            if (r.index == 30) {
                EXPECT_EQ(r.pathX, 0.0);
                EXPECT_NEAR(r.correctionX, 0.0, 2 * kRefined);
            }
            // Registered on the new scene's templates from the frame after the cut on.
            if (r.index > 30) {
                EXPECT_NEAR(r.motionX, 2.0, kRefined) << modeName(mode) << " frame " << r.index;
                EXPECT_NEAR(r.motionY, 1.0, kRefined) << modeName(mode) << " frame " << r.index;
                EXPECT_NEAR(r.pathX, 2.0 * (r.index - 30), kRefined * (r.index - 30));
            } else if (r.index > 0 && r.index < 30) {
                EXPECT_NEAR(r.motionX, 1.0, kRefined);
            }
            // Straight paths on both sides: no window crosses the cut.
            if (mode == PathMode::Lag) {
                EXPECT_NEAR(r.correctionX, 0.0, 2 * kRefined) << "frame " << r.index;
                EXPECT_NEAR(r.correctionY, 0.0, 2 * kRefined) << "frame " << r.index;
            }
        }
    }
}

TEST(Stabilizer, DesignModeEqualsRunFrameForFrame)
{
    const Scene scene(240, 200, 10);
    std::vector<Frame> frames = shaking(scene, 70, 40, 40, 12, 11);
    Settings settings = settingsFor(PathMode::Design);
    settings.windowLength = 10;  // several windows judged within the stream
    Stabilizer stabilizer(settings);
    const Settings& s = stabilizer.settings();
    CRegViaFFT stream;
    ASSERT_EQ(stream.Create(kHeight, kWidth, *s.templateHeight, *s.templateWidth, *s.templateCount,
                            *s.divisor, *s.marginY, *s.marginX, s.windowLength, s.steadyThreshold),
              1);
    std::vector<std::uint8_t> runOutput(frames[0].packed.size());
    std::vector<std::uint8_t> rendered(frames[0].packed.size());
    int shifted = 0;
    for (size_t t = 0; t < frames.size(); ++t) {
        ASSERT_EQ(stream.Run(frames[t].packed.data(), runOutput.data(), false), 1);
        stabilizer.push(frames[t].view(PixelFormat::Packed4), static_cast<std::int64_t>(t));
        MotionRecord record;
        ASSERT_EQ(stabilizer.pull(record), Pull::Ready);
        stabilizer.render(record, frames[t].view(PixelFormat::Packed4),
                          FrameView::packed(rendered.data(), kWidth, kHeight));
        ASSERT_EQ(rendered, runOutput) << "frame " << t;
        const MotionRecord direct = lastMotion(stream);
        const auto measured = [](const MotionRecord& r) {
            return std::make_tuple(r.correctionX, r.correctionY, r.wholeMotionX, r.wholeMotionY, r.motionX,
                                   r.motionY, r.peak, r.votes);
        };
        EXPECT_EQ(measured(record), measured(direct)) << "frame " << t;
        shifted += record.correctionX != 0.0 || record.correctionY != 0.0;
    }
    EXPECT_GT(shifted, 20);
}

TEST(Stabilizer, EveryFrameComesOutOnceInPushOrder)
{
    const Scene scene(260, 220, 12);
    std::vector<Frame> frames = shaking(scene, 45, 50, 50, 10, 13);
    for (PathMode mode : kModes) {
        Settings s = settingsFor(mode);
        s.lag = 7;
        Stabilizer stabilizer(s);
        EXPECT_EQ(stabilizer.latency(), mode == PathMode::Lag ? 7 : 0);
        std::vector<std::int64_t> ids;
        MotionRecord record;
        for (size_t t = 0; t < frames.size(); ++t) {
            stabilizer.push(frames[t].view(PixelFormat::Packed4), 1000 + 3 * static_cast<std::int64_t>(t));
            // Pull irregularly: records wait for the host.
            if (t % 3 != 1)
                while (stabilizer.pull(record) == Pull::Ready)
                    ids.push_back(record.id);
            EXPECT_TRUE(mode != PathMode::Lag || t >= 7 || ids.empty()) << "a record came out before its look-ahead";
        }
        EXPECT_NE(stabilizer.pull(record), Pull::End);
        stabilizer.finish();
        EXPECT_THROW(stabilizer.push(frames[0].view(PixelFormat::Packed4), 0), std::runtime_error);
        while (stabilizer.pull(record) == Pull::Ready)
            ids.push_back(record.id);
        EXPECT_EQ(stabilizer.pull(record), Pull::End);
        ASSERT_EQ(ids.size(), frames.size()) << modeName(mode);
        for (size_t t = 0; t < ids.size(); ++t)
            EXPECT_EQ(ids[t], 1000 + 3 * static_cast<std::int64_t>(t)) << modeName(mode);

        stabilizer.reset();
        stabilizer.push(frames[5].view(PixelFormat::Packed4), 77);
        stabilizer.finish();
        ASSERT_EQ(stabilizer.pull(record), Pull::Ready);
        EXPECT_EQ(record.id, 77);
        EXPECT_EQ(record.index, 0);
    }
}

TEST(Stabilizer, EveryFormatAndACopyMadeMidStreamGiveTheSameRecords)
{
    const Scene scene(260, 220, 14);
    std::vector<Frame> frames = shaking(scene, 40, 50, 50, 10, 15);
    std::vector<Frame> rest(frames.begin() + 20, frames.end());
    for (PathMode mode : kModes) {
        const std::vector<MotionRecord> packed = stabilise(settingsFor(mode), frames, PixelFormat::Packed4);
        std::vector<std::vector<MotionRecord>> others;
        for (PixelFormat format : {PixelFormat::I420, PixelFormat::NV12, PixelFormat::Packed3})
            others.push_back(stabilise(settingsFor(mode), frames, format));
        // The original and its copy both carry on from the records still held.
        Stabilizer original(settingsFor(mode));
        MotionRecord record;
        for (int t = 0; t < 20; ++t) {
            original.push(frames[t].view(PixelFormat::Packed4), t);
            while (original.pull(record) == Pull::Ready) {
            }
        }
        Stabilizer copy = original;
        others.push_back(stabilise(original, rest, PixelFormat::Packed4));
        others.push_back(stabilise(copy, rest, PixelFormat::Packed4));
        for (const std::vector<MotionRecord>& other : others) {
            ASSERT_GE(packed.size(), other.size());
            const size_t skipped = packed.size() - other.size();
            for (size_t i = 0; i < other.size(); ++i)
                EXPECT_EQ(outcome(other[i]), outcome(packed[skipped + i])) << modeName(mode);
        }
    }
}

TEST(Stabilizer, FramesOfAnotherSizeOrBadViewsAreRefusedWithTheirFault)
{
    Stabilizer stabilizer(settingsFor(PathMode::Causal));
    std::vector<std::uint8_t> pixels(static_cast<size_t>(kWidth + 1) * kHeight * 4);
    FrameView unknown = FrameView::packed(pixels.data(), kWidth, kHeight);
    unknown.format = static_cast<PixelFormat>(9);
    const std::pair<FrameView, const char*> cases[] = {
        {FrameView::packed(pixels.data(), kWidth + 1, kHeight), "161x120"},
        {FrameView::packed(pixels.data(), kHeight, kWidth), "120x160"},
        {FrameView::packed(nullptr, kWidth, kHeight), "no data"},
        {FrameView::packed(pixels.data(), kWidth, kHeight, kWidth * 4 - 1), "stride"},
        {unknown, "format"},
    };
    for (const auto& [view, says] : cases) {
        try {
            stabilizer.push(view, 0);
            ADD_FAILURE() << "accepted a frame with a bad " << says;
        } catch (const std::invalid_argument& e) {
            EXPECT_NE(std::string(e.what()).find(says), std::string::npos) << e.what();
        }
    }

    // Nothing was taken in: the first good frame is still frame 0.
    const Scene scene(200, 160, 18);
    Frame frame(scene.window(0, 0, kWidth, kHeight), kWidth, kHeight);
    stabilizer.push(frame.view(PixelFormat::Packed4), 5);
    MotionRecord record;
    ASSERT_EQ(stabilizer.pull(record), Pull::Ready);
    EXPECT_EQ(record.index, 0);

    EXPECT_THROW(stabilizer.render(record, frame.view(PixelFormat::Packed4),
                                   frame.view(PixelFormat::I420)),
                 std::invalid_argument);
    // An output that overlaps the input without being it.
    EXPECT_THROW(stabilizer.render(record, frame.view(PixelFormat::Packed4),
                                   FrameView::packed(frame.packed.data() + 4, kWidth, kHeight)),
                 std::invalid_argument);
}
