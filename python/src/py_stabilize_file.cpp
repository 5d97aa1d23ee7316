// The file job as the command line runs it, with the GIL released for the
// whole run; its records come back with their frames' times.
#include "py_stabilize_file.h"

#include <pybind11/stl.h>

#include <string>
#include <vector>

#include "py_motion_record.h"
#include "py_options.h"
#include "stabilize_file.h"

namespace regviafft_python {

namespace py = pybind11;

namespace {

py::tuple stabilizeFile(const std::string& input, const std::string& output, const py::dict& keywords)
{
    const stabilize::JobOptions job = jobFromKeywords(keywords);
    stabilize::JobReport report;
    {
        py::gil_scoped_release released;
        stabilize::Progress progress(stabilize::Progress::styleFor(job.quiet));
        report = stabilize::stabilizeFile(input, output, job, progress);
    }
    std::vector<Record> records;
    records.reserve(report.log.size());
    for (const stabilize::FrameLog& entry : report.log)
        records.push_back({entry.record, entry.seconds});
    py::dict summary;
    summary["frames"] = report.frames;
    summary["width"] = report.width;
    summary["height"] = report.height;
    summary["seconds"] = report.seconds;
    summary["refused_packets"] = report.refusedPackets;
    summary["early_end"] = report.earlyEnd;
    return py::make_tuple(records, summary);
}

}  // namespace

void declareStabilizeFile(py::module_& m)
{
    m.def("_stabilize_file", &stabilizeFile, py::arg("input"), py::arg("output"), py::arg("options"));
}

}  // namespace regviafft_python
