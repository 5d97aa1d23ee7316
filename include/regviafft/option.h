// Options: a named setting with its help, its kind, its range and typed
// access to where it is kept. A table of them for one struct is all a host
// needs to offer the struct's fields as its own options, checked and
// described alike everywhere. The stabiliser's table is in options.h; any
// other layer can make one for its own struct with the same pieces.
//
//   regviafft::Settings s;
//   const auto& budget = *regviafft::findOption(regviafft::settingsOptions(), "budget");
//   budget.parse(s, "8");      // or budget.setDouble(s, 8.0)
//   budget.text(s);            // "8"
//   budget.setDouble(s, 40.0); // throws OptionError: "budget: must be a number from 0 to 25, got 40"
#ifndef REGVIAFFT_OPTION_H
#define REGVIAFFT_OPTION_H

#include <cmath>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "regviafft/export.h"

namespace regviafft {

// A value an option refuses. what() is "name: rule"; a host that spells the
// option otherwise (--name, name_with_underscores) puts its own spelling
// before rule().
class REGVIAFFT_API OptionError : public std::invalid_argument {
public:
    OptionError(const std::string& name, const std::string& rule);
    const std::string& name() const noexcept { return name_; }
    const std::string& rule() const noexcept { return rule_; }

private:
    std::string name_;
    std::string rule_;
};

enum class OptionKind {
    Switch,       // on or off
    WholeNumber,  // an integer within the range
    Number,       // a finite number within the range
    Choice,       // one of the named values; held as its index
    Pair,         // "WxH", or "N" for both; each side a whole number within the range
    Text,         // any text (a name or a file)
};

struct OptionChoice {
    const char* name;
    const char* help;
};

// What values an option takes, whatever holds them.
struct OptionRule {
    OptionKind kind = OptionKind::Text;
    double lo = 0.0;       // WholeNumber, Number, each side of a Pair
    double hi = 0.0;
    bool aboveLo = false;  // lo itself refused: a number that must be positive
    std::vector<OptionChoice> choices;  // Choice: index i names value i

    static OptionRule flag() { return {OptionKind::Switch, 0.0, 0.0, false, {}}; }
    static OptionRule wholeNumber(double lo, double hi) { return {OptionKind::WholeNumber, lo, hi, false, {}}; }
    static OptionRule number(double lo, double hi) { return {OptionKind::Number, lo, hi, false, {}}; }
    static OptionRule positiveNumber(double hi) { return {OptionKind::Number, 0.0, hi, true, {}}; }
    static OptionRule choice(std::vector<OptionChoice> names) { return {OptionKind::Choice, 0.0, 0.0, false, std::move(names)}; }
    static OptionRule pair(double lo, double hi) { return {OptionKind::Pair, lo, hi, false, {}}; }
    static OptionRule text() { return {OptionKind::Text, 0.0, 0.0, false, {}}; }
};

// A value in its kind's form: bool (Switch), long long (WholeNumber, and
// Choice as the index), double (Number), a pair of ints (Pair), a string
// (Text); monostate for an optional value left unset.
using OptionValue = std::variant<std::monostate, bool, long long, double, std::pair<int, int>, std::string>;

// The rule broken by `value`, as "must be ..., got ..."; empty when it is kept.
REGVIAFFT_API std::string breachOf(const OptionRule& rule, const OptionValue& value);
// The same for one whole number held by a field of a Pair.
REGVIAFFT_API std::string breachOfSide(const OptionRule& rule, long long side);
// The value that `text` spells, not yet checked against the range; throws
// OptionError for text that spells no value of the kind.
REGVIAFFT_API OptionValue parseValue(const std::string& name, const OptionRule& rule, std::string_view text);
// The value as the option's text would spell it ("" for unset).
REGVIAFFT_API std::string formatValue(const OptionRule& rule, const OptionValue& value);
// The values the rule takes, for help texts: "a whole number from 0 to 120".
REGVIAFFT_API std::string describeRule(const OptionRule& rule);

// Where a Target keeps an option's value.
template <typename Target>
struct OptionAccess {
    std::function<OptionValue(const Target&)> get;
    std::function<void(Target&, const OptionValue&)> put;  // the value is already checked
};

template <typename Target>
struct Option {
    const char* name;       // hyphenated: "template-size"
    const char* valueName;  // the value in help texts: "WxH"; null for a switch
    const char* help;       // what it does; its range and default are added by whoever shows it
    OptionRule rule;
    // What an unset value becomes, for optional fields derived when they are
    // used; empty for fields that always hold their value.
    std::string derived;
    // The Target's fields it sets, in the order of a Pair's sides, so that an
    // error naming a field can be reported as this option's.
    std::vector<std::string> fields;
    OptionAccess<Target> access;
    // A one-letter spelling on the command line ("-y"), for the few options
    // whose letter users know from other programs; 0 for none.
    char letter = 0;

