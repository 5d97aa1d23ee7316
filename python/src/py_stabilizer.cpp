// regviafft._Stabilizer: the stabiliser object over numpy frames. The
// settings come as keyword arguments through the library's option table;
// the GIL is released while a frame is measured or rendered.
#include "py_stabilizer.h"

#include <pybind11/stl.h>

#include <string>
#include <vector>

#include "py_frames.h"
#include "py_motion_record.h"
#include "py_options.h"

namespace regviafft_python {

namespace py = pybind11;

namespace {

regviafft::Settings settingsFrom(const py::dict& keywords, int width, int height)
{
    regviafft::Settings settings = settingsFromKeywords(keywords);
    settings.width = width;
    settings.height = height;
    return settings;
}

class PyStabilizer {
public:
    PyStabilizer(int width, int height, const py::dict& keywords)
        : stabilizer_(settingsFrom(keywords, width, height))
    {
    }

    void push(py::handle frame, std::int64_t id)
    {
        std::vector<py::array> kept;
        const regviafft::FrameView view = frameView(frame, true, kept);
        py::gil_scoped_release released;
        stabilizer_.push(view, id);
    }

    // The next final record, or None while the stabiliser needs more frames.
    py::object pull()
    {
        Record record;
        regviafft::Pull pulled;
        {
            py::gil_scoped_release released;
            pulled = stabilizer_.pull(record.record);
        }
        return pulled == regviafft::Pull::Ready ? py::cast(record) : py::none();
    }

    void render(const Record& record, py::handle input, py::handle output)
    {
        std::vector<py::array> kept;
        const regviafft::FrameView in = frameView(input, true, kept);
        const regviafft::FrameView out = frameView(output, false, kept);
        py::gil_scoped_release released;
        stabilizer_.render(record.record, in, out);
    }

    void finish() { stabilizer_.finish(); }
    void reset() { stabilizer_.reset(); }
    int latency() const { return stabilizer_.latency(); }
    py::dict settings() const;

private:
    regviafft::Stabilizer stabilizer_;
};

// The frame size, then every option as its keyword.
py::dict PyStabilizer::settings() const
{
    const regviafft::Settings s = stabilizer_.settings();
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
        .def("push", &PyStabilizer::push, py::arg("frame"), py::arg("id"))
        .def("pull", &PyStabilizer::pull)
        .def("render", &PyStabilizer::render, py::arg("record"), py::arg("frame"), py::arg("out"))
        .def("finish", &PyStabilizer::finish)
        .def("reset", &PyStabilizer::reset)
        .def_property_readonly("latency", &PyStabilizer::latency)
        .def_property_readonly("settings", &PyStabilizer::settings);
}

}  // namespace regviafft_python
