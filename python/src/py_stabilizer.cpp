// regviafft._Stabilizer: the stabiliser object over numpy frames. The
// settings come as the command line's arguments, so that every option is
// named, checked and defaulted as there; the GIL is released while a frame
// is measured or rendered.
#include "py_stabilizer.h"

#include <pybind11/stl.h>

#include <string>
#include <vector>

#include "options.h"
#include "py_frames.h"
#include "py_motion_record.h"

namespace regviafft_python {

namespace py = pybind11;

namespace {

regviafft::Settings settingsFrom(const std::vector<std::string>& arguments, int width, int height)
{
    regviafft::Settings settings = stabilize::parseOptions(arguments).job.settings;
    settings.width = width;
    settings.height = height;
    return settings;
}

class PyStabilizer {
public:
    PyStabilizer(const std::vector<std::string>& arguments, int width, int height)
        : stabilizer_(settingsFrom(arguments, width, height))
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

const char* modeName(regviafft::PathMode mode)
{
    switch (mode) {
    case regviafft::PathMode::Design:
        return "design";
    case regviafft::PathMode::Causal:
        return "causal";
    case regviafft::PathMode::Lag:
        return "lag";
    }
    return "";
}

const char* borderName(regviafft::Border border)
{
    switch (border) {
    case regviafft::Border::Black:
        return "black";
    case regviafft::Border::Edge:
        return "edge";
    case regviafft::Border::Crop:
        return "crop";
    }
    return "";
}

py::dict PyStabilizer::settings() const
{
    const regviafft::Settings& s = stabilizer_.settings();
    py::dict d;
    d["width"] = s.width;
    d["height"] = s.height;
    d["mode"] = modeName(s.mode);
    d["lag"] = s.lag;
    d["smoothness"] = *s.smoothness;
    d["budget"] = s.budgetPercent;
    d["border"] = borderName(s.border);
    d["whole_pixel"] = s.wholePixel;
    d["template_size"] = py::make_tuple(*s.templateWidth, *s.templateHeight);
    d["templates"] = *s.templateCount;
    d["divisor"] = *s.divisor;
    d["margins"] = py::make_tuple(*s.marginX, *s.marginY);
    d["window"] = s.windowLength;
    d["steady_threshold"] = s.steadyThreshold;
    return d;
}

}  // namespace

void declareStabilizer(py::module_& m)
{
    py::class_<PyStabilizer>(m, "_Stabilizer")
        .def(py::init<const std::vector<std::string>&, int, int>(), py::arg("arguments"),
             py::arg("width"), py::arg("height"))
        .def("push", &PyStabilizer::push, py::arg("frame"), py::arg("id"))
        .def("pull", &PyStabilizer::pull)
        .def("render", &PyStabilizer::render, py::arg("record"), py::arg("frame"), py::arg("out"))
        .def("finish", &PyStabilizer::finish)
        .def("reset", &PyStabilizer::reset)
        .def_property_readonly("latency", &PyStabilizer::latency)
        .def_property_readonly("settings", &PyStabilizer::settings);
}

}  // namespace regviafft_python
