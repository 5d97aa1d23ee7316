// Rendering a record's correction: whole and sub-pixel shifts, turns and
// zooms, each border, chroma moved by half, bottom-up planes, and in-place
// output.
#include <gtest/gtest.h>

#include <algorithm>
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

MotionRecord correction(double x, double y, double degrees = 0.0, double scale = 1.0)
{
    MotionRecord r;
    r.correctionX = x;
    r.correctionY = y;
    r.correctionRotation = degrees;
    r.correctionScale = scale;
    return r;
}

// The reference turn: output pixel p of a w x h plane samples the input,
// bilinearly, at c + R(-angle) (p - c - offset) / scale about the middle c of
// the plane's outer pixels; nothing where the sample falls outside. `step`
// is the largest difference between the four neighbours sampled.
double turnedSample(const Bytes& plane, int w, int h, int bytes, int b, int x, int y, double ox, double oy,
                    double angle, double scale, bool& inside, double& step)
{
    const double cx = (w - 1) / 2.0, cy = (h - 1) / 2.0;
    const double px = x - cx - ox, py = y - cy - oy;
    const double sx = cx + (std::cos(angle) * px + std::sin(angle) * py) / scale;
    const double sy = cy + (-std::sin(angle) * px + std::cos(angle) * py) / scale;
    const int x0 = static_cast<int>(std::floor(sx)), y0 = static_cast<int>(std::floor(sy));
    inside = x0 >= 0 && y0 >= 0 && x0 + 1 < w && y0 + 1 < h;
    if (!inside)
        return 0.0;
    const double fx = sx - x0, fy = sy - y0;
    const auto at = [&](int r, int c) { return double(plane[(static_cast<size_t>(r) * w + c) * bytes + b]); };
    const double corners[] = {at(y0, x0), at(y0, x0 + 1), at(y0 + 1, x0), at(y0 + 1, x0 + 1)};
    step = *std::max_element(corners, corners + 4) - *std::min_element(corners, corners + 4);
    return (1 - fy) * ((1 - fx) * at(y0, x0) + fx * at(y0, x0 + 1)) +
           fy * ((1 - fx) * at(y0 + 1, x0) + fx * at(y0 + 1, x0 + 1));
}

Frame textured(std::uint32_t seed)
{
    return Frame(synthetic::texturedFrame(kWidth, kHeight, seed), kWidth, kHeight);
}

// Every buffer of the frame, each with its number of rows.
std::vector<std::pair<Bytes*, int>> buffersOf(Frame& f)
{
    return {{&f.packed, kHeight}, {&f.packed3, kHeight}, {&f.y, kHeight},
            {&f.u, kHeight / 2},  {&f.v, kHeight / 2},   {&f.uv, kHeight / 2}};
}

// Frame whose every byte is one value.
Frame flat(std::uint8_t value)
{
    Frame f(Bytes(static_cast<size_t>(kWidth) * kHeight), kWidth, kHeight);
    for (auto [bytes, rows] : buffersOf(f))
        std::fill(bytes->begin(), bytes->end(), value);
    return f;
}

// A plane of w x h pixels of `bytes` bytes with its content moved right by ox
// and down by oy: uncovered pixels are `fill`, or the nearest edge pixel for a
// fill below 0.
Bytes moved(const Bytes& plane, int w, int h, int bytes, int ox, int oy, int fill)
{
    Bytes out(plane.size());
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c)
            for (int b = 0; b < bytes; ++b) {
                const int sr = r - oy, sc = c - ox;
                const bool covered = sr >= 0 && sr < h && sc >= 0 && sc < w;
                const size_t from = static_cast<size_t>(std::clamp(sr, 0, h - 1)) * w + std::clamp(sc, 0, w - 1);
                out[(static_cast<size_t>(r) * w + c) * bytes + b] =
                    static_cast<std::uint8_t>(covered || fill < 0 ? plane[from * bytes + b] : fill);
            }
    return out;
}

// The buffers a format uses, one after the other.
Bytes planesOf(const Frame& f, PixelFormat format)
{
    if (format == PixelFormat::Packed4 || format == PixelFormat::Packed3)
        return format == PixelFormat::Packed4 ? f.packed : f.packed3;
    Bytes all = f.y;
    for (const Bytes* chroma : format == PixelFormat::NV12 ? std::vector{&f.uv} : std::vector{&f.u, &f.v})
        all.insert(all.end(), chroma->begin(), chroma->end());
    return all;
}

Frame render(const Settings& s, const MotionRecord& r, Frame& in, PixelFormat format)
{
    Stabilizer stabilizer(s);
    Frame out = flat(0xAB);
    stabilizer.render(r, in.view(format), out.view(format));
    return out;
}

}  // namespace

