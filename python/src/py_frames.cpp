// Reading numpy arrays as planes.
#include "py_frames.h"

#include <string>

namespace regviafft_python {
namespace {

using regviafft::FrameView;
using regviafft::Plane;
using regviafft::PixelFormat;

// The array as uint8 with `channels` contiguous bytes per pixel (a copy when
// needed and allowed), and its plane.
Plane planeOf(py::handle object, int dimensions, int channels, bool copyAllowed,
              std::vector<py::array>& kept, const char* name)
{
    py::array array = py::array::ensure(object);
    if (!array || !array.dtype().is(py::dtype::of<std::uint8_t>()))
        throw py::value_error(std::string(name) + " must be a numpy array of uint8");
    if (array.ndim() != dimensions)
        throw py::value_error(std::string(name) + " must have " + std::to_string(dimensions) +
                              " dimensions, not " + std::to_string(array.ndim()));
    const bool pixelsContiguous =
        array.strides(1) == channels && (dimensions == 2 || array.strides(2) == 1);
    if (!pixelsContiguous) {
        if (!copyAllowed)
            throw py::value_error(std::string(name) + " must hold each row's pixels contiguously");
        array = py::array_t<std::uint8_t, py::array::c_style | py::array::forcecast>::ensure(array);
    }
    // Outputs are written; inputs are only read, whatever numpy says of them.
    if (!copyAllowed && !array.writeable())
        throw py::value_error(std::string(name) + " is read-only");
    kept.push_back(array);
    return {const_cast<std::uint8_t*>(static_cast<const std::uint8_t*>(array.data())), array.strides(0)};
}

int columnsOf(py::handle object)
{
    return static_cast<int>(py::array::ensure(object).shape(1));
}

int rowsOf(py::handle object)
{
    return static_cast<int>(py::array::ensure(object).shape(0));
}

}  // namespace

FrameView frameView(py::handle frame, bool copyAllowed, std::vector<py::array>& kept)
{
    if (py::isinstance<py::tuple>(frame) || py::isinstance<py::list>(frame)) {
        const py::sequence planes = py::reinterpret_borrow<py::sequence>(frame);
        if (planes.size() == 3) {
            const Plane y = planeOf(planes[0], 2, 1, copyAllowed, kept, "the y plane");
            const Plane u = planeOf(planes[1], 2, 1, copyAllowed, kept, "the u plane");
            const Plane v = planeOf(planes[2], 2, 1, copyAllowed, kept, "the v plane");
            return FrameView::i420(columnsOf(planes[0]), rowsOf(planes[0]), y, u, v);
        }
        if (planes.size() == 2) {
            const Plane y = planeOf(planes[0], 2, 1, copyAllowed, kept, "the y plane");
            const Plane uv = planeOf(planes[1], 3, 2, copyAllowed, kept, "the uv plane");
            return FrameView::nv12(columnsOf(planes[0]), rowsOf(planes[0]), y, uv);
        }
        throw py::value_error("a planar frame is (y, u, v) for I420 or (y, uv) for NV12");
    }
    const py::array array = py::array::ensure(frame);
    if (!array || array.ndim() != 3 || (array.shape(2) != 3 && array.shape(2) != 4))
        throw py::value_error("a packed frame is an H x W x 4 or H x W x 3 uint8 array");
    const int channels = static_cast<int>(array.shape(2));
    const Plane pixels = planeOf(frame, 3, channels, copyAllowed, kept, "the frame");
    return channels == 4 ? FrameView::packed(pixels.data, columnsOf(frame), rowsOf(frame), pixels.stride)
                         : FrameView::packed3(pixels.data, columnsOf(frame), rowsOf(frame), pixels.stride);
}

}  // namespace regviafft_python
