// The compiled half of the Python module regviafft; the package's
// __init__.py wraps it.
#include <pybind11/pybind11.h>

#include <exception>
#include <stdexcept>

extern "C" {
#include <libavutil/log.h>
}

#include "av_handles.h"
#include "py_motion_record.h"
#include "py_options.h"
#include "py_stabilize_file.h"
#include "py_stabilizer.h"

namespace py = pybind11;

PYBIND11_MODULE(_regviafft, m)
{
    m.doc() = "Video stabilisation by phase correlation (compiled part of regviafft)";
    // The video libraries speak through the module's exceptions only.
    av_log_set_level(AV_LOG_QUIET);
    py::register_exception<stabilize::Failure>(m, "Error", PyExc_RuntimeError);
    // A setting the library refuses is a ValueError naming its keyword.
    py::register_exception_translator([](std::exception_ptr thrown) {
        try {
            if (thrown)
                std::rethrow_exception(thrown);
        } catch (const regviafft::SettingsError& e) {
            const auto option = regviafft::asOptionError(e);
            const std::string message = option ? regviafft_python::keywordOf(option->name()) + ": " + option->rule()
                                                : std::string(e.what());
            PyErr_SetString(PyExc_ValueError, message.c_str());
        }
    });
    regviafft_python::declareMotionRecord(m);
    regviafft_python::declareStabilizer(m);
    regviafft_python::declareStabilizeFile(m);
    regviafft_python::declareOptions(m);
}
