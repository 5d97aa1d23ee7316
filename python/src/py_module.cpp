// The compiled half of the Python module regviafft's stabiliser: frames from
// numpy, the option table and the motion record. It links the stabiliser
// library alone; the file job is the separate module _regviafft_video.
#include <pybind11/pybind11.h>

#include "py_keywords.h"
#include "py_motion_record.h"
#include "py_stabilizer.h"
#include "regviafft/options.h"

namespace py = pybind11;

PYBIND11_MODULE(_regviafft, m)
{
    m.doc() = "Video stabilisation by phase correlation (compiled part of regviafft)";
    m.attr("__version__") = REGVIAFFT_VERSION;
    regviafft_python::translateSettingsErrors();
    regviafft_python::declareMotionRecord(m);
    regviafft_python::declareStabilizer(m);
    m.attr("STABILIZER_OPTIONS") =
        regviafft_python::describeKeywords(regviafft::settingsOptions(), regviafft::Settings{});
}
