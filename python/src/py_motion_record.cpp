// regviafft.MotionRecord: a read-only attribute for each field of the
// library's record field table, the host's id and time, and the templates'
// own measurements as dicts of the template field table.
#include "py_motion_record.h"

#include <pybind11/stl.h>

#include <cmath>
#include <string>
#include <vector>

#include "regviafft/record_fields.h"

namespace regviafft_python {

namespace py = pybind11;

namespace {

template <typename Struct>
py::object fieldValue(const regviafft::FieldOf<Struct>& field, const Struct& value)
{
    switch (field.type()) {
    case regviafft::FieldType::Integer:
        return py::int_(field.integer(value));
    case regviafft::FieldType::Number:
        return py::float_(field.number(value));
    case regviafft::FieldType::Truth:
        break;
    }
    return py::bool_(field.truth(value));
}

py::list templatesOf(const Record& r)
{
    py::list templates;
    for (int k = 0; k < r.record.templateCount; ++k) {
        py::dict d;
        for (const regviafft::TemplateField& field : regviafft::templateFields())
            d[field.name()] = fieldValue(field, r.record.templates[k]);
        templates.append(d);
    }
    return templates;
}

// The host's own fields first, then the record's.
py::dict asDict(const Record& r)
{
    py::dict d;
    d["id"] = r.record.id;
    d["time"] = r.time;
    for (const regviafft::RecordField& field : regviafft::recordFields())
        d[field.name()] = fieldValue(field, r.record);
    return d;
}

const char* typeName(regviafft::FieldType type)
{
    switch (type) {
    case regviafft::FieldType::Integer:
        return "integer";
    case regviafft::FieldType::Number:
        return "number";
    case regviafft::FieldType::Truth:
        break;
    }
    return "truth";
}

}  // namespace

void declareMotionRecord(py::module_& m)
{
    py::class_<Record> record(m, "MotionRecord",
                              "What the stabiliser measured and decided for one frame. Motions are "
                              "the shift that brings the frame back onto the previous one, in "
                              "full-resolution pixels; the frame is rendered moved by the correction. "
                              "Its fields are those of RECORD_FIELDS, with the host's id and time.");
    record.def_property_readonly("id", [](const Record& r) { return r.record.id; }, "the id the frame was pushed with")
        .def_property_readonly("time", [](const Record& r) { return r.time; },
                               "presentation time in seconds; nan for frames pushed by hand")
        .def_property_readonly("templates", &templatesOf,
                               "each template's measurement: a dict of the fields of TEMPLATE_FIELDS");
    py::list described;
    for (const regviafft::RecordField& field : regviafft::recordFields()) {
        record.def_property_readonly(field.name(), [field](const Record& r) { return fieldValue(field, r.record); });
        described.append(py::make_tuple(field.name(), typeName(field.type())));
    }
    m.attr("RECORD_FIELDS") = described;
    py::list templateDescribed;
    for (const regviafft::TemplateField& field : regviafft::templateFields())
        templateDescribed.append(py::make_tuple(field.name(), typeName(field.type())));
    m.attr("TEMPLATE_FIELDS") = templateDescribed;
    record.def("to_dict", &asDict, "the record as a plain dict of its attributes, the templates left out")
        .def("__repr__", [](const Record& r) {
            char text[160];
            std::snprintf(text, sizeof text, "MotionRecord(index=%lld, motion=(%.3f, %.3f), correction=(%.3f, %.3f)%s)",
                          static_cast<long long>(r.record.index), r.record.motionX, r.record.motionY,
                          r.record.correctionX, r.record.correctionY, r.record.cut ? ", cut" : "");
            return std::string(text);
        });
}

}  // namespace regviafft_python
