// The checks, parsers and descriptions every option table shares.
#include "regviafft/option.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iomanip>
#include <sstream>

namespace regviafft {
namespace {

std::string numberText(double value)
{
    // Enough digits that a value just beyond a bound does not read as the bound.
    std::ostringstream text;
    text << std::setprecision(15) << value;
    return text.str();
}

std::string choiceList(const OptionRule& rule)
{
    std::string list;
    for (const OptionChoice& choice : rule.choices)
        list += (list.empty() ? "" : ", ") + std::string(choice.name);
    return list;
}

std::string rangeText(const OptionRule& rule)
{
    if (rule.aboveLo)
        return "above " + numberText(rule.lo) + " and up to " + numberText(rule.hi);
    return "from " + numberText(rule.lo) + " to " + numberText(rule.hi);
}

bool inRange(const OptionRule& rule, double value)
{
    const bool aboveLo = rule.aboveLo ? value > rule.lo : value >= rule.lo;
    return aboveLo && value <= rule.hi;  // NaN fails both
}

std::string refusal(const OptionRule& rule, const std::string& got)
{
    return "must be " + describeRule(rule) + ", got " + got;
}

[[noreturn]] void misspelt(const std::string& name, const OptionRule& rule, std::string_view text)
{
    const std::string got = "'" + std::string(text) + "'";
    if (rule.kind == OptionKind::Pair)
        throw OptionError(name, "must be WxH or N, " + describeRule(rule) + ", got " + got);
    throw OptionError(name, refusal(rule, got));
}

// A whole number spelt in full, or nothing.
std::optional<long long> wholeNumber(std::string_view text)
{
    const std::string own(text);
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(own.c_str(), &end, 10);
    if (own.empty() || *end != '\0' || errno == ERANGE)
        return std::nullopt;
    return value;
}

std::optional<double> number(std::string_view text)
{
    const std::string own(text);
    char* end = nullptr;
    const double value = std::strtod(own.c_str(), &end);
    if (own.empty() || *end != '\0')
        return std::nullopt;
    return value;
}

// "WxH", or "N" for both sides.
std::optional<std::pair<int, int>> pair(std::string_view text)
{
    const size_t x = text.find('x');
    const auto first = wholeNumber(text.substr(0, x));
    const auto second = x == std::string_view::npos ? first : wholeNumber(text.substr(x + 1));
    // Sides beyond int are refused as the range's breach, not as bad spelling.
    const auto side = [](long long v) { return static_cast<int>(std::clamp<long long>(v, INT32_MIN, INT32_MAX)); };
    if (!first || !second)
        return std::nullopt;
    return std::make_pair(side(*first), side(*second));
}

}  // namespace

OptionError::OptionError(const std::string& name, const std::string& rule)
    : std::invalid_argument(name + ": " + rule), name_(name), rule_(rule)
{
}

std::string describeRule(const OptionRule& rule)
{
    switch (rule.kind) {
    case OptionKind::Switch:
        return "true or false";
    case OptionKind::WholeNumber:
        return "a whole number " + rangeText(rule);
    case OptionKind::Number:
        return "a number " + rangeText(rule);
    case OptionKind::Choice:
        return "one of " + choiceList(rule);
    case OptionKind::Pair:
        return "two whole numbers " + rangeText(rule);
    case OptionKind::Text:
        break;
    }
    return "text";
}

std::string breachOfSide(const OptionRule& rule, long long side)
{
    return inRange(rule, static_cast<double>(side)) ? std::string() : refusal(rule, std::to_string(side));
}

std::string breachOf(const OptionRule& rule, const OptionValue& value)
{
    if (std::holds_alternative<std::monostate>(value))
        return {};
    switch (rule.kind) {
    case OptionKind::Switch:
        return std::holds_alternative<bool>(value) ? std::string() : refusal(rule, "another kind of value");
    case OptionKind::WholeNumber:
        if (const auto* whole = std::get_if<long long>(&value))
            return inRange(rule, static_cast<double>(*whole)) ? std::string() : refusal(rule, std::to_string(*whole));
        if (const auto* real = std::get_if<double>(&value))
            return refusal(rule, numberText(*real));
        break;
    case OptionKind::Number:
        if (const auto* real = std::get_if<double>(&value))
            return inRange(rule, *real) ? std::string() : refusal(rule, numberText(*real));
        break;
    case OptionKind::Choice:
        if (const auto* index = std::get_if<long long>(&value)) {
            const bool named = *index >= 0 && *index < static_cast<long long>(rule.choices.size());
            return named ? std::string() : refusal(rule, std::to_string(*index));
        }
        break;
    case OptionKind::Pair:
        if (const auto* sides = std::get_if<std::pair<int, int>>(&value)) {
            const std::string first = breachOfSide(rule, sides->first);
            return first.empty() ? breachOfSide(rule, sides->second) : first;
        }
        break;
    case OptionKind::Text:
        if (std::holds_alternative<std::string>(value))
            return {};
        break;
    }
    return refusal(rule, "another kind of value");
}

OptionValue parseValue(const std::string& name, const OptionRule& rule, std::string_view text)
{
    switch (rule.kind) {
    case OptionKind::Switch:
        if (text == "true" || text == "false")
            return text == "true";
        break;
    case OptionKind::WholeNumber:
        if (const auto whole = wholeNumber(text))
            return *whole;
        break;
    case OptionKind::Number:
        if (const auto real = number(text))
            return *real;
        break;
    case OptionKind::Choice:
        for (size_t i = 0; i < rule.choices.size(); ++i)
            if (text == rule.choices[i].name)
                return static_cast<long long>(i);
        break;
    case OptionKind::Pair:
        if (const auto sides = pair(text))
            return *sides;
        break;
    case OptionKind::Text:
        return std::string(text);
    }
    misspelt(name, rule, text);
}

std::string formatValue(const OptionRule& rule, const OptionValue& value)
{
    if (const auto* flag = std::get_if<bool>(&value))
        return *flag ? "true" : "false";
    if (const auto* whole = std::get_if<long long>(&value)) {
        const bool named = rule.kind == OptionKind::Choice && *whole >= 0 &&
                           *whole < static_cast<long long>(rule.choices.size());
        return named ? rule.choices[static_cast<size_t>(*whole)].name : std::to_string(*whole);
    }
    if (const auto* real = std::get_if<double>(&value))
        return numberText(*real);
    if (const auto* sides = std::get_if<std::pair<int, int>>(&value))
        return std::to_string(sides->first) + "x" + std::to_string(sides->second);
    if (const auto* text = std::get_if<std::string>(&value))
        return *text;
    return {};
}

}  // namespace regviafft
