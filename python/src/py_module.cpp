// The compiled half of the Python module regviafft; the package's
// __init__.py gives it its keyword arguments.
#include <pybind11/pybind11.h>

#include <exception>
#include <stdexcept>

extern "C" {
#include <libavutil/log.h>
}

#include "av_handles.h"
#include "options.h"
#include "py_motion_record.h"
#include "py_stabilize_file.h"
#include "py_stabilizer.h"

namespace py = pybind11;

PYBIND11_MODULE(_regviafft, m)
{
    m.doc() = "Video stabilisation by phase correlation (compiled part of regviafft)";
    // The video libraries speak through the module's exceptions only.
    av_log_set_level(AV_LOG_QUIET);
    // A bad option or value is a ValueError, as std::invalid_argument is.
    py::register_exception<stabilize::UsageError>(m, "_UsageError", PyExc_ValueError);
    py::register_exception<stabilize::Failure>(m, "Error", PyExc_RuntimeError);
    // A setting the library refuses is named by its option, as on the command line.
    py::register_exception_translator([](std::exception_ptr thrown) {
        try {
            if (thrown)
                std::rethrow_exception(thrown);
        } catch (const std::invalid_argument& e) {
            PyErr_SetString(PyExc_ValueError, stabilize::optionForSetting(e.what()).c_str());
        }
    });
    regviafft_python::declareMotionRecord(m);
    regviafft_python::declareStabilizer(m);
    regviafft_python::declareStabilizeFile(m);
}
