// Shifting and warping the planes of a frame.
#include "frame_renderer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "frame_planes.h"

namespace regviafft {
namespace {

struct ByteRange {
    const std::uint8_t* begin;
    const std::uint8_t* end;
};

ByteRange planeBytes(const Plane& plane, const PlaneLayout& layout)
{
    const std::uint8_t* first = planeRow(plane, 0);
    const std::uint8_t* last = planeRow(plane, layout.height - 1);
    const std::uint8_t* low = std::min(first, last);
    return {low, std::max(first, last) + static_cast<size_t>(layout.width) * layout.bytesPerPixel};
}

bool overlaps(const ByteRange& a, const ByteRange& b)
{
    return a.begin < b.end && b.begin < a.end;
}

// True when output is input itself; throws when they overlap any other way.
bool isInPlace(const FrameView& input, const FrameView& output)
{
    const int planes = planeCount(input.format);
    bool same = true;
    bool anyOverlap = false;
    for (int p = 0; p < planes; ++p) {
        same = same && input.planes[p].data == output.planes[p].data &&
               input.planes[p].stride == output.planes[p].stride;
        const PlaneLayout in = planeLayout(input.format, p, input.width, input.height, false);
        for (int q = 0; q < planes; ++q) {
            const PlaneLayout out = planeLayout(output.format, q, output.width, output.height, false);
            anyOverlap = anyOverlap || overlaps(planeBytes(input.planes[p], in),
                                                planeBytes(output.planes[q], out));
        }
    }
    if (anyOverlap && !same)
        throw std::invalid_argument(
            "render: the output frame overlaps the input without being the same frame");
    return same;
}

// Sets count pixels of a row from `first` on to the given pixel's bytes.
void fillPixels(std::uint8_t* row, int first, int count, const std::uint8_t* pixel, int bytes)
{
    for (int c = first; c < first + count; ++c)
        std::memcpy(row + static_cast<size_t>(c) * bytes, pixel, static_cast<size_t>(bytes));
}

// dst(r, c) = src(r - oy, c - ox); uncovered pixels black or the nearest edge.
void shiftPlane(const Plane& src, const Plane& dst, const PlaneLayout& layout, long ox, long oy,
                bool edge)
{
    const int w = layout.width, h = layout.height, bytes = layout.bytesPerPixel;
    // Columns [x0, x1) of the output are covered by the source row.
    const int x0 = static_cast<int>(std::clamp<long>(ox, 0, w));
    const int x1 = static_cast<int>(std::clamp<long>(w + ox, 0, w));
    for (int r = 0; r < h; ++r) {
        std::uint8_t* out = planeRow(dst, r);
        const long sourceRow = r - oy;
        if (!edge && (sourceRow < 0 || sourceRow >= h)) {
            fillPixels(out, 0, w, layout.black, bytes);
            continue;
        }
        const std::uint8_t* in = planeRow(src, static_cast<int>(std::clamp<long>(sourceRow, 0, h - 1)));
        if (x1 > x0)
            std::memcpy(out + static_cast<size_t>(x0) * bytes, in + (x0 - ox) * bytes,
                        static_cast<size_t>(x1 - x0) * bytes);
        fillPixels(out, 0, x0, edge ? in : layout.black, bytes);
        fillPixels(out, x1, w - x1, edge ? in + static_cast<size_t>(w - 1) * bytes : layout.black,
                   bytes);
    }
}

// Bilinear weights in 1/256ths: a row blended across then a pair down stays
// within 16 bits and then 32.
constexpr int kWeightBits = 8;
constexpr int kWeightOne = 1 << kWeightBits;

// The integer part and the weight of the second neighbour of a source
// position that is `offset` pixels behind the output position.
struct Split {
    long whole;
    int weight;
};

Split splitOffset(double offset)
{
    const double source = -offset;
    Split split{static_cast<long>(std::floor(source)), 0};
    split.weight = static_cast<int>(std::lround((source - split.whole) * kWeightOne));
    if (split.weight == kWeightOne) {
        ++split.whole;
        split.weight = 0;
    }
    return split;
}

// One source row, border included, blended across by the column weight:
// across[k] = (1 - a) * row[k + first] + a * row[k + first + 1], per byte.
void blendAcross(const Plane& src, const PlaneLayout& layout, long sourceRow, const Split& x,
                 bool edge, std::vector<std::uint8_t>& padded, std::uint16_t* across)
{
    const int w = layout.width, h = layout.height, bytes = layout.bytesPerPixel;
    padded.resize(static_cast<size_t>(w + 1) * bytes);
    if (!edge && (sourceRow < 0 || sourceRow >= h)) {
        fillPixels(padded.data(), 0, w + 1, layout.black, bytes);
    } else {
        const std::uint8_t* in = planeRow(src, static_cast<int>(std::clamp<long>(sourceRow, 0, h - 1)));
        // Padded pixel j is source column x.whole + j.
        const long first = std::clamp<long>(-x.whole, 0, w + 1);
        const long last = std::clamp<long>(w - x.whole, 0, w + 1);  // one past the last inside
        if (last > first)
            std::memcpy(padded.data() + first * bytes, in + (x.whole + first) * bytes,
                        static_cast<size_t>(last - first) * bytes);
        fillPixels(padded.data(), 0, static_cast<int>(first), edge ? in : layout.black, bytes);
        fillPixels(padded.data(), static_cast<int>(last), static_cast<int>(w + 1 - last),
                   edge ? in + static_cast<size_t>(w - 1) * bytes : layout.black, bytes);
    }
    const std::uint16_t a = static_cast<std::uint16_t>(x.weight), b = static_cast<std::uint16_t>(kWeightOne - x.weight);
    const std::uint8_t* p = padded.data();
    for (int k = 0; k < w * bytes; ++k)
        across[k] = static_cast<std::uint16_t>(b * p[k] + a * p[k + bytes]);
}

// A translation by a fraction of a pixel: every output pixel blends the same
// four neighbours with the same weights.
void translatePlane(const Plane& src, const Plane& dst, const PlaneLayout& layout, double ox,
                    double oy, bool edge, std::vector<std::uint8_t>& padded,
                    std::vector<std::uint16_t>& rows)
{
    const int w = layout.width, h = layout.height, bytes = layout.bytesPerPixel;
    const size_t rowValues = static_cast<size_t>(w) * bytes;
    const Split x = splitOffset(ox), y = splitOffset(oy);
    rows.resize(2 * rowValues);
    std::uint16_t* upper = rows.data();
    std::uint16_t* lower = rows.data() + rowValues;
    const std::uint32_t a = static_cast<std::uint32_t>(y.weight), b = kWeightOne - a;
    constexpr std::uint32_t kHalf = 1u << (2 * kWeightBits - 1);
    long upperRow = y.whole;
    blendAcross(src, layout, upperRow, x, edge, padded, upper);
    blendAcross(src, layout, upperRow + 1, x, edge, padded, lower);
    for (int r = 0; r < h; ++r) {
        if (r > 0) {
            // Moving down a row: the lower source row becomes the upper one.
            std::swap(upper, lower);
            ++upperRow;
            blendAcross(src, layout, upperRow + 1, x, edge, padded, lower);
        }
        std::uint8_t* out = planeRow(dst, r);
        for (size_t k = 0; k < rowValues; ++k)
            out[k] = static_cast<std::uint8_t>((b * upper[k] + a * lower[k] + kHalf) >> (2 * kWeightBits));
    }
}

// Positions in the input in 1/65536 of a pixel, stepped exactly along each
// output row from its rounded start: rounding the step moves the far end of a
// 1920-pixel row by at most 0.015 pixel (an eighth at the 16384-pixel limit).
constexpr int kPositionBits = 16;
constexpr std::int64_t kPositionOne = std::int64_t{1} << kPositionBits;
constexpr int kFractionToWeight = kPositionBits - kWeightBits;

// The output pixel (X, Y) samples the input at (ax X + bx Y + tx, ay X + by Y + ty).
struct AffineMap {
    double ax, bx, tx;
    double ay, by, ty;
};

// Output p samples the input at c + R(-angle) (share (p - c) - offset) / scale
// about the plane's centre c.
AffineMap warpMap(const PlaneLayout& layout, double ox, double oy, const RenderGeometry& g)
{
    const double cx = (layout.width - 1) / 2.0, cy = (layout.height - 1) / 2.0;
    const double c = std::cos(g.angle) / g.scale, s = std::sin(g.angle) / g.scale;
    const double ax = g.shownShare * c, bx = g.shownShare * s;
    const double ay = -g.shownShare * s, by = g.shownShare * c;
    return {ax, bx, cx - ax * cx - bx * cy - (c * ox + s * oy),
            ay, by, cy - ay * cx - by * cy - (-s * ox + c * oy)};
}


// Steps i >= 0 for which fraction + step * i stays in [0, one pixel); in
// 32 bits, whose division is the cheaper one run after run.
std::int64_t stepsWithinPixel(std::int64_t fraction, std::int64_t step)
{
    if (step >= kPositionOne || step <= -kPositionOne)
        return 1;
    const auto f = static_cast<std::uint32_t>(fraction);
    if (step > 0)
        return (static_cast<std::uint32_t>(kPositionOne - 1) - f) / static_cast<std::uint32_t>(step) + 1;
    if (step < 0)
        return f / static_cast<std::uint32_t>(-step) + 1;
    return std::numeric_limits<std::int64_t>::max();
}

// One output row's input positions: at x, (x0 + dx x, y0 + dy x).
struct RowWalk {
    std::int64_t x0, dx, y0, dy;
    std::int64_t x(std::int64_t at) const { return x0 + dx * at; }
    std::int64_t y(std::int64_t at) const { return y0 + dy * at; }
};

// Output pixels [first, last) of a row.
struct Span {
    std::int64_t first, last;
};

std::int64_t floorDivision(std::int64_t a, std::int64_t positive)
{
    const std::int64_t q = a / positive;
    return q * positive > a ? q - 1 : q;
}

// The whole pixel at or before a position.
std::int64_t pixelOf(std::int64_t position)
{
    return floorDivision(position, kPositionOne);
}

// Narrows the span to the pixels x at which low <= start + step x < high;
// an empty result stays within the span, first == last.
void keepWithin(std::int64_t start, std::int64_t step, std::int64_t low, std::int64_t high, Span& span)
{
    std::int64_t first = span.first, last = span.last;
    if (step > 0) {
        first = -floorDivision(start - low, step);  // ceil((low - start) / step)
        last = -floorDivision(start - high, step);
    } else if (step < 0) {
        first = floorDivision(start - high, -step) + 1;
        last = floorDivision(start - low, -step) + 1;
    } else if (start < low || start >= high) {
        last = first;
    }
    last = std::clamp(last, span.first, span.last);
    span = {std::clamp(first, span.first, last), last};
}

// The pixels of a row whose four neighbours lie inside the plane: all of
// them (reach 0), or at least one (reach 1).
Span spanReaching(const RowWalk& walk, const PlaneLayout& layout, int reach)
{
    Span span{0, layout.width};
    keepWithin(walk.x0, walk.dx, -reach * kPositionOne, (layout.width - 1 + reach) * kPositionOne, span);
    keepWithin(walk.y0, walk.dy, -reach * kPositionOne, (layout.height - 1 + reach) * kPositionOne, span);
    return span;
}

// Pixels from `at` on, within the inside span, whose neighbours lie in the
// same two input rows, one input column further for each pixel.
int runFrom(const RowWalk& walk, std::int64_t at, std::int64_t spanEnd)
{
    const std::int64_t x = walk.x(at), y = walk.y(at);
    return static_cast<int>(std::min({spanEnd - at,
                                      stepsWithinPixel(x - pixelOf(x) * kPositionOne, walk.dx - kPositionOne),
                                      stepsWithinPixel(y - pixelOf(y) * kPositionOne, walk.dy)}));
}

// Weights (1/256ths) of the second column and the second row for every byte
// of the row, each pixel's repeated for its bytes: the positions' fractions,
// in wrapping 16-bit arithmetic, which keeps a fraction's bits exactly.
template <int Bytes>
[[gnu::always_inline]] inline void rowWeightsBody(const RowWalk& walk, int width, std::uint16_t* acrossWeights,
                                                  std::uint16_t* downWeights)
{
    const auto x0 = static_cast<std::uint16_t>(walk.x0), y0 = static_cast<std::uint16_t>(walk.y0);
    const auto dx = static_cast<std::uint16_t>(walk.dx), dy = static_cast<std::uint16_t>(walk.dy);
    if constexpr (Bytes == 1) {
        // One byte a pixel: the positions step on, which is cheaper still.
        auto x = x0, y = y0;
        for (int i = 0; i < width; ++i) {
            acrossWeights[i] = static_cast<std::uint16_t>(x >> kFractionToWeight);
            downWeights[i] = static_cast<std::uint16_t>(y >> kFractionToWeight);
            x = static_cast<std::uint16_t>(x + dx);
            y = static_cast<std::uint16_t>(y + dy);
        }
    } else {
        // Byte k belongs to pixel k / Bytes; a constant divisor keeps the
        // loop one flat pass over the bytes.
        for (int k = 0; k < width * Bytes; ++k) {
            const auto pixel = static_cast<std::uint16_t>(k / Bytes);
            acrossWeights[k] = static_cast<std::uint16_t>(static_cast<std::uint16_t>(x0 + dx * pixel) >> kFractionToWeight);
            downWeights[k] = static_cast<std::uint16_t>(static_cast<std::uint16_t>(y0 + dy * pixel) >> kFractionToWeight);
        }
    }
}

// `count` bytes blended from two input rows that start at their first
// pixel's left neighbours: across each row, rounded to a level, then down.
// Each step fits 16 bits and every byte has its own weights, so that the
// loop vectorises sixteen bytes to a 128-bit register (32 to a 256-bit one)
// whatever the pixel width.
template <int Bytes>
[[gnu::always_inline]] inline void blendRunBody(const std::uint8_t* __restrict upper,
                                                const std::uint8_t* __restrict lower,
                                                const std::uint16_t* __restrict acrossWeights,
                                                const std::uint16_t* __restrict downWeights, int count,
                                                std::uint8_t* __restrict out)
{
    constexpr std::uint16_t kOne = kWeightOne, kHalf = kWeightOne / 2;
    for (int k = 0; k < count; ++k) {
        const std::uint16_t a = acrossWeights[k], b = downWeights[k];
        const std::uint16_t top = static_cast<std::uint16_t>((kOne - a) * upper[k] + a * upper[k + Bytes] + kHalf) >> kWeightBits;
        const std::uint16_t bottom = static_cast<std::uint16_t>((kOne - a) * lower[k] + a * lower[k + Bytes] + kHalf) >> kWeightBits;
        out[k] = static_cast<std::uint8_t>(static_cast<std::uint16_t>((kOne - b) * top + b * bottom + kHalf) >> kWeightBits);
    }
}

// Bytes a run is rounded up to: a 256-bit register's.
constexpr int kBlendBlock = 32;

using RowWeights = void (*)(const RowWalk&, int, std::uint16_t*, std::uint16_t*);
using BlendRun = void (*)(const std::uint8_t*, const std::uint8_t*, const std::uint16_t*, const std::uint16_t*, int,
                          std::uint8_t*);

// The warp's loops for one instruction set, indexed by bytes per pixel.
struct WarpLoops {
    RowWeights rowWeights[5];
    BlendRun blend[5];
};

template <int Bytes>
void rowWeights(const RowWalk& walk, int width, std::uint16_t* across, std::uint16_t* down)
{
    rowWeightsBody<Bytes>(walk, width, across, down);
}

template <int Bytes>
void blendRun(const std::uint8_t* upper, const std::uint8_t* lower, const std::uint16_t* across,
              const std::uint16_t* down, int count, std::uint8_t* out)
{
    blendRunBody<Bytes>(upper, lower, across, down, count, out);
}

constexpr WarpLoops kBaselineLoops = {
    {nullptr, rowWeights<1>, rowWeights<2>, rowWeights<3>, rowWeights<4>},
    {nullptr, blendRun<1>, blendRun<2>, blendRun<3>, blendRun<4>}};

#if defined(__x86_64__)
// The same loops compiled for AVX2, twice as wide; run only where the
// processor and the OS allow it.
template <int Bytes>
[[gnu::target("avx2")]] void rowWeightsAvx2(const RowWalk& walk, int width, std::uint16_t* across,
                                            std::uint16_t* down)
{
    rowWeightsBody<Bytes>(walk, width, across, down);
}

template <int Bytes>
[[gnu::target("avx2")]] void blendRunAvx2(const std::uint8_t* upper, const std::uint8_t* lower,
                                          const std::uint16_t* across, const std::uint16_t* down, int count,
                                          std::uint8_t* out)
{
    blendRunBody<Bytes>(upper, lower, across, down, count, out);
}

constexpr WarpLoops kAvx2Loops = {
    {nullptr, rowWeightsAvx2<1>, rowWeightsAvx2<2>, rowWeightsAvx2<3>, rowWeightsAvx2<4>},
    {nullptr, blendRunAvx2<1>, blendRunAvx2<2>, blendRunAvx2<3>, blendRunAvx2<4>}};
#endif

// Decided at first use, never at load; the compiler's own check covers the
// OS's saved register state as well as the instructions.
const WarpLoops& warpLoops()
{
#if defined(__x86_64__)
    static const WarpLoops& loops = __builtin_cpu_supports("avx2") ? kAvx2Loops : kBaselineLoops;
    return loops;
#else
    return kBaselineLoops;
#endif
}

// One output pixel whose neighbours reach past the plane: those outside are
// black, or the nearest edge pixel; rounded as the runs are.
void blendAtBorder(const Plane& src, const PlaneLayout& layout, std::int64_t sx, std::int64_t sy,
                   bool edge, std::uint8_t* out)
{
    const std::int64_t column = pixelOf(sx), row = pixelOf(sy);
    const std::uint32_t a = static_cast<std::uint32_t>(sx - column * kPositionOne) >> kFractionToWeight;
    const std::uint32_t b = static_cast<std::uint32_t>(sy - row * kPositionOne) >> kFractionToWeight;
    const int bytes = layout.bytesPerPixel;
    const auto at = [&](std::int64_t r, std::int64_t c, int k) -> std::uint32_t {
        const bool inside = r >= 0 && r < layout.height && c >= 0 && c < layout.width;
        if (!inside && !edge)
            return layout.black[k];
        const int rr = static_cast<int>(std::clamp<std::int64_t>(r, 0, layout.height - 1));
        const std::int64_t cc = std::clamp<std::int64_t>(c, 0, layout.width - 1);
        return planeRow(src, rr)[cc * bytes + k];
    };
    constexpr std::uint32_t kHalf = kWeightOne / 2;
    for (int k = 0; k < bytes; ++k) {
        const std::uint32_t top = ((kWeightOne - a) * at(row, column, k) + a * at(row, column + 1, k) + kHalf) >> kWeightBits;
        const std::uint32_t bottom =
            ((kWeightOne - a) * at(row + 1, column, k) + a * at(row + 1, column + 1, k) + kHalf) >> kWeightBits;
        out[k] = static_cast<std::uint8_t>(((kWeightOne - b) * top + b * bottom + kHalf) >> kWeightBits);
    }
}

// One output row: runs of pixels that read two input rows side by side, and
// single pixels at the border.
void warpRow(const Plane& src, const PlaneLayout& layout, const RowWalk& walk, bool edge, const WarpLoops& loops,
             std::vector<std::uint16_t>& weights, std::uint8_t* out)
{
    const int w = layout.width, bytes = layout.bytesPerPixel;
    const size_t rowBytes = static_cast<size_t>(w) * bytes;
    weights.resize(2 * rowBytes);
    std::uint16_t* across = weights.data();
    std::uint16_t* down = weights.data() + rowBytes;
    loops.rowWeights[bytes](walk, w, across, down);
    // Outside the pixels that reach the plane at all, black needs no blend;
    // those whose neighbours all lie inside are a part of them.
    const Span reaching = edge ? Span{0, w} : spanReaching(walk, layout, 1);
    Span inside = spanReaching(walk, layout, 0);
    inside.first = std::clamp(inside.first, reaching.first, reaching.last);
    inside.last = std::clamp(inside.last, inside.first, reaching.last);
    fillPixels(out, 0, static_cast<int>(reaching.first), layout.black, bytes);
    for (std::int64_t x = reaching.first; x < inside.first; ++x)
        blendAtBorder(src, layout, walk.x(x), walk.y(x), edge, out + x * bytes);
    for (std::int64_t x = inside.first; x < inside.last;) {
        const int run = runFrom(walk, x, inside.last);
        const std::int64_t column = pixelOf(walk.x(x));
        const int row = static_cast<int>(pixelOf(walk.y(x)));
        // The run is blended on to a whole number of vectors where the rows
        // have room: the pixels past it are wrong but written again by what
        // follows, and the loop needs no scalar tail.
        const int room = static_cast<int>(std::min<std::int64_t>(w - x, w - 1 - column)) * bytes;
        const int blended = std::min((run * bytes + kBlendBlock - 1) / kBlendBlock * kBlendBlock, room);
        loops.blend[bytes](planeRow(src, row) + column * bytes, planeRow(src, row + 1) + column * bytes,
                           across + x * bytes, down + x * bytes, blended, out + x * bytes);
        x += run;
    }
    // Written after the runs, which may have blended on into these pixels.
    for (std::int64_t x = inside.last; x < reaching.last; ++x)
        blendAtBorder(src, layout, walk.x(x), walk.y(x), edge, out + x * bytes);
    fillPixels(out, static_cast<int>(reaching.last), static_cast<int>(w - reaching.last), layout.black, bytes);
}

// Bilinear warp by the map of the geometry, row by row.
void warpPlane(const Plane& src, const Plane& dst, const PlaneLayout& layout, double ox, double oy,
               const RenderGeometry& g, std::vector<std::uint16_t>& weights)
{
    const AffineMap m = warpMap(layout, ox, oy, g);
    const std::int64_t dx = std::llround(m.ax * kPositionOne), dy = std::llround(m.ay * kPositionOne);
    const WarpLoops& loops = warpLoops();
    for (int y = 0; y < layout.height; ++y) {
        const RowWalk walk{std::llround((m.bx * y + m.tx) * kPositionOne), dx,
                           std::llround((m.by * y + m.ty) * kPositionOne), dy};
        warpRow(src, layout, walk, g.border == Border::Edge, loops, weights, planeRow(dst, y));
    }
}

}  // namespace

double cropShare(PixelFormat format, int width, int height, double budgetX, double budgetY)
{
    double share = 1.0;
    for (int p = 0; p < planeCount(format); ++p) {
        const PlaneLayout l = planeLayout(format, p, width, height, false);
        // The zoom is about the centre of the plane's outer pixels, which
        // lies (size - 1) / 2 from each of them.
        const double halfX = (l.width - 1) / 2.0, halfY = (l.height - 1) / 2.0;
        if (halfX > 0.0)
            share = std::min(share, 1.0 - budgetX / l.subsampling / halfX);
        if (halfY > 0.0)
            share = std::min(share, 1.0 - budgetY / l.subsampling / halfY);
    }
    return std::max(share, 0.0);
}

FrameView FrameRenderer::copyToScratch(const FrameView& frame)
{
    const int planes = planeCount(frame.format);
    size_t total = 0;
    for (int p = 0; p < planes; ++p) {
        const PlaneLayout l = planeLayout(frame.format, p, frame.width, frame.height, false);
        total += static_cast<size_t>(l.width) * l.bytesPerPixel * l.height;
    }
    scratch_.resize(total);
    FrameView copy = frame;
    std::uint8_t* next = scratch_.data();
    for (int p = 0; p < planes; ++p) {
        const PlaneLayout l = planeLayout(frame.format, p, frame.width, frame.height, false);
        const std::ptrdiff_t rowBytes = std::ptrdiff_t{l.width} * l.bytesPerPixel;
        for (int r = 0; r < l.height; ++r)
            std::memcpy(next + r * rowBytes, planeRow(frame.planes[p], r),
                        static_cast<size_t>(rowBytes));
        copy.planes[p] = {next, rowBytes};
        next += rowBytes * l.height;
    }
    return copy;
}

void FrameRenderer::render(const FrameView& input, const FrameView& output,
                           const RenderGeometry& g)
{
    const FrameView source = isInPlace(input, output) ? copyToScratch(input) : input;
    for (int p = 0; p < planeCount(input.format); ++p) {
        const PlaneLayout layout = planeLayout(input.format, p, input.width, input.height,
                                               g.fullRange);
        double ox = g.offsetX / layout.subsampling;
        double oy = g.offsetY / layout.subsampling;
        if (g.wholePixel) {
            ox = std::nearbyint(ox);
            oy = std::nearbyint(oy);
        }
        const bool whole = ox == std::floor(ox) && oy == std::floor(oy);
        const bool edge = g.border == Border::Edge;
        if (g.shownShare != 1.0 || g.angle != 0.0 || g.scale != 1.0)
            warpPlane(source.planes[p], output.planes[p], layout, ox, oy, g, weights_);
        else if (whole)
            shiftPlane(source.planes[p], output.planes[p], layout, std::lround(ox), std::lround(oy), edge);
        else
            translatePlane(source.planes[p], output.planes[p], layout, ox, oy, edge, padded_, rows_);
    }
}

}  // namespace regviafft
