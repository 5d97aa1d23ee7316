// regviafft._Stabilizer, the stabiliser object for numpy frames.
#ifndef REGVIAFFT_PYTHON_STABILIZER_H
#define REGVIAFFT_PYTHON_STABILIZER_H

#include <pybind11/pybind11.h>

namespace regviafft_python {

void declareStabilizer(pybind11::module_& m);

}  // namespace regviafft_python

#endif
