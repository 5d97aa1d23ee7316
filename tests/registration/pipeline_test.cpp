// End-to-end behaviour of Run as a host sees it: frames in, compensated frames
// out. The applied offset is read from the output alone (every input pixel
// carries a fourth byte of 255, so the uncovered border is where it is 0).
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <tuple>
#include <vector>

#include "RegViaFFT.h"
#include "inspector.h"
#include "kernels.h"
#include "synthetic_frames.h"

namespace {

using Frame = std::vector<uint8_t>;

struct Offset {
    int x, y;
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
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c) {
            const int sr = r - o.y, sc = c - o.x;
            if (sr >= 0 && sr < height && sc >= 0 && sc < width)
                for (int b = 0; b < 4; ++b)
                    out[(static_cast<size_t>(r) * width + c) * 4 + b] =
                        src[(static_cast<size_t>(sr) * width + sc) * 4 + b];
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

TEST(PipelineGrey, MeanOfThreeBytesRoundsToNearestAndKeepsRowPadding)
{
    // One pixel per possible sum of the first three bytes, the fourth ignored.
    const int width = 766, height = 2, stride = 768;
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
    for (int r = 0; r < height; ++r) {
        for (int sum = 0; sum < width; ++sum) {
            uint8_t* p = &pixels[(static_cast<size_t>(r) * width + sum) * 4];
            p[0] = static_cast<uint8_t>(std::min(sum, 255));
            p[1] = static_cast<uint8_t>(std::min(sum - p[0], 255));
            p[2] = static_cast<uint8_t>(sum - p[0] - p[1]);
            p[3] = static_cast<uint8_t>(r == 0 ? 0 : 255);
        }
    }
    std::vector<uint8_t> gray(static_cast<size_t>(stride) * height, 0xEE);
    regviafft::grayFromPixels(pixels.data(), width * 4, 4, width, height, gray.data(), stride);
    for (int r = 0; r < height; ++r) {
        for (int sum = 0; sum < width; ++sum)
            ASSERT_EQ(gray[static_cast<size_t>(r) * stride + sum], std::lrint(sum / 3.0)) << sum;
        EXPECT_EQ(gray[static_cast<size_t>(r) * stride + width], 0xEE);
    }
}

// A window so long that it is never judged: the offset is then the sum of
// every accepted motion.
constexpr int kNeverJudged = 1000;
constexpr int kW = 160, kH = 120;

// A full-resolution 160 x 120 stream with ten 48 x 48 templates.
int create(CRegViaFFT& stream, int windowLength = kNeverJudged)
{
    return stream.Create(kH, kW, 48, 48, 10, 1, 8, 8, windowLength, 1.0);
}

TEST(Pipeline, WholePixelMotionAtFullResolutionIsCompensatedExactly)
{
    CRegViaFFT stream;
    ASSERT_EQ(create(stream), 1);
    for (const Offset& p : {Offset{0, 0}, {3, 0}, {3, -2}, {-1, 3}, {1, 1}, {1, 1}, {-6, -5}}) {
        Frame in = contentAt(kW, kH, p.x, p.y);
        const Offset o = runFrame(stream, in, kW, kH);
        // Compensation brings the content back to where the first frame had it.
        EXPECT_TRUE(o.x == -p.x && o.y == -p.y) << p.x << "," << p.y;
    }
}

TEST(Pipeline, HalvedFramesMeasureMotionWithinOneFullResolutionPixel)
{
    CRegViaFFT stream;
    ASSERT_EQ(stream.Create(2 * kH, 2 * kW, 96, 96, 10, 2, 16, 16, kNeverJudged, 1.0), 1);
    Offset previousContent{0, 0}, previous{0, 0};
    for (const Offset& p : {Offset{0, 0}, {4, 0}, {1, -3}, {-4, 2}, {-1, -1}, {5, 6}}) {
        Frame in = contentAt(2 * kW, 2 * kH, p.x, p.y);
        const Offset o = runFrame(stream, in, 2 * kW, 2 * kH);
        EXPECT_NEAR(o.x - previous.x, previousContent.x - p.x, 1) << p.x << "," << p.y;
        EXPECT_NEAR(o.y - previous.y, previousContent.y - p.y, 1) << p.x << "," << p.y;
        previous = o;
        previousContent = p;
    }
}

// No window means no compensation; a black first frame places no template.
TEST(Pipeline, WithoutAWindowOrATemplateEveryOutputEqualsItsInput)
{
    CRegViaFFT noWindow, black;
    ASSERT_EQ(create(noWindow, 0), 1);
    ASSERT_EQ(create(black, 5), 1);
    Frame blackFrame(static_cast<size_t>(kW) * kH * 4, 0), out(blackFrame.size(), 0xAB);
    EXPECT_EQ(black.Run(blackFrame.data(), out.data(), false), 1);
    EXPECT_EQ(out, blackFrame);
    for (int i = 0; i < 6; ++i) {
        Frame in = contentAt(kW, kH, 4 * i, -3 * i);
        for (size_t p = 0; p < in.size() / 4; ++p)
            in[4 * p + 3] = static_cast<uint8_t>(p * 7);  // the fourth byte travels too
        for (CRegViaFFT* stream : {&noWindow, &black}) {
            std::fill(out.begin(), out.end(), 0xAB);
            ASSERT_EQ(stream->Run(in.data(), out.data(), false), 1);
            EXPECT_EQ(out, in) << "frame " << i << (stream == &black ? ", black first" : ", no window");
        }
    }
}

TEST(Pipeline, SteadyWindowRecentresAndFadesOneStepAFrame)
{
    // Content moves 2 columns left per frame, measured as +2. With a window of
    // 3 the first window (0, 2, 2) deviates by exactly 1.0, which is not below
    // the threshold, so it keeps tracking; the second (2, 2, 2) is steady and
    // takes the accumulated 10 columns, then fades 10/3 per frame.
    CRegViaFFT stream;
    ASSERT_EQ(create(stream, 3), 1);
    const int expected[] = {0, 2, 4, 6, 8, 10, 9, 7, 6, 6, 6, 6};
    for (int i = 0; i < 12; ++i) {
        Frame in = contentAt(kW, kH, -2 * i, 0);
        const Offset o = runFrame(stream, in, kW, kH);
        EXPECT_TRUE(o.x == expected[i] && o.y == 0) << "frame " << i;
    }
}

// A fresh 90 x 90 stream that never judges its window, run over content at
// the given positions; the last input and output.
std::pair<Frame, Frame> runPath(std::initializer_list<Offset> path)
{
    CRegViaFFT stream;
    EXPECT_EQ(stream.Create(90, 90, 64, 64, 10, 1, 4, 4, kNeverJudged, 1.0), 1);
    Frame in, out(90 * 90 * 4);
    for (const Offset& p : path) {
        in = contentAt(90, 90, p.x, p.y);
        EXPECT_EQ(stream.Run(in.data(), out.data(), false), 1);
    }
    return {in, out};
}

TEST(Pipeline, MotionBeyondAThirdIsReplacedAndOffsetsMayReachTheFrameSize)
{
    // A third of 90 is 30 pixels; beyond it the previous motion, 0, is taken.
    auto [in, out] = runPath({{0, 0}, {-30, 0}});
    EXPECT_EQ(out, shifted(in, 90, 90, {30, 0}));
    std::tie(in, out) = runPath({{0, 0}, {-31, 0}});
    EXPECT_EQ(out, in);
    // Three accepted motions of 30 columns: the offset is the frame width.
    std::tie(in, out) = runPath({{0, 0}, {-30, 0}, {-60, 0}, {-90, 0}});
    EXPECT_EQ(out, Frame(out.size(), 0));
    // 30 + 30 + 29 rows: only input row 0 lands, in output row 89.
    std::tie(in, out) = runPath({{0, 0}, {0, -30}, {0, -60}, {0, -89}});
    EXPECT_EQ(out, shifted(in, 90, 90, {0, 89}));
}

TEST(Pipeline, OneBufferForInputAndOutputGivesTheFrameTwoBuffersGive)
{
    CRegViaFFT separate, inPlace;
    for (CRegViaFFT* o : {&separate, &inPlace})
        ASSERT_EQ(o->Create(kH, kW, 64, 64, 6, 1, 16, 16, kNeverJudged, 1.0), 1);
    // Offsets up, down, left and right, each far enough for rows to overlap.
    const std::vector<Offset> path = {{0, 0}, {3, 2}, {7, -4}, {-2, -9}, {-8, 5}, {0, 6}, {5, 0}};
    for (size_t t = 0; t < path.size(); ++t) {
        Frame in = contentAt(kW, kH, path[t].x, path[t].y);
        Frame out(in.size());
        ASSERT_EQ(separate.Run(in.data(), out.data(), false), 1);
        Frame shared = in;
        ASSERT_EQ(inPlace.Run(shared.data(), shared.data(), false), 1);
        EXPECT_EQ(shared, out) << "frame " << t;
        // The frame was shifted, so rows really overlapped.
        const Offset applied = borderOffset(out, kW, kH);
        EXPECT_EQ(applied.x != 0 || applied.y != 0, t > 0) << "frame " << t;
    }
}

TEST(Pipeline, RefusedAndBypassedFramesChangeNothingElse)
{
    Frame in = contentAt(kW, kH, 0, 0), out(in.size(), 0xAB);
    const Frame untouched = out;
    CRegViaFFT stream;
    EXPECT_EQ(stream.Run(in.data(), out.data(), false), 0) << "before Create";
    ASSERT_EQ(create(stream), 1);
    EXPECT_EQ(stream.Run(nullptr, out.data(), false), 0);
    EXPECT_EQ(stream.Run(nullptr, out.data(), true), 0);
    EXPECT_EQ(stream.Run(in.data(), nullptr, false), 0);
    EXPECT_EQ(out, untouched);
    // Placement without its workspace refuses the first frame, leaving the
    // output alone; the frame still counts, so every later one passes through.
    CRegViaFFT failed;
    ASSERT_EQ(create(failed), 1);
    testing::internal::CaptureStdout();
    {
        ScratchRefusal refuseAll(0);
        EXPECT_EQ(failed.Run(in.data(), out.data(), false), 0);
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR in setTemplatePosition\n");
    EXPECT_EQ(out, untouched);
    Frame later = contentAt(kW, kH, 3, 1);
    EXPECT_EQ(failed.Run(later.data(), out.data(), false), 0);
    EXPECT_EQ(out, later);
    // A bypassed first call copies and does not count: the next call still
    // places templates, and its output equals its input.
    Frame moved = contentAt(kW, kH, 5, 0);
    EXPECT_EQ(stream.Run(moved.data(), out.data(), true), 0);
    EXPECT_EQ(out, moved);
    EXPECT_EQ(stream.Run(in.data(), out.data(), false), 1);
    EXPECT_EQ(out, in);
    // Measured against that first frame, not against the bypassed one.
    Frame next = contentAt(kW, kH, 2, 0);
    EXPECT_EQ(runFrame(stream, next, kW, kH).x, -2);
}

}  // namespace
