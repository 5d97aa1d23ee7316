// Frame views: how each pixel format is laid out in planes, and their checks.
#include "frame_planes.h"

#include <cstdlib>
#include <stdexcept>
#include <string>

namespace regviafft {
namespace {

constexpr int kPacked4Bytes = 4;
constexpr int kPacked3Bytes = 3;
constexpr int kChromaPairBytes = 2;
// Black in video (limited) range: luma 16, chroma at its mid-point 128.
constexpr std::uint8_t kLimitedBlackLuma = 16;
constexpr std::uint8_t kNeutralChroma = 128;

int halfUp(int size) { return (size + 1) / 2; }

}  // namespace

FrameView FrameView::packed(std::uint8_t* pixels, int width, int height, std::ptrdiff_t stride)
{
    FrameView view;
    view.format = PixelFormat::Packed4;
    view.width = width;
    view.height = height;
    view.planes[0] = {pixels, stride != 0 ? stride : std::ptrdiff_t{width} * kPacked4Bytes};
    return view;
}

FrameView FrameView::packed3(std::uint8_t* pixels, int width, int height, std::ptrdiff_t stride)
{
    FrameView view;
    view.format = PixelFormat::Packed3;
    view.width = width;
    view.height = height;
    view.planes[0] = {pixels, stride != 0 ? stride : std::ptrdiff_t{width} * kPacked3Bytes};
    return view;
}

FrameView FrameView::i420(int width, int height, Plane y, Plane u, Plane v)
{
    FrameView view;
    view.format = PixelFormat::I420;
    view.width = width;
    view.height = height;
    view.planes = {y, u, v};
    return view;
}

FrameView FrameView::nv12(int width, int height, Plane y, Plane uv)
{
    FrameView view;
    view.format = PixelFormat::NV12;
    view.width = width;
    view.height = height;
    view.planes = {y, uv, Plane{}};
    return view;
}

int planeCount(PixelFormat format)
{
    switch (format) {
    case PixelFormat::Packed4:
    case PixelFormat::Packed3:
        return 1;
    case PixelFormat::I420:
        return 3;
    case PixelFormat::NV12:
        return 2;
    }
    return 0;
}

const char* formatName(PixelFormat format)
{
    switch (format) {
    case PixelFormat::Packed4:
        return "packed 4-byte";
    case PixelFormat::Packed3:
        return "packed 3-byte";
    case PixelFormat::I420:
        return "I420";
    case PixelFormat::NV12:
        return "NV12";
    }
    return "unknown";
}

PlaneLayout planeLayout(PixelFormat format, int plane, int width, int height, bool fullRange)
{
    if (format == PixelFormat::Packed4)
        return {width, height, kPacked4Bytes, 1, {0, 0, 0, 0}};
    if (format == PixelFormat::Packed3)
        return {width, height, kPacked3Bytes, 1, {0, 0, 0, 0}};
    if (plane == 0)
        return {width, height, 1, 1, {fullRange ? std::uint8_t{0} : kLimitedBlackLuma}};
    const int bytes = format == PixelFormat::NV12 ? kChromaPairBytes : 1;
    return {halfUp(width), halfUp(height), bytes, 2, {kNeutralChroma, kNeutralChroma}};
}

void checkFrame(const FrameView& frame, int width, int height, const char* role)
{
    const std::string what = role;
    const int planes = planeCount(frame.format);
    if (planes == 0)
        throw std::invalid_argument(what + ": unknown pixel format " +
                                    std::to_string(static_cast<int>(frame.format)));
    if (frame.width != width || frame.height != height)
        throw std::invalid_argument(what + " is " + std::to_string(frame.width) + "x" +
                                    std::to_string(frame.height) + " pixels, the stabiliser takes " +
                                    std::to_string(width) + "x" + std::to_string(height));
    for (int p = 0; p < planes; ++p) {
        const Plane& plane = frame.planes[p];
        const PlaneLayout layout = planeLayout(frame.format, p, width, height, false);
        const std::int64_t rowBytes = std::int64_t{layout.width} * layout.bytesPerPixel;
        if (plane.data == nullptr)
            throw std::invalid_argument(what + ": plane " + std::to_string(p) + " of the " +
                                        formatName(frame.format) + " frame has no data");
        if (std::llabs(plane.stride) < rowBytes)
            throw std::invalid_argument(what + ": plane " + std::to_string(p) + " stride " +
                                        std::to_string(plane.stride) + " is shorter than its " +
                                        std::to_string(rowBytes) + "-byte rows");
    }
}

}  // namespace regviafft
