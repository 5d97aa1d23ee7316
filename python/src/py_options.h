// The option tables as keyword arguments: typed Python values in through the
// tables' typed setters, typed values out, and each option described for the
// docstrings. A keyword is the option's name with '_' for '-'.
#ifndef REGVIAFFT_PYTHON_OPTIONS_H
#define REGVIAFFT_PYTHON_OPTIONS_H

#include <pybind11/pybind11.h>

#include <string>

#include "job_options.h"
#include "regviafft/options.h"

namespace regviafft_python {

namespace py = pybind11;

std::string keywordOf(const std::string& optionName);

// The option a keyword names in the table, or null.
template <typename Target>
const regviafft::Option<Target>* optionOfKeyword(const regviafft::OptionTable<Target>& table,
                                                 const std::string& keyword);

// Sets the option from a Python value of its kind (bool, int, float, str,
// a 2-tuple of int); None leaves the default. Throws ValueError naming the
// keyword for a value of the wrong type or out of range.
template <typename Target>
void applyKeyword(const regviafft::Option<Target>& option, Target& target, py::handle value);

// The option's value as a Python value of its kind; None when unset.
template <typename Target>
py::object keywordValue(const regviafft::Option<Target>& option, const Target& target);

// Settings from the stabiliser's keywords; TypeError for a keyword it has not.
regviafft::Settings settingsFromKeywords(const py::dict& keywords);
// A file job from the stabiliser's and the job's keywords.
stabilize::JobOptions jobFromKeywords(const py::dict& keywords);

// STABILIZER_OPTIONS, FILE_OPTIONS and _parse_option.
void declareOptions(py::module_& m);

}  // namespace regviafft_python

#endif
