// Rendering a record's correction: whole and sub-pixel shifts, each border,
// chroma moved by half, bottom-up planes, and in-place output.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "regviafft/stabilizer.h"
#include "stream_frames.h"

namespace {

using namespace regviafft;
using streams::Bytes;
using streams::Frame;

constexpr int kWidth = 64;
constexpr int kHeight = 48;
constexpr PixelFormat kFormats[] = {PixelFormat::Packed4, PixelFormat::Packed3, PixelFormat::I420,
                                    PixelFormat::NV12};

Settings settingsWith(Border border, bool wholePixel)
{
    Settings s;
    s.width = kWidth;
    s.height = kHeight;
    s.border = border;
    s.wholePixel = wholePixel;
    return s;
}

MotionRecord correction(double x, double y)
{
    MotionRecord r;
    r.correctionX = x;
    r.correctionY = y;
    return r;
}

Frame textured(std::uint32_t seed)
{
    return Frame(synthetic::texturedFrame(kWidth, kHeight, seed), kWidth, kHeight);
}

// Frame whose grey and chroma are all one value.
Frame flat(std::uint8_t value)
{
    Frame f(Bytes(static_cast<size_t>(kWidth) * kHeight, value), kWidth, kHeight);
    std::fill(f.u.begin(), f.u.end(), value);
    std::fill(f.v.begin(), f.v.end(), value);
    std::fill(f.uv.begin(), f.uv.end(), value);
    std::fill(f.packed.begin(), f.packed.end(), value);
    std::fill(f.packed3.begin(), f.packed3.end(), value);
    return f;
}

// The buffers a format uses, one after the other.
Bytes planesOf(const Frame& f, PixelFormat format)
{
    if (format == PixelFormat::Packed4)
        return f.packed;
    if (format == PixelFormat::Packed3)
        return f.packed3;
    Bytes all = f.y;
    if (format == PixelFormat::NV12) {
        all.insert(all.end(), f.uv.begin(), f.uv.end());
    } else {
        all.insert(all.end(), f.u.begin(), f.u.end());
        all.insert(all.end(), f.v.begin(), f.v.end());
    }
    return all;
}

int largestDifference(const Bytes& a, const Bytes& b)
{
    int largest = a.size() == b.size() ? 0 : 256;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        largest = std::max(largest, std::abs(a[i] - b[i]));
    return largest;
}

Frame render(const Settings& s, const MotionRecord& r, Frame& in, PixelFormat format)
{
    Stabilizer stabilizer(s);
    Frame out = flat(0xAB);
    stabilizer.render(r, in.view(format), out.view(format));
    return out;
}

}  // namespace

TEST(Render, WholePixelShiftMovesEveryPlaneAndFillsBlack)
{
    Frame in = textured(1);
    const Settings s = settingsWith(Border::Black, true);
    const Frame packed = render(s, correction(3, -2), in, PixelFormat::Packed4);
    const Frame i420 = render(s, correction(3, -2), in, PixelFormat::I420);
    const Frame nv12 = render(s, correction(3, -2), in, PixelFormat::NV12);
    for (int r = 0; r < kHeight; ++r)
        for (int c = 0; c < kWidth; ++c) {
            const int sr = r + 2, sc = c - 3;
            const bool covered = sr < kHeight && sc >= 0;
            const size_t o = static_cast<size_t>(r) * kWidth + c;
            for (int b = 0; b < 4; ++b)
                ASSERT_EQ(packed.packed[4 * o + b],
                          covered ? in.packed[4 * (static_cast<size_t>(sr) * kWidth + sc) + b] : 0)
                    << r << "," << c;
            ASSERT_EQ(i420.y[o], covered ? in.y[static_cast<size_t>(sr) * kWidth + sc] : 16);
        }
    // Chroma by half the offset, rounded to even: (1.5, -1) -> (2, -1).
    const int cw = kWidth / 2, ch = kHeight / 2;
    for (int r = 0; r < ch; ++r)
        for (int c = 0; c < cw; ++c) {
            const int sr = r + 1, sc = c - 2;
            const bool covered = sr < ch && sc >= 0;
            const size_t o = static_cast<size_t>(r) * cw + c;
            const size_t i = static_cast<size_t>(sr) * cw + sc;
            ASSERT_EQ(i420.u[o], covered ? in.u[i] : 128);
            ASSERT_EQ(i420.v[o], covered ? in.v[i] : 128);
            ASSERT_EQ(nv12.uv[2 * o], covered ? in.uv[2 * i] : 128);
            ASSERT_EQ(nv12.uv[2 * o + 1], covered ? in.uv[2 * i + 1] : 128);
        }
}

