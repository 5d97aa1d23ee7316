// End-to-end behaviour of Run as a host sees it: frames in, compensated frames
// out. The applied offset is read from the output alone (every input pixel
// carries a fourth byte of 255, so the uncovered border is where it is 0).
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "RegViaFFT.h"
#include "synthetic_frames.h"

namespace {

using Frame = std::vector<uint8_t>;

struct Offset {
    int x;
    int y;
};

// A textured frame whose content sits at (x, y): positive moves it right/down.
Frame contentAt(int width, int height, int x, int y)
{
    return synthetic::toFourBytePixels(synthetic::texturedFrame(width, height, 7, x, y));
}

// dst(r, c) = src(r - oy, c - ox), zero where uncovered: what the host expects.
Frame shifted(const Frame& src, int width, int height, Offset o)
{
    Frame out(src.size(), 0);
    for (int r = 0; r < height; ++r) {
        for (int c = 0; c < width; ++c) {
            const int sr = r - o.y;
            const int sc = c - o.x;
            if (sr < 0 || sr >= height || sc < 0 || sc >= width)
                continue;
            for (int b = 0; b < 4; ++b)
                out[(static_cast<size_t>(r) * width + c) * 4 + b] =
                    src[(static_cast<size_t>(sr) * width + sc) * 4 + b];
        }
    }
    return out;
}

// Reads the applied offset from the zero border of the fourth bytes.
Offset borderOffset(const Frame& out, int width, int height)
{
    auto alpha = [&](int r, int c) { return out[(static_cast<size_t>(r) * width + c) * 4 + 3]; };
    Offset o{0, 0};
    while (o.x < width && alpha(height / 2, o.x) == 0) ++o.x;
    if (o.x == 0)
        while (-o.x < width && alpha(height / 2, width - 1 + o.x) == 0) --o.x;
    while (o.y < height && alpha(o.y, width / 2) == 0) ++o.y;
    if (o.y == 0)
        while (-o.y < height && alpha(height - 1 + o.y, width / 2) == 0) --o.y;
    return o;
}

// Runs one frame and returns the offset it was compensated by, after checking
// that the whole output is exactly the input moved by that offset.
Offset runFrame(CRegViaFFT& stream, Frame& in, int width, int height)
{
    Frame out(in.size(), 0xAB);
    EXPECT_EQ(stream.Run(in.data(), out.data(), false), 1);
    const Offset o = borderOffset(out, width, height);
    EXPECT_EQ(out, shifted(in, width, height, o));
    return o;
}

// A window so long that it is never judged: the offset is then the sum of
// every accepted motion.
constexpr int kNeverJudged = 1000;

TEST(Pipeline, WholePixelMotionAtFullResolutionIsCompensatedExactly)
{
    const int w = 160, h = 120;
    CRegViaFFT stream;
    ASSERT_EQ(stream.Create(h, w, 48, 48, 10, 1, 8, 8, kNeverJudged, 1.0), 1);
    const Offset path[] = {{0, 0}, {3, 0}, {3, -2}, {-1, 3}, {1, 1}, {1, 1}, {-6, -5}};
    for (const Offset& p : path) {
        Frame in = contentAt(w, h, p.x, p.y);
        const Offset o = runFrame(stream, in, w, h);
        // Compensation brings the content back to where the first frame had it.
        EXPECT_EQ(o.x, -p.x);
        EXPECT_EQ(o.y, -p.y);
    }
}

TEST(Pipeline, HalvedFramesMeasureMotionWithinOneFullResolutionPixel)
{
    const int w = 320, h = 240;
    CRegViaFFT stream;
    ASSERT_EQ(stream.Create(h, w, 96, 96, 10, 2, 16, 16, kNeverJudged, 1.0), 1);
    const Offset path[] = {{0, 0}, {4, 0}, {1, -3}, {-4, 2}, {-1, -1}, {5, 6}};
    Offset previous{0, 0};
    for (size_t i = 0; i < sizeof path / sizeof path[0]; ++i) {
        Frame in = contentAt(w, h, path[i].x, path[i].y);
        const Offset o = runFrame(stream, in, w, h);
        if (i > 0) {
            const Offset step = {path[i].x - path[i - 1].x, path[i].y - path[i - 1].y};
            EXPECT_NEAR(o.x - previous.x, -step.x, 1) << "frame " << i;
            EXPECT_NEAR(o.y - previous.y, -step.y, 1) << "frame " << i;
        }
        previous = o;
    }
}

TEST(Pipeline, WithoutAWindowEveryOutputEqualsItsInput)
{
    const int w = 160, h = 120;
    CRegViaFFT stream;
    ASSERT_EQ(stream.Create(h, w, 48, 48, 10, 1, 8, 8, 0, 1.0), 1);
    for (int i = 0; i < 4; ++i) {
        Frame in = contentAt(w, h, 4 * i, -3 * i);
        for (size_t p = 0; p < in.size() / 4; ++p)
            in[4 * p + 3] = static_cast<uint8_t>(p * 7);  // the fourth byte travels too
        Frame out(in.size(), 0xAB);
        ASSERT_EQ(stream.Run(in.data(), out.data(), false), 1);
        EXPECT_EQ(out, in) << "frame " << i;
    }
}

TEST(Pipeline, SteadyWindowRecentresAndFadesOneStepAFrame)
{
    // Content moves 2 columns left per frame, measured as +2. With a window of
    // 3 the first window (0, 2, 2) deviates by exactly 1.0, which is not below
    // the threshold, so it keeps tracking; the second (2, 2, 2) is steady and
    // takes the accumulated 10 columns, then fades 10/3 per frame.
    const int w = 160, h = 120;
    CRegViaFFT stream;
    ASSERT_EQ(stream.Create(h, w, 48, 48, 10, 1, 8, 8, 3, 1.0), 1);
    const int expected[] = {0, 2, 4, 6, 8, 10, 9, 7, 6, 6, 6, 6};
    for (int i = 0; i < 12; ++i) {
        Frame in = contentAt(w, h, -2 * i, 0);
        const Offset o = runFrame(stream, in, w, h);
        EXPECT_EQ(o.x, expected[i]) << "frame " << i;
        EXPECT_EQ(o.y, 0) << "frame " << i;
    }
}

TEST(Pipeline, MotionBeyondAThirdOfTheFrameIsReplacedByThePreviousOne)
{
    const int w = 90, h = 90;  // a third is 30 pixels
    for (int step : {30, 31}) {
        CRegViaFFT stream;
        ASSERT_EQ(stream.Create(h, w, 64, 64, 10, 1, 4, 4, kNeverJudged, 1.0), 1);
        Frame first = contentAt(w, h, 0, 0);
        runFrame(stream, first, w, h);
        Frame second = contentAt(w, h, -step, 0);
        const Offset o = runFrame(stream, second, w, h);
        EXPECT_EQ(o.x, step == 30 ? 30 : 0) << "step " << step;
    }
}

TEST(Pipeline, OffsetsReachingTheFrameSizeLeaveOnlyWhatIsStillCovered)
{
    const int w = 90, h = 90;
    {
        // Three accepted motions of 30 columns: the offset is the frame width.
        CRegViaFFT stream;
        ASSERT_EQ(stream.Create(h, w, 64, 64, 10, 1, 4, 4, kNeverJudged, 1.0), 1);
        Frame out(static_cast<size_t>(w) * h * 4);
        for (int i = 0; i < 4; ++i) {
            Frame in = contentAt(w, h, -30 * i, 0);
            ASSERT_EQ(stream.Run(in.data(), out.data(), false), 1);
        }
        EXPECT_EQ(out, Frame(out.size(), 0));
    }
    {
        // 30 + 30 + 29 rows: only input row 0 lands, in output row h - 1.
        CRegViaFFT stream;
        ASSERT_EQ(stream.Create(h, w, 64, 64, 10, 1, 4, 4, kNeverJudged, 1.0), 1);
        const int rows[] = {0, -30, -60, -89};
        Frame in;
        Frame out(static_cast<size_t>(w) * h * 4);
        for (int r : rows) {
            in = contentAt(w, h, 0, r);
            ASSERT_EQ(stream.Run(in.data(), out.data(), false), 1);
        }
        EXPECT_EQ(out, shifted(in, w, h, {0, h - 1}));
    }
}

TEST(Pipeline, RefusedAndBypassedFramesChangeNothingElse)
{
    const int w = 160, h = 120;
    Frame in = contentAt(w, h, 0, 0);
    Frame out(in.size(), 0xAB);
    const Frame untouched = out;

    CRegViaFFT stream;
    EXPECT_EQ(stream.Run(in.data(), out.data(), false), 0) << "before Create";
    EXPECT_EQ(out, untouched);

    ASSERT_EQ(stream.Create(h, w, 48, 48, 10, 1, 8, 8, kNeverJudged, 1.0), 1);
    EXPECT_EQ(stream.Run(nullptr, out.data(), false), 0);
    EXPECT_EQ(stream.Run(nullptr, out.data(), true), 0);
    EXPECT_EQ(stream.Run(in.data(), nullptr, false), 0);
    EXPECT_EQ(out, untouched);

    // A bypassed first call copies and does not count: the next call still
    // places templates, and its output equals its input.
    Frame moved = contentAt(w, h, 5, 0);
    EXPECT_EQ(stream.Run(moved.data(), out.data(), true), 0);
    EXPECT_EQ(out, moved);
    EXPECT_EQ(stream.Run(in.data(), out.data(), false), 1);
    EXPECT_EQ(out, in);
    // Measured against that first frame, not against the bypassed one.
    Frame next = contentAt(w, h, 2, 0);
    EXPECT_EQ(runFrame(stream, next, w, h).x, -2);
}

TEST(Pipeline, BlackFirstFramePlacesNoTemplateAndPassesFramesThrough)
{
    const int w = 160, h = 120;
    CRegViaFFT stream;
    ASSERT_EQ(stream.Create(h, w, 48, 48, 10, 1, 8, 8, 5, 1.0), 1);
    Frame black(static_cast<size_t>(w) * h * 4, 0);
    Frame out(black.size(), 0xAB);
    EXPECT_EQ(stream.Run(black.data(), out.data(), false), 1);
    EXPECT_EQ(out, black);
    // No template: the motion decays from zero, so every output is its input.
    for (int i = 1; i < 8; ++i) {
        Frame in = contentAt(w, h, 3 * i, i);
        EXPECT_EQ(stream.Run(in.data(), out.data(), false), 1);
        EXPECT_EQ(out, in) << "frame " << i;
    }
}

}  // namespace
