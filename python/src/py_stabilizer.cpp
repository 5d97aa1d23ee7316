// regviafft._Stabilizer: the stabiliser and the frames it holds, over numpy
// frames. The settings come as keyword arguments through the library's
// option table; the GIL is released while a frame is measured or rendered.
#include "py_stabilizer.h"

#include <pybind11/stl.h>

#include <string>
#include <utility>
#include <vector>

#include "py_frames.h"
#include "py_motion_record.h"
#include "py_keywords.h"
#include "regviafft/frame_queue.h"
#include "regviafft/options.h"

namespace regviafft_python {

namespace py = pybind11;

namespace {

regviafft::Settings settingsFrom(const py::dict& keywords, int width, int height)
{
    regviafft::Settings settings;
    applyKeywords(regviafft::settingsOptions(), keywords, settings);
    settings.width = width;
    settings.height = height;
    return settings;
}

// A frame the queue holds: the arrays pushed (or copies of them) and the id
// its record carries. Let go with the GIL held, wherever the queue lets go.
struct HeldFrame {
    py::object arrays;
    std::int64_t id = 0;

    HeldFrame() = default;
    HeldFrame(py::object held, std::int64_t frameId) : arrays(std::move(held)), id(frameId) {}
    HeldFrame(HeldFrame&&) = default;
    HeldFrame& operator=(HeldFrame&& other) noexcept
    {
        py::gil_scoped_acquire gil;
        arrays = std::move(other.arrays);
        id = other.id;
        return *this;
    }
    ~HeldFrame()
    {
        if (arrays) {
            py::gil_scoped_acquire gil;
            arrays = py::object();
        }
    }
};

// A copy of every array of the frame (one array, or a tuple of planes).
py::object copyOf(py::handle frame)
{
    const py::object copy = py::module_::import("numpy").attr("array");
    if (py::isinstance<py::tuple>(frame) || py::isinstance<py::list>(frame)) {
        py::list planes;
        for (py::handle plane : py::reinterpret_borrow<py::sequence>(frame))
            planes.append(copy(plane, py::arg("copy") = true));
        return py::tuple(planes);
    }
    return copy(frame, py::arg("copy") = true);
}

class PyStabilizer {
public:
    PyStabilizer(int width, int height, const py::dict& keywords)
        : queue_(settingsFrom(keywords, width, height))
    {
    }

    // Measures the frame and holds it (a copy, unless the caller promises to
    // leave it unchanged) until its record is out.
    void push(py::handle frame, std::int64_t id, bool copy)
    {
        HeldFrame held(copy ? copyOf(frame) : py::reinterpret_borrow<py::object>(frame), id);
        std::vector<py::array> kept;
        const regviafft::FrameView view = frameView(held.arrays, true, kept);
        py::gil_scoped_release released;
        queue_.push(view, std::move(held));
    }

    // The next final record with the frame it was pushed with, or None while
    // more frames are needed.
    py::object pull()
    {
        Record record;
        HeldFrame frame;
        if (!queue_.pull(record.record, frame))
            return py::none();
        record.record.id = frame.id;
        return py::make_tuple(record, frame.arrays);
    }

    void render(const Record& record, py::handle input, py::handle output)
    {
        std::vector<py::array> kept;
        const regviafft::FrameView in = frameView(input, true, kept);
        const regviafft::FrameView out = frameView(output, false, kept);
        py::gil_scoped_release released;
        queue_.stabilizer().render(record.record, in, out);
    }

    void finish() { queue_.finish(); }
    void reset() { queue_.reset(); }
    int latency() const { return queue_.stabilizer().latency(); }
    py::dict settings() const;

private:
    regviafft::FrameQueue<HeldFrame> queue_;
};

// The frame size, then every option as its keyword.
py::dict PyStabilizer::settings() const
{
    const regviafft::Settings s = queue_.stabilizer().settings();
    py::dict d;
    d["width"] = s.width;
    d["height"] = s.height;
    for (const regviafft::Option<regviafft::Settings>& option : regviafft::settingsOptions())
        d[py::str(keywordOf(option.name))] = keywordValue(option, s);
    return d;
}

}  // namespace

void declareStabilizer(py::module_& m)
{
    py::class_<PyStabilizer>(m, "_Stabilizer")
        .def(py::init<int, int, const py::dict&>(), py::arg("width"), py::arg("height"),
             py::arg("options"))
        .def("push", &PyStabilizer::push, py::arg("frame"), py::arg("id"), py::arg("copy"))
        .def("pull", &PyStabilizer::pull)
        .def("render", &PyStabilizer::render, py::arg("record"), py::arg("frame"), py::arg("out"))
        .def("finish", &PyStabilizer::finish)
        .def("reset", &PyStabilizer::reset)
        .def_property_readonly("latency", &PyStabilizer::latency)
        .def_property_readonly("settings", &PyStabilizer::settings);
}

}  // namespace regviafft_python