TEST(Render, EdgeBorderRepeatsTheNearestPixelAndCropShowsNoBorder)
{
    Frame in = textured(2);
    const Frame edge = render(settingsWith(Border::Edge, true), correction(-5, 4), in,
                              PixelFormat::I420);
    for (int r = 0; r < kHeight; ++r)
        for (int c = 0; c < kWidth; ++c) {
            const int sr = std::clamp(r - 4, 0, kHeight - 1), sc = std::clamp(c + 5, 0, kWidth - 1);
            ASSERT_EQ(edge.y[static_cast<size_t>(r) * kWidth + c],
                      in.y[static_cast<size_t>(sr) * kWidth + sc]);
        }
    // A flat frame moved by the whole budget stays flat: the zoom keeps the
    // border out of view, in every plane and every format.
    Frame grey = flat(200);
    const Settings crop = settingsWith(Border::Crop, false);
    const double budgetX = 0.05 * kWidth, budgetY = 0.05 * kHeight;
    for (PixelFormat format : kFormats) {
        for (const MotionRecord& r : {correction(budgetX, -budgetY), correction(-budgetX, budgetY)}) {
            const Frame out = render(crop, r, grey, format);
            for (std::uint8_t v : planesOf(out, format))
                ASSERT_EQ(v, 200);
        }
    }
    // Beyond the budget, as Design mode may go, the border shows.
    const Frame beyond = render(crop, correction(3 * budgetX, 0), grey, PixelFormat::I420);
    EXPECT_EQ(beyond.y[static_cast<size_t>(kHeight / 2) * kWidth], 16);
}

TEST(Render, SubPixelShiftInterpolatesBetweenNeighbours)
{
    Frame in = textured(3);
    const Frame out = render(settingsWith(Border::Black, false), correction(0.5, 0.0), in,
                             PixelFormat::I420);
    for (int r = 0; r < kHeight; ++r)
        for (int c = 1; c < kWidth; ++c) {
            const size_t o = static_cast<size_t>(r) * kWidth + c;
            const double mean = (in.y[o - 1] + in.y[o]) / 2.0;
            ASSERT_NEAR(out.y[o], mean, 1.0) << r << "," << c;
        }
    // Whole-pixel output of the same correction is a pure copy of one neighbour.
    const Frame whole = render(settingsWith(Border::Black, true), correction(0.5, 0.0), in,
                               PixelFormat::I420);
    EXPECT_EQ(whole.y, in.y);  // 0.5 rounds to the even 0
}

TEST(Render, BottomUpPlanesAndInPlaceOutputGiveTheSameFrame)
{
    for (PixelFormat format : kFormats) {
        for (bool wholePixel : {true, false}) {
            for (Border border : {Border::Black, Border::Edge, Border::Crop}) {
                const Settings s = settingsWith(border, wholePixel);
                const MotionRecord r = correction(2.25, -1.5);
                Frame in = textured(4);
                const Frame expected = render(s, r, in, format);

                Frame inPlace = in;
                Stabilizer stabilizer(s);
                stabilizer.render(r, inPlace.view(format), inPlace.view(format));
                EXPECT_EQ(planesOf(inPlace, format), planesOf(expected, format));

                // The same frames addressed from their last row up.
                Frame flippedIn = in, flippedOut = flat(0);
                FrameView inView = flippedIn.view(format), outView = flippedOut.view(format);
                for (FrameView* view : {&inView, &outView})
                    for (int p = 0; p < 3; ++p) {
                        Plane& plane = view->planes[p];
                        if (plane.data == nullptr)
                            continue;
                        const int rows = p == 0 ? kHeight : kHeight / 2;
                        plane.data += (rows - 1) * plane.stride;
                        plane.stride = -plane.stride;
                    }
                // Rows of the buffers run the other way: reverse the input's.
                const auto reverseRows = [](Bytes& plane, int rows) {
                    const size_t row = plane.size() / rows;
                    for (int r = 0; r < rows / 2; ++r)
                        std::swap_ranges(plane.begin() + r * row, plane.begin() + (r + 1) * row,
                                         plane.end() - (r + 1) * row);
                };
                reverseRows(flippedIn.packed, kHeight);
                reverseRows(flippedIn.packed3, kHeight);
                reverseRows(flippedIn.y, kHeight);
                reverseRows(flippedIn.u, kHeight / 2);
                reverseRows(flippedIn.v, kHeight / 2);
                reverseRows(flippedIn.uv, kHeight / 2);
                stabilizer.render(r, inView, outView);
                reverseRows(flippedOut.packed, kHeight);
                reverseRows(flippedOut.packed3, kHeight);
                reverseRows(flippedOut.y, kHeight);
                reverseRows(flippedOut.u, kHeight / 2);
                reverseRows(flippedOut.v, kHeight / 2);
                reverseRows(flippedOut.uv, kHeight / 2);
                // Interpolation weights are rounded to 1/32 pixel from the other
                // side of a flipped plane: one step of difference at most.
                const bool interpolated = border == Border::Crop || !wholePixel;
                EXPECT_LE(largestDifference(planesOf(flippedOut, format), planesOf(expected, format)),
                          interpolated ? 1 : 0);
            }
        }
    }
}
