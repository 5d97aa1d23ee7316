// Shifting and warping the planes of a frame.
#include "frame_renderer.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
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

// A plane as an image-library matrix with a positive row step; bottom-up
// planes start at their last row and report themselves flipped.
cv::Mat planeMat(const Plane& plane, const PlaneLayout& layout, bool& flipped)
{
    flipped = plane.stride < 0;
    std::uint8_t* top = flipped ? planeRow(plane, layout.height - 1) : plane.data;
    return cv::Mat(layout.height, layout.width, CV_8UC(layout.bytesPerPixel), top,
                   static_cast<size_t>(flipped ? -plane.stride : plane.stride));
}

// Bilinear warp: the output pixel at p samples the input at
// c + R(-angle) (share (p - c) - offset) / scale about the plane's centre c;
// flipped rows are folded into the map.
void warpPlane(const Plane& src, const Plane& dst, const PlaneLayout& layout, double ox,
               double oy, const RenderGeometry& g)
{
    bool srcFlipped = false, dstFlipped = false;
    const cv::Mat in = planeMat(src, layout, srcFlipped);
    cv::Mat out = planeMat(dst, layout, dstFlipped);
    const double cx = (layout.width - 1) / 2.0, cy = (layout.height - 1) / 2.0;
    const double bottom = layout.height - 1;
    // Rows of the matrices as laid out in memory: row = base + sign * y.
    const double outSign = dstFlipped ? -1.0 : 1.0, outBase = dstFlipped ? bottom : 0.0;
    const double inSign = srcFlipped ? -1.0 : 1.0, inBase = srcFlipped ? bottom : 0.0;
    const double c = std::cos(g.angle) / g.scale, s = std::sin(g.angle) / g.scale;
    // input (x, y) = centre + [c s; -s c] (share (output - centre) - offset)
    const double ax = g.shownShare * c, bx = g.shownShare * s;
    const double ay = -g.shownShare * s, by = g.shownShare * c;
    const double tx = cx - ax * cx - bx * cy - (c * ox + s * oy);
    const double ty = cy - ay * cx - by * cy - (-s * ox + c * oy);
    // Folding in the flips: output y = outBase + outSign * row, input row = inBase + inSign * y.
    const cv::Matx23d map(ax, bx * outSign, tx + bx * outBase,
                          inSign * ay, inSign * by * outSign, inSign * (ty + by * outBase) + inBase);
    const cv::Scalar black(layout.black[0], layout.black[1], layout.black[2], layout.black[3]);
    const int borderMode = g.border == Border::Edge ? cv::BORDER_REPLICATE : cv::BORDER_CONSTANT;
    cv::warpAffine(in, out, map, out.size(), cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, borderMode,
                   black);
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
            warpPlane(source.planes[p], output.planes[p], layout, ox, oy, g);
        else if (whole)
            shiftPlane(source.planes[p], output.planes[p], layout, std::lround(ox), std::lround(oy), edge);
        else
            translatePlane(source.planes[p], output.planes[p], layout, ox, oy, edge, padded_, rows_);
    }
}

}  // namespace regviafft