TEST(Render, WholePixelShiftMovesEveryPlaneAndFillsBlackOrTheEdge)
{
    Frame in = textured(1);
    const Settings black = settingsWith(Border::Black, true);
    const Frame packed = render(black, correction(3, -2), in, PixelFormat::Packed4);
    const Frame packed3 = render(black, correction(3, -2), in, PixelFormat::Packed3);
    const Frame i420 = render(black, correction(3, -2), in, PixelFormat::I420);
    const Frame nv12 = render(black, correction(3, -2), in, PixelFormat::NV12);
    EXPECT_EQ(packed.packed, moved(in.packed, kWidth, kHeight, 4, 3, -2, 0));
    EXPECT_EQ(packed3.packed3, moved(in.packed3, kWidth, kHeight, 3, 3, -2, 0));
    EXPECT_EQ(i420.y, moved(in.y, kWidth, kHeight, 1, 3, -2, 16));
    // Chroma by half the offset, rounded to even: (1.5, -1) -> (2, -1).
    EXPECT_EQ(i420.u, moved(in.u, kWidth / 2, kHeight / 2, 1, 2, -1, 128));
    EXPECT_EQ(i420.v, moved(in.v, kWidth / 2, kHeight / 2, 1, 2, -1, 128));
    EXPECT_EQ(nv12.uv, moved(in.uv, kWidth / 2, kHeight / 2, 2, 2, -1, 128));
    const Frame edge = render(settingsWith(Border::Edge, true), correction(-5, 4), in, PixelFormat::I420);
    EXPECT_EQ(edge.y, moved(in.y, kWidth, kHeight, 1, -5, 4, -1));
}

