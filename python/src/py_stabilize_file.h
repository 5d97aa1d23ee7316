// regviafft._stabilize_file: the command line's file job.
#ifndef REGVIAFFT_PYTHON_STABILIZE_FILE_H
#define REGVIAFFT_PYTHON_STABILIZE_FILE_H

#include <pybind11/pybind11.h>

namespace regviafft_python {

void declareStabilizeFile(pybind11::module_& m);

}  // namespace regviafft_python

#endif
