// The option machinery and the stabiliser's table: edges of every option,
// each option bound to the fields it names, errors reported under the
// option's name, and a table of another struct made with the same pieces.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <string>

#include "option_edges.h"
#include "regviafft/options.h"

namespace {

using namespace regviafft;

// The option that refused the text, or "accepted".
template <typename Target>
std::string refuser(const Option<Target>& option, Target& target, const std::string& text)
{
    try {
        option.parse(target, text);
    } catch (const OptionError& e) {
        EXPECT_EQ(std::string(e.what()), e.name() + ": " + e.rule());
        EXPECT_EQ(e.rule().rfind("must be ", 0), 0u) << e.what();
        return e.name();
    }
    return "accepted";
}

// Each field of Settings by its name, read as a number (or -1 when unset),
// independently of the table.
const std::map<std::string, std::function<double(const Settings&)>>& fieldReaders()
{
    static const std::map<std::string, std::function<double(const Settings&)>> readers = {
        {"mode", [](const Settings& s) { return static_cast<double>(s.mode); }},
        {"lag", [](const Settings& s) { return s.lag; }},
        {"smoothness", [](const Settings& s) { return s.smoothness.value_or(-1); }},
        {"budgetPercent", [](const Settings& s) { return s.budgetPercent; }},
        {"border", [](const Settings& s) { return static_cast<double>(s.border); }},
        {"motionModel", [](const Settings& s) { return static_cast<double>(s.motionModel); }},
        {"tripod", [](const Settings& s) { return s.tripod; }},
        {"wholePixel", [](const Settings& s) { return s.wholePixel; }},
        {"gridColumns", [](const Settings& s) { return s.gridColumns.value_or(-1); }},
        {"gridRows", [](const Settings& s) { return s.gridRows.value_or(-1); }},
        {"fullRange", [](const Settings& s) { return s.fullRange; }},
        {"templateWidth", [](const Settings& s) { return s.templateWidth.value_or(-1); }},
        {"templateHeight", [](const Settings& s) { return s.templateHeight.value_or(-1); }},
        {"templateCount", [](const Settings& s) { return s.templateCount.value_or(-1); }},
        {"divisor", [](const Settings& s) { return s.divisor.value_or(-1); }},
        {"marginX", [](const Settings& s) { return s.marginX.value_or(-1); }},
        {"marginY", [](const Settings& s) { return s.marginY.value_or(-1); }},
        {"windowLength", [](const Settings& s) { return s.windowLength; }},
        {"steadyThreshold", [](const Settings& s) { return s.steadyThreshold; }},
        {"width", [](const Settings& s) { return s.width; }},
        {"height", [](const Settings& s) { return s.height; }},
    };
    return readers;
}

}  // namespace

TEST(SettingsOptions, EveryOptionTakesItsEdgesAndRefusesJustBeyondNamingItself)
{
    for (const Option<Settings>& option : settingsOptions()) {
        const option_edges::Edges edges = option_edges::edgesOf(option.rule);
        ASSERT_FALSE(edges.accepted.empty()) << option.name;
        for (const std::string& text : edges.accepted) {
            Settings s;
            EXPECT_EQ(refuser(option, s, text), "accepted") << option.name << " " << text;
            // What was read is what is shown: "N" is both sides.
            Settings again;
            option.parse(again, option.text(s));
            EXPECT_EQ(option.text(again), option.text(s)) << option.name;
            if (option.rule.kind == OptionKind::Pair && text.find('x') == std::string::npos) {
                EXPECT_EQ(option.text(s), text + "x" + text);
            }
        }
        for (const std::string& text : edges.refused) {
            Settings s;
            const std::string before = option.text(s);
            EXPECT_EQ(refuser(option, s, text), option.name) << "'" << text << "'";
            EXPECT_EQ(option.text(s), before) << option.name << ": a refused value changed the setting";
        }
    }
}