    void set(Target& target, const OptionValue& value) const
    {
        if (std::holds_alternative<std::monostate>(value) && derived.empty())
            throw OptionError(name, "must be given a value");
        const std::string breach = breachOf(rule, value);
        if (!breach.empty())
            throw OptionError(name, breach);
        access.put(target, value);
    }
    void setBool(Target& target, bool value) const { set(target, value); }
    // A whole number also sets a Number option.
    void setInt(Target& target, long long value) const
    {
        set(target, rule.kind == OptionKind::Number ? OptionValue(static_cast<double>(value)) : OptionValue(value));
    }
    // An integral number also sets a WholeNumber option.
    void setDouble(Target& target, double value) const
    {
        const bool whole = rule.kind == OptionKind::WholeNumber && std::trunc(value) == value &&
                           std::fabs(value) < 0x1p62;  // well inside long long
        set(target, whole ? OptionValue(static_cast<long long>(value)) : OptionValue(value));
    }
    void setChoice(Target& target, std::string_view choice) const { set(target, parseValue(name, rule, choice)); }
    void setPair(Target& target, int first, int second) const { set(target, std::make_pair(first, second)); }
    void setText(Target& target, const std::string& value) const { set(target, value); }
    void unset(Target& target) const { set(target, std::monostate{}); }
    void parse(Target& target, std::string_view text) const { set(target, parseValue(name, rule, text)); }

    OptionValue value(const Target& target) const { return access.get(target); }
    bool isSet(const Target& target) const { return !std::holds_alternative<std::monostate>(value(target)); }
    bool getBool(const Target& target) const { return std::get<bool>(value(target)); }
    long long getInt(const Target& target) const { return std::get<long long>(value(target)); }
    double getDouble(const Target& target) const { return std::get<double>(value(target)); }
    std::string getChoice(const Target& target) const { return formatValue(rule, value(target)); }
    std::pair<int, int> getPair(const Target& target) const { return std::get<std::pair<int, int>>(value(target)); }
    std::string getText(const Target& target) const { return std::get<std::string>(value(target)); }
    // The value as text, or what it is derived from when unset.
    std::string text(const Target& target) const { return isSet(target) ? formatValue(rule, value(target)) : derived; }
};

template <typename Target>
using OptionTable = std::vector<Option<Target>>;

template <typename Target>
const Option<Target>* findOption(const OptionTable<Target>& table, std::string_view name)
{
    for (const Option<Target>& option : table)
        if (name == option.name)
            return &option;
    return nullptr;
}

// The option that sets a field, for reporting a field's error as the option's.
template <typename Target>
const Option<Target>* optionForField(const OptionTable<Target>& table, std::string_view field)
{
    for (const Option<Target>& option : table)
        for (const std::string& own : option.fields)
            if (field == own)
                return &option;
    return nullptr;
}

namespace option_access {

template <typename Field>
OptionValue toValue(const Field& field)
{
    if constexpr (std::is_same_v<Field, bool> || std::is_same_v<Field, double> || std::is_same_v<Field, std::string>)
        return field;
    else if constexpr (std::is_enum_v<Field> || std::is_integral_v<Field>)
        return static_cast<long long>(field);
    else if (field)  // std::optional
        return toValue(*field);
    else
        return std::monostate{};
}

template <typename Field>
void fromValue(const OptionValue& value, Field& field)
{
    if constexpr (std::is_same_v<Field, bool> || std::is_same_v<Field, double> || std::is_same_v<Field, std::string>)
        field = std::get<Field>(value);
    else if constexpr (std::is_enum_v<Field> || std::is_integral_v<Field>)
        field = static_cast<Field>(std::get<long long>(value));
    else if (std::holds_alternative<std::monostate>(value))
        field.reset();
    else
        fromValue(value, field.emplace());
}

}  // namespace option_access

// A field of the Target: bool, a whole number, double, an enum, a string, or
// an optional one of these.
template <typename Target, typename Field>
OptionAccess<Target> fieldAccess(Field Target::*field)
{
    return {[field](const Target& t) { return option_access::toValue(t.*field); },
            [field](Target& t, const OptionValue& v) { option_access::fromValue(v, t.*field); }};
}

// A field of a struct the Target holds.
template <typename Target, typename Inner, typename Field>
OptionAccess<Target> fieldAccess(Inner Target::*inner, Field Inner::*field)
{
    return {[inner, field](const Target& t) { return option_access::toValue(t.*inner.*field); },
            [inner, field](Target& t, const OptionValue& v) { option_access::fromValue(v, t.*inner.*field); }};
}

// Two optional whole-number fields set together, as a Pair: both set or both unset.
template <typename Target>
OptionAccess<Target> pairAccess(std::optional<int> Target::*first, std::optional<int> Target::*second)
{
    return {[first, second](const Target& t) -> OptionValue {
                if (!(t.*first) || !(t.*second))
                    return std::monostate{};
                return std::make_pair(*(t.*first), *(t.*second));
            },
            [first, second](Target& t, const OptionValue& v) {
                if (const auto* sides = std::get_if<std::pair<int, int>>(&v)) {
                    t.*first = sides->first;
                    t.*second = sides->second;
                } else {
                    (t.*first).reset();
                    (t.*second).reset();
                }
            }};
}

}  // namespace regviafft

#endif
