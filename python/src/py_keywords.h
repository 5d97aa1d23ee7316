// The option tables as keyword arguments: typed Python values in through the
// tables' typed setters, typed values out, and each option described for the
// docstrings. A keyword is the option's name with '_' for '-'. Both compiled
// modules (the stabiliser's and the file job's) take their keywords so.
#ifndef REGVIAFFT_PYTHON_KEYWORDS_H
#define REGVIAFFT_PYTHON_KEYWORDS_H

#include <pybind11/pybind11.h>

#include <algorithm>
#include <climits>
#include <exception>
#include <string>
#include <utility>

#include "regviafft/option.h"
#include "regviafft/options.h"

namespace regviafft_python {

namespace py = pybind11;

inline std::string keywordOf(const std::string& optionName)
{
    std::string keyword = optionName;
    std::replace(keyword.begin(), keyword.end(), '-', '_');
    return keyword;
}

[[noreturn]] inline void unknownKeyword(const std::string& keyword)
{
    throw py::type_error("unexpected keyword argument '" + keyword + "'");
}

using regviafft::Option;
using regviafft::OptionKind;
using regviafft::OptionTable;

[[noreturn]] inline void refuse(const char* optionName, const std::string& rule)
{
    throw py::value_error(keywordOf(optionName) + ": " + rule);
}

// The values a keyword takes, in Python's terms where they differ.
inline std::string pythonValues(const regviafft::OptionRule& rule)
{
    if (rule.kind == OptionKind::Switch)
        return "True or False";
    if (rule.kind == OptionKind::Pair)
        return "a 2-tuple of " + regviafft::describeRule(rule);
    return regviafft::describeRule(rule);
}

template <typename Target>
[[noreturn]] void wrongType(const Option<Target>& option, py::handle value)
{
    refuse(option.name, "must be " + pythonValues(option.rule) + ", got " + py::repr(value).template cast<std::string>());
}

// An int, not a bool (which Python counts as one); numpy's integers too.
inline bool isWhole(py::handle value)
{
    return PyIndex_Check(value.ptr()) && !PyBool_Check(value.ptr());
}

inline long long wholeOf(py::handle value)
{
    int overflow = 0;
    const long long whole = PyLong_AsLongLongAndOverflow(py::int_(py::reinterpret_borrow<py::object>(value)).ptr(),
                                                         &overflow);
    // Beyond long long is beyond every range: refused by the range check.
    return overflow > 0 ? LLONG_MAX : overflow < 0 ? LLONG_MIN : whole;
}

inline int sideOf(py::handle value)
{
    return static_cast<int>(std::clamp<long long>(wholeOf(value), INT_MIN, INT_MAX));
}

template <typename Target>
regviafft::OptionValue typedValue(const Option<Target>& option, py::handle value)
{
    switch (option.rule.kind) {
    case OptionKind::Switch:
        if (PyBool_Check(value.ptr()))
            return value.cast<bool>();
        break;
    case OptionKind::WholeNumber:
        if (isWhole(value))
            return wholeOf(value);
        break;
    case OptionKind::Number:
        if (isWhole(value) || PyFloat_Check(value.ptr()))
            return py::float_(py::reinterpret_borrow<py::object>(value)).cast<double>();
        break;
    case OptionKind::Choice:
        if (py::isinstance<py::str>(value))
            return regviafft::parseValue(option.name, option.rule, value.cast<std::string>());
        break;
    case OptionKind::Pair:
        if (py::isinstance<py::tuple>(value) || py::isinstance<py::list>(value)) {
            const py::sequence sides = py::reinterpret_borrow<py::sequence>(value);
            if (sides.size() == 2 && isWhole(sides[0]) && isWhole(sides[1]))
                return std::make_pair(sideOf(sides[0]), sideOf(sides[1]));
        }
        break;
    case OptionKind::Text:
        if (py::isinstance<py::str>(value) || py::hasattr(value, "__fspath__"))
            return py::module_::import("os").attr("fspath")(value).cast<std::string>();
        break;
    }
    wrongType(option, value);
}

inline const char* typeName(OptionKind kind)
{
    switch (kind) {
    case OptionKind::Switch:
        return "bool";
    case OptionKind::WholeNumber:
        return "int";
    case OptionKind::Number:
        return "float";
    case OptionKind::Pair:
        return "tuple";
    case OptionKind::Choice:
    case OptionKind::Text:
        break;
    }
    return "str";
}

// The option's value as a Python value of its kind; None when unset.
template <typename Target>
py::object keywordValue(const Option<Target>& option, const Target& target)
{
    const regviafft::OptionValue value = option.value(target);
    if (std::holds_alternative<std::monostate>(value))
        return py::none();
    switch (option.rule.kind) {
    case OptionKind::Switch:
        return py::bool_(option.getBool(target));
    case OptionKind::WholeNumber:
        return py::int_(option.getInt(target));
    case OptionKind::Number:
        return py::float_(option.getDouble(target));
    case OptionKind::Pair: {
        const auto [first, second] = option.getPair(target);
        return py::make_tuple(first, second);
    }
    case OptionKind::Choice:
    case OptionKind::Text:
        break;
    }
    return py::str(option.text(target));
}

// What the docstrings say of each keyword: its type, help, values, default.
template <typename Target>
py::list describeKeywords(const OptionTable<Target>& table, const Target& defaults)
{
    py::list described;
    for (const Option<Target>& option : table) {
        py::dict d;
        d["keyword"] = keywordOf(option.name);
        d["type"] = typeName(option.rule.kind);
        d["help"] = option.help;
        const bool anyValue = option.rule.kind == OptionKind::Switch || option.rule.kind == OptionKind::Text;
        d["values"] = anyValue ? std::string() : pythonValues(option.rule);
        d["default"] = keywordValue(option, defaults);
        d["derived"] = option.derived;
        described.append(d);
    }
    return described;
}

// The option a keyword names in the table, or null.
template <typename Target>
const Option<Target>* optionOfKeyword(const OptionTable<Target>& table, const std::string& keyword)
{
    for (const Option<Target>& option : table)
        if (keyword == keywordOf(option.name))
            return &option;
    return nullptr;
}

// Sets the option from a Python value of its kind (bool, int, float, str,
// a 2-tuple of int); None leaves the default. Throws ValueError naming the
// keyword for a value of the wrong type or out of range.
template <typename Target>
void applyKeyword(const Option<Target>& option, Target& target, py::handle value)
{
    if (value.is_none())
        return;
    try {
        option.set(target, typedValue(option, value));
    } catch (const regviafft::OptionError& e) {
        refuse(option.name, e.rule());
    }
}

// The typed value `text` spells for the keyword, as the command line reads
// it; null when the table has no such keyword.
template <typename Target>
py::object parseKeyword(const OptionTable<Target>& table, const std::string& keyword,
                        const std::string& text)
{
    const Option<Target>* option = optionOfKeyword(table, keyword);
    if (option == nullptr)
        return py::object();
    Target target;
    try {
        option->parse(target, text);
    } catch (const regviafft::OptionError& e) {
        refuse(e.name().c_str(), e.rule());
    }
    return keywordValue(*option, target);
}

// The table's options from keyword arguments onto target; TypeError for a
// keyword it has not.
template <typename Target>
void applyKeywords(const OptionTable<Target>& table, const py::dict& keywords, Target& target)
{
    for (const auto& [key, value] : keywords) {
        const std::string keyword = py::str(key);
        const Option<Target>* option = optionOfKeyword(table, keyword);
        if (option == nullptr)
            unknownKeyword(keyword);
        applyKeyword(*option, target, value);
    }
}

// A setting the library refuses raises ValueError naming its keyword.
inline void translateSettingsErrors()
{
    py::register_exception_translator([](std::exception_ptr thrown) {
        try {
            if (thrown)
                std::rethrow_exception(thrown);
        } catch (const regviafft::SettingsError& e) {
            const auto option = regviafft::asOptionError(e);
            const std::string message =
                option ? keywordOf(option->name()) + ": " + option->rule() : std::string(e.what());
            PyErr_SetString(PyExc_ValueError, message.c_str());
        }
    });
}

}  // namespace regviafft_python

#endif