TEST(SettingsOptions, EachOptionSetsExactlyTheFieldsItNames)
{
    const Settings defaults;
    for (const Option<Settings>& option : settingsOptions()) {
        // The first accepted value that differs from the default.
        Settings s;
        for (const std::string& text : option_edges::edgesOf(option.rule).accepted) {
            option.parse(s, text);
            if (option.text(s) != option.text(defaults))
                break;
        }
        for (const auto& [field, read] : fieldReaders()) {
            const bool named = std::find(option.fields.begin(), option.fields.end(), field) != option.fields.end();
            EXPECT_EQ(read(s) != read(defaults), named) << option.name << " and " << field;
        }
        // An optional option goes back to being derived.
        if (!option.derived.empty()) {
            option.unset(s);
            EXPECT_FALSE(option.isSet(s)) << option.name;
            EXPECT_EQ(option.text(s), option.derived);
        }
    }
    // Every field a user sets has an option; the frame's own do not.
    for (const auto& [field, read] : fieldReaders()) {
        const bool fromFrames = field == "width" || field == "height" || field == "fullRange";
        EXPECT_EQ(optionForField(settingsOptions(), field) == nullptr, fromFrames) << field;
    }
}

TEST(SettingsOptions, TypedSettersCheckAsTheParserDoes)
{
    const auto& table = settingsOptions();
    Settings s;
    findOption(table, "budget")->setInt(s, 8);
    EXPECT_EQ(s.budgetPercent, 8.0);
    findOption(table, "lag")->setDouble(s, 7.0);
    EXPECT_EQ(s.lag, 7);
    EXPECT_THROW(findOption(table, "lag")->setDouble(s, 7.5), OptionError);
    findOption(table, "mode")->setChoice(s, "design");
    EXPECT_EQ(s.mode, PathMode::Design);
    EXPECT_EQ(findOption(table, "mode")->getChoice(s), "design");
    findOption(table, "margins")->setPair(s, 3, 5);
    EXPECT_EQ(std::make_pair(*s.marginX, *s.marginY), std::make_pair(3, 5));
    EXPECT_THROW(findOption(table, "whole-pixel")->setInt(s, 1), OptionError);
    EXPECT_THROW(findOption(table, "lag")->unset(s), OptionError);  // lag always holds a value
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const char* name : {"smoothness", "budget", "steady-threshold"}) {
        try {
            findOption(table, name)->setDouble(s, nan);
            ADD_FAILURE() << name << " took NaN";
        } catch (const OptionError& e) {
            EXPECT_EQ(e.name(), name);
            EXPECT_NE(e.rule().find("got nan"), std::string::npos) << e.what();
        }
    }
}

namespace {

// A struct of another layer, with fields of every kind the access helpers take.
enum class Shape { Round, Square };
struct Inner {
    int count = 3;
};
struct Job {
    std::string name = "first";
    std::optional<double> scale;
    Shape shape = Shape::Square;
    Inner inner;
    bool loud = false;
};

OptionTable<Job> jobTable()
{
    return {
        {"name", "NAME", "a name", OptionRule::text(), "", {}, fieldAccess(&Job::name)},
        {"scale", "S", "a scale", OptionRule::positiveNumber(2.0), "from the input", {}, fieldAccess(&Job::scale)},
        {"shape", "SHAPE", "a shape", OptionRule::choice({{"round", "round"}, {"square", "square"}}), "", {},
         fieldAccess(&Job::shape)},
        {"count", "N", "a count", OptionRule::wholeNumber(1, 9), "", {}, fieldAccess(&Job::inner, &Inner::count)},
        {"loud", nullptr, "louder", OptionRule::flag(), "", {}, fieldAccess(&Job::loud)},
    };
}

}  // namespace

TEST(OptionMachinery, AnotherStructGetsATableOfTheSameKind)
{
    const OptionTable<Job> table = jobTable();
    const Job defaults;
    // Defaults are read from the struct, and an unset optional shows its derivation.
    EXPECT_EQ(findOption(table, "shape")->text(defaults), "square");
    EXPECT_EQ(findOption(table, "count")->text(defaults), "3");
    EXPECT_EQ(findOption(table, "scale")->text(defaults), "from the input");
    Job job;
    findOption(table, "name")->parse(job, "second");
    findOption(table, "scale")->parse(job, "0.5");
    findOption(table, "shape")->parse(job, "round");
    findOption(table, "count")->setInt(job, 9);
    findOption(table, "loud")->parse(job, "true");
    EXPECT_EQ(job.name, "second");
    EXPECT_EQ(job.scale, 0.5);
    EXPECT_EQ(job.shape, Shape::Round);
    EXPECT_EQ(job.inner.count, 9);
    EXPECT_TRUE(job.loud);
    EXPECT_THROW(findOption(table, "scale")->parse(job, "0"), OptionError);
    EXPECT_THROW(findOption(table, "count")->setInt(job, 10), OptionError);
    EXPECT_EQ(job.inner.count, 9);
    EXPECT_EQ(findOption(table, "nonesuch"), nullptr);
}
