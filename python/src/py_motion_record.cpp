// regviafft.MotionRecord: read-only attributes named as the motion table's
// columns, and the templates' own shifts as (x, y, peak) tuples.
#include "py_motion_record.h"

#include <pybind11/stl.h>

#include <cmath>
#include <string>
#include <vector>

namespace regviafft_python {

namespace py = pybind11;

namespace {

std::vector<py::tuple> templatesOf(const Record& r)
{
    std::vector<py::tuple> templates;
    for (int k = 0; k < r.record.templateCount; ++k) {
        const regviafft::TemplateMotion& t = r.record.templates[k];
        templates.push_back(py::make_tuple(t.x, t.y, t.peak));
    }
    return templates;
}

py::dict asDict(const Record& r)
{
    const regviafft::MotionRecord& m = r.record;
    py::dict d;
    d["index"] = m.index;
    d["id"] = m.id;
    d["time"] = r.time;
    d["analysed"] = m.analysed;
    d["cut"] = m.cut;
    d["motion_x"] = m.motionX;
    d["motion_y"] = m.motionY;
    d["whole_motion_x"] = m.wholeMotionX;
    d["whole_motion_y"] = m.wholeMotionY;
    d["peak"] = m.peak;
    d["votes"] = m.votes;
    d["template_count"] = m.templateCount;
    d["path_x"] = m.pathX;
    d["path_y"] = m.pathY;
    d["correction_x"] = m.correctionX;
    d["correction_y"] = m.correctionY;
    return d;
}

}  // namespace

void declareMotionRecord(py::module_& m)
{
    py::class_<Record>(m, "MotionRecord",
                       "What the stabiliser measured and decided for one frame. Motions are "
                       "the shift that brings the frame back onto the previous one, in "
                       "full-resolution pixels; the frame is rendered moved by the correction.")
        .def_property_readonly("index", [](const Record& r) { return r.record.index; })
        .def_property_readonly("id", [](const Record& r) { return r.record.id; })
        .def_property_readonly("time", [](const Record& r) { return r.time; },
                               "presentation time in seconds; nan for frames pushed by hand")
        .def_property_readonly("analysed", [](const Record& r) { return r.record.analysed; })
        .def_property_readonly("cut", [](const Record& r) { return r.record.cut; })
        .def_property_readonly("motion_x", [](const Record& r) { return r.record.motionX; })
        .def_property_readonly("motion_y", [](const Record& r) { return r.record.motionY; })
        .def_property_readonly("whole_motion_x", [](const Record& r) { return r.record.wholeMotionX; })
        .def_property_readonly("whole_motion_y", [](const Record& r) { return r.record.wholeMotionY; })
        .def_property_readonly("peak", [](const Record& r) { return r.record.peak; })
        .def_property_readonly("votes", [](const Record& r) { return r.record.votes; })
        .def_property_readonly("template_count", [](const Record& r) { return r.record.templateCount; })
        .def_property_readonly("templates", &templatesOf, "each template's (x, y, peak)")
        .def_property_readonly("path_x", [](const Record& r) { return r.record.pathX; })
        .def_property_readonly("path_y", [](const Record& r) { return r.record.pathY; })
        .def_property_readonly("correction_x", [](const Record& r) { return r.record.correctionX; })
        .def_property_readonly("correction_y", [](const Record& r) { return r.record.correctionY; })
        .def("to_dict", &asDict, "the record as a plain dict of its attributes, the templates left out")
        .def("__repr__", [](const Record& r) {
            char text[160];
            std::snprintf(text, sizeof text, "MotionRecord(index=%lld, motion=(%.3f, %.3f), correction=(%.3f, %.3f)%s)",
                          static_cast<long long>(r.record.index), r.record.motionX, r.record.motionY,
                          r.record.correctionX, r.record.correctionY, r.record.cut ? ", cut" : "");
            return std::string(text);
        });
}

}  // namespace regviafft_python
