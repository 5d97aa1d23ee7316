// The compiled file job of the Python module regviafft: stabilize_file and
// its keywords. A module of its own, so that the stabiliser's numpy API
// needs none of FFmpeg's libraries; regviafft loads it on first use.
#include <pybind11/pybind11.h>

#include <exception>

extern "C" {
#include <libavutil/log.h>
}

#include "av_handles.h"
#include "batch_options.h"
#include "job_options.h"
#include "output_files.h"
#include "py_keywords.h"
#include "py_stabilize_file.h"

namespace py = pybind11;

namespace {

// The typed value `text` spells for a keyword of either table, as
// regviafft-stabilize reads it.
py::object parseOption(const std::string& keyword, const std::string& text)
{
    py::object value = regviafft_python::parseKeyword(regviafft::settingsOptions(), keyword, text);
    if (!value)
        value = regviafft_python::parseKeyword(video::jobOptions(), keyword, text);
    if (!value)
        regviafft_python::unknownKeyword(keyword);
    return value;
}

}  // namespace

PYBIND11_MODULE(_regviafft_video, m)
{
    m.doc() = "Video files through the stabiliser (compiled part of regviafft.stabilize_file)";
    // The motion record's type comes from the stabiliser's module.
    py::module_::import("regviafft._regviafft");
    // The video libraries speak through the module's exceptions only.
    av_log_set_level(AV_LOG_QUIET);
    regviafft_python::translateSettingsErrors();
    py::register_exception_translator([](std::exception_ptr thrown) {
        try {
            if (thrown)
                std::rethrow_exception(thrown);
        } catch (const video::ExistingOutput& e) {
            const py::object error = py::module_::import("regviafft").attr("Error");
            PyErr_SetString(error.ptr(), (e.path() + " exists; pass overwrite=True to replace it").c_str());
        } catch (const video::Failure& e) {
            const py::object error = py::module_::import("regviafft").attr("Error");
            PyErr_SetString(error.ptr(), e.what());
        } catch (const regviafft::OptionError& e) {
            // An encoder setting or a file name the job refuses, under its keyword.
            PyErr_SetString(PyExc_ValueError, (regviafft_python::keywordOf(e.name()) + ": " + e.rule()).c_str());
        }
    });
    regviafft_python::declareStabilizeFile(m);
    m.attr("FILE_OPTIONS") = regviafft_python::describeKeywords(video::jobOptions(), video::JobOptions{});
    m.attr("BATCH_OPTIONS") = regviafft_python::describeKeywords(video::batchOptions(), video::BatchOptions{});
    m.def("_parse_option", &parseOption, py::arg("keyword"), py::arg("text"),
          "the typed value that text spells for the keyword, as regviafft-stabilize reads it");
}
