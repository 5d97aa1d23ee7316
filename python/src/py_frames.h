// numpy arrays as frame views: packed pixels (H x W x 4 or 3), I420 as a
// tuple (y, u, v) and NV12 as a tuple (y, uv), read in place whenever their
// rows hold contiguous pixels.
#ifndef REGVIAFFT_PYTHON_FRAMES_H
#define REGVIAFFT_PYTHON_FRAMES_H

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <vector>

#include "regviafft/stabilizer.h"

namespace regviafft_python {

namespace py = pybind11;

// A view of the frame's arrays. Arrays whose pixels are not laid out
// contiguously within a row are copied into `kept` when `copyAllowed`, and
// refused with ValueError otherwise (an output must be written in place).
// Call with the GIL held; the arrays in `kept` keep the view's memory alive.
regviafft::FrameView frameView(py::handle frame, bool copyAllowed, std::vector<py::array>& kept);

}  // namespace regviafft_python

#endif
