// The motion record as a Python object.
#ifndef REGVIAFFT_PYTHON_MOTION_RECORD_H
#define REGVIAFFT_PYTHON_MOTION_RECORD_H

#include <pybind11/pybind11.h>

#include <limits>

#include "regviafft/stabilizer.h"

namespace regviafft_python {

// A record and, for records of a file, its frame's presentation time.
struct Record {
    regviafft::MotionRecord record;
    double time = std::numeric_limits<double>::quiet_NaN();  // seconds; NaN when not known
};

void declareMotionRecord(pybind11::module_& m);

}  // namespace regviafft_python

#endif
