// Keyword arguments through the option tables.
#include "py_options.h"

#include <pybind11/stl.h>

#include <algorithm>
#include <climits>

namespace regviafft_python {

namespace {

using regviafft::Option;
using regviafft::OptionKind;
using regviafft::OptionTable;

[[noreturn]] void refuse(const char* optionName, const std::string& rule)
{
    throw py::value_error(keywordOf(optionName) + ": " + rule);
}

// The values a keyword takes, in Python's terms where they differ.
std::string pythonValues(const regviafft::OptionRule& rule)
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
bool isWhole(py::handle value)
{
    return PyIndex_Check(value.ptr()) && !PyBool_Check(value.ptr());
}

long long wholeOf(py::handle value)
{
    int overflow = 0;
    const long long whole = PyLong_AsLongLongAndOverflow(py::int_(py::reinterpret_borrow<py::object>(value)).ptr(),
                                                         &overflow);
    // Beyond long long is beyond every range: refused by the range check.
    return overflow > 0 ? LLONG_MAX : overflow < 0 ? LLONG_MIN : whole;
}

int sideOf(py::handle value)
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

const char* typeName(OptionKind kind)
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

// What the docstrings say of each keyword.
template <typename Target>
py::list describe(const OptionTable<Target>& table, const Target& defaults)
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

[[noreturn]] void unknownKeyword(const std::string& keyword)
{
    throw py::type_error("unexpected keyword argument '" + keyword + "'");
}

// The typed value `text` spells for the keyword, as the command line reads it.
py::object parseKeyword(const std::string& keyword, const std::string& text)
{
    regviafft::Settings settings;
    stabilize::JobOptions job;
    try {
        if (const auto* option = optionOfKeyword(regviafft::settingsOptions(), keyword)) {
            option->parse(settings, text);
            return keywordValue(*option, settings);
        }
        if (const auto* option = optionOfKeyword(stabilize::jobOptions(), keyword)) {
            option->parse(job, text);
            return keywordValue(*option, job);
        }
    } catch (const regviafft::OptionError& e) {
        refuse(e.name().c_str(), e.rule());
    }
    unknownKeyword(keyword);
}

}  // namespace

std::string keywordOf(const std::string& optionName)
{
    std::string keyword = optionName;
    std::replace(keyword.begin(), keyword.end(), '-', '_');
    return keyword;
}

template <typename Target>
const Option<Target>* optionOfKeyword(const OptionTable<Target>& table, const std::string& keyword)
{
    for (const Option<Target>& option : table)
        if (keyword == keywordOf(option.name))
            return &option;
    return nullptr;
}

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

regviafft::Settings settingsFromKeywords(const py::dict& keywords)
{
    regviafft::Settings settings;
    for (const auto& [key, value] : keywords) {
        const std::string keyword = key.cast<std::string>();
        const auto* option = optionOfKeyword(regviafft::settingsOptions(), keyword);
        if (option == nullptr)
            unknownKeyword(keyword);
        applyKeyword(*option, settings, value);
    }
    return settings;
}

stabilize::JobOptions jobFromKeywords(const py::dict& keywords)
{
    stabilize::JobOptions job;
    for (const auto& [key, value] : keywords) {
        const std::string keyword = key.cast<std::string>();
        if (const auto* option = optionOfKeyword(regviafft::settingsOptions(), keyword))
            applyKeyword(*option, job.settings, value);
        else if (const auto* own = optionOfKeyword(stabilize::jobOptions(), keyword))
            applyKeyword(*own, job, value);
        else
            unknownKeyword(keyword);
    }
    return job;
}

void declareOptions(py::module_& m)
{
    m.attr("STABILIZER_OPTIONS") = describe(regviafft::settingsOptions(), regviafft::Settings{});
    m.attr("FILE_OPTIONS") = describe(stabilize::jobOptions(), stabilize::JobOptions{});
    m.def("_parse_option", &parseKeyword, py::arg("keyword"), py::arg("text"),
          "the typed value that text spells for the keyword, as regviafft-stabilize reads it");
}

template py::object keywordValue(const Option<regviafft::Settings>&, const regviafft::Settings&);

}  // namespace regviafft_python
