// The file job as the command line runs it, with the GIL released for the
// whole run; its records come back with their frames' times.
#include "py_stabilize_file.h"

#include <pybind11/stl.h>

#include <string>
#include <vector>

#include "py_keywords.h"
#include "py_motion_record.h"
#include "stabilize_file.h"

namespace regviafft_python {

namespace py = pybind11;

namespace {

// A file job from the stabiliser's keywords and the job's own.
video::JobOptions jobFromKeywords(const py::dict& keywords)
{
    video::JobOptions job;
    for (const auto& [key, value] : keywords) {
        const std::string keyword = key.cast<std::string>();
        if (const auto* option = optionOfKeyword(regviafft::settingsOptions(), keyword))
            applyKeyword(*option, job.settings, value);
        else if (const auto* own = optionOfKeyword(video::jobOptions(), keyword))
            applyKeyword(*own, job, value);
        else
            unknownKeyword(keyword);
    }
    return job;
}

py::tuple stabilizeFile(const std::string& input, const std::string& output, const py::dict& keywords)
{
    const video::JobOptions job = jobFromKeywords(keywords);
    video::JobReport report;
    {
        py::gil_scoped_release released;
        video::Progress progress(video::Progress::styleFor(job.quiet));
        report = video::stabilizeFile(input, output, job, progress);
    }
    std::vector<Record> records;
    records.reserve(report.log.size());
    for (const video::FrameLog& entry : report.log)
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