TEST(Render, CropShowsNoBorderWithinTheBudget)
{
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

TEST(Render, TurnAndZoomMatchAReferenceWarpInEveryPlane)
{
    Frame in = textured(5);
    const double degrees = 3.0, scale = 1.02, ox = 1.25, oy = -0.5;
    const double angle = degrees * 3.141592653589793 / 180.0;
    for (PixelFormat format : {PixelFormat::Packed4, PixelFormat::I420, PixelFormat::NV12}) {
        const Frame out = render(settingsWith(Border::Black, false), correction(ox, oy, degrees, scale), in, format);
        struct PlaneCase {
            const Bytes* in;
            const Bytes* out;
            int w, h, bytes, subsampling;
        };
        std::vector<PlaneCase> planes;
        if (format == PixelFormat::Packed4) {
            planes.push_back({&in.packed, &out.packed, kWidth, kHeight, 4, 1});
        } else {
            planes.push_back({&in.y, &out.y, kWidth, kHeight, 1, 1});
            if (format == PixelFormat::I420) {
                planes.push_back({&in.u, &out.u, kWidth / 2, kHeight / 2, 1, 2});
                planes.push_back({&in.v, &out.v, kWidth / 2, kHeight / 2, 1, 2});
            } else {
                planes.push_back({&in.uv, &out.uv, kWidth / 2, kHeight / 2, 2, 2});
            }
        }
        for (const PlaneCase& p : planes) {
            int compared = 0;
            for (int y = 0; y < p.h; ++y)
                for (int x = 0; x < p.w; ++x)
                    for (int b = 0; b < p.bytes; ++b) {
                        bool inside = false;
                        double step = 0.0;
                        const double want = turnedSample(*p.in, p.w, p.h, p.bytes, b, x, y, ox / p.subsampling,
                                                         oy / p.subsampling, angle, scale, inside, step);
                        if (!inside)
                            continue;
                        // Weights in 1/256ths of a pixel each way, and each
                        // row's blend rounded to a level before the blend down.
                        const int got = (*p.out)[(static_cast<size_t>(y) * p.w + x) * p.bytes + b];
                        ASSERT_NEAR(got, want, 1.0 + step / 16.0)
                            << "plane " << p.w << "x" << p.h << " at " << x << "," << y;
                        ++compared;
                    }
            EXPECT_GT(compared, p.w * p.h * p.bytes / 2);
        }
    }
}

// A flat frame turned and moved: where all four neighbours of a sample lie
// inside, the value itself; where none does, black (or, with the edge
// border, the value again); in the band between, a blend of the two. Catches
// pixels left unwritten or written with a neighbouring run's rows.
TEST(Render, TurnOfAFlatFrameIsFlatInsideBlackOutsideAndBlendedBetween)
{
    constexpr std::uint8_t kValue = 200;
    Frame grey = flat(kValue);
    // Turns both ways, small ones (long runs) and larger ones (short runs),
    // and moves that leave whole rows without a pixel inside.
    const double turns[][3] = {{4.0, 3.3, -2.6}, {-1.5, -6.2, 4.1}, {0.7, 9.5, 7.25}, {-9.0, 0.4, -0.8},
                               {3.0, 58.0, 40.0}, {-2.0, -61.5, -45.0}};
    for (const auto& [degrees, ox, oy] : turns) {
        const double angle = degrees * 3.141592653589793 / 180.0;
        for (PixelFormat format : {PixelFormat::I420, PixelFormat::NV12}) {
            const Frame edge = render(settingsWith(Border::Edge, false), correction(ox, oy, degrees), grey, format);
            for (std::uint8_t v : planesOf(edge, format))
                ASSERT_EQ(v, kValue);
            const Frame black = render(settingsWith(Border::Black, false), correction(ox, oy, degrees), grey, format);
            const bool i420 = format == PixelFormat::I420;
            const struct {
                const Bytes& out;
                int w, h, bytes, subsampling;
                std::uint8_t black;
            } planes[] = {{black.y, kWidth, kHeight, 1, 1, 16},
                          {i420 ? black.u : black.uv, kWidth / 2, kHeight / 2, i420 ? 1 : 2, 2, 128}};
            for (const auto& p : planes) {
                const double cx = (p.w - 1) / 2.0, cy = (p.h - 1) / 2.0;
                for (int y = 0; y < p.h; ++y)
                    for (int x = 0; x < p.w; ++x) {
                        const double px = x - cx - ox / p.subsampling, py = y - cy - oy / p.subsampling;
                        const int x0 = static_cast<int>(std::floor(cx + std::cos(angle) * px + std::sin(angle) * py));
                        const int y0 = static_cast<int>(std::floor(cy - std::sin(angle) * px + std::cos(angle) * py));
                        const bool allInside = x0 >= 0 && y0 >= 0 && x0 + 1 < p.w && y0 + 1 < p.h;
                        const bool noneInside = x0 < -1 || y0 < -1 || x0 >= p.w || y0 >= p.h;
                        for (int b = 0; b < p.bytes; ++b) {
                            const int got = p.out[(static_cast<size_t>(y) * p.w + x) * p.bytes + b];
                            SCOPED_TRACE(testing::Message() << degrees << " degrees, plane " << p.w << "x" << p.h
                                                            << " at " << x << "," << y);
                            if (allInside)
                                ASSERT_EQ(got, kValue);
                            else if (noneInside)
                                ASSERT_EQ(got, p.black);
                            else
                                ASSERT_TRUE(got >= p.black && got <= kValue);
                        }
                    }
            }
        }
    }
}

TEST(Render, CropHidesATurnThatSpendsTheWholeBudget)
{
    // A turn whose corners reach the budget (5 % of 48 rows: 2.4) exactly,
    // together with a shift: the crop's zoom shows no border.
    const double halfWidth = kWidth / 2.0, halfHeight = kHeight / 2.0, budgetY = 0.05 * kHeight;
    double low = 0.0, high = 0.2;
    for (int i = 0; i < 60; ++i) {
        const double a = (low + high) / 2;
        (halfWidth * std::sin(a) + halfHeight * (1 - std::cos(a)) < budgetY / 2 ? low : high) = a;
    }
    const double degrees = low * 180.0 / 3.141592653589793;
    Frame grey = flat(200);
    for (PixelFormat format : kFormats) {
        const Frame out = render(settingsWith(Border::Crop, false), correction(0.3, -budgetY / 2, degrees), grey,
                                 format);
        for (std::uint8_t v : planesOf(out, format))
            ASSERT_EQ(v, 200);
    }
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
    // Rows of the buffers run the other way for views addressed from the last row up.
    const auto reverseRows = [](Frame& f) {
        for (auto [plane, rows] : buffersOf(f)) {
            const size_t row = plane->size() / rows;
            for (int r = 0; r < rows / 2; ++r)
                std::swap_ranges(plane->begin() + r * row, plane->begin() + (r + 1) * row,
                                 plane->end() - (r + 1) * row);
        }
    };
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

                Frame flippedIn = in, flippedOut = flat(0);
                reverseRows(flippedIn);
                FrameView inView = flippedIn.view(format), outView = flippedOut.view(format);
                for (FrameView* view : {&inView, &outView})
                    for (int p = 0; p < 3; ++p) {
                        Plane& plane = view->planes[p];
                        if (plane.data == nullptr)
                            continue;
                        plane.data += ((p == 0 ? kHeight : kHeight / 2) - 1) * plane.stride;
                        plane.stride = -plane.stride;
                    }
                stabilizer.render(r, inView, outView);
                reverseRows(flippedOut);
                // Interpolation weights are rounded to 1/32 pixel from the other
                // side of a flipped plane: one step of difference at most.
                const Bytes got = planesOf(flippedOut, format), want = planesOf(expected, format);
                ASSERT_EQ(got.size(), want.size());
                int largest = 0;
                for (size_t i = 0; i < got.size(); ++i)
                    largest = std::max(largest, std::abs(got[i] - want[i]));
                EXPECT_LE(largest, border == Border::Crop || !wholePixel ? 1 : 0);
            }
        }
    }
}
