// Settings: each field checked with a message that names it and its value,
// and the measurement defaults derived from the frame size.
#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>

#include "regviafft/options.h"
#include "regviafft/stabilizer.h"

namespace regviafft {
namespace {

// The analysed frame's shorter side is kept at least this long: enough
// detail for large templates, at a cost that does not grow with the frame.
constexpr int kAnalysedShorterSide = 270;
// Larger templates measure more precisely and reach further: a template of
// side T measures motions up to T / 2 per frame. Beyond this the transforms
// cost more than they add.
constexpr int kLargestDefaultTemplateSide = 128;
constexpr int kSmallestTemplateSide = 8;
// A template and its two margins (a quarter template each) fill at most three
// quarters of the analysed frame's shorter side.
constexpr int kShorterSidePerTemplate = 2;
constexpr int kMarginsPerTemplate = 4;
// The grid's cells are about this many analysed pixels a side, and the grid
// between these counts: enough templates to outvote a subject, few enough to
// stay cheap, and cells large enough for a template that measures a fast move.
constexpr int kCellSide = 80;
constexpr int kFewestColumns = 4;
constexpr int kMostColumns = 6;
constexpr int kFewestRows = 3;
constexpr int kMostRows = 4;
// A grid template larger than this would reach across its neighbours' cells;
// cells hold at least twice the smallest template.
constexpr int kLargestGridTemplateSide = 64;
constexpr int kSmallestCellSide = 2 * kSmallestTemplateSide;

[[noreturn]] void refuse(const std::string& field, const std::string& rule)
{
    throw SettingsError(field, rule);
}

// A whole-number field within bounds that follow the frame.
void requireWhole(const char* field, int value, int lo, int hi)
{
    const OptionRule rule = OptionRule::wholeNumber(lo, hi);
    const std::string breach = breachOfSide(rule, value);
    if (!breach.empty())
        refuse(field, breach);
}

int largestPowerOfTwoUpTo(int limit)
{
    int power = 1;
    while (power * 2 <= limit)
        power *= 2;
    return power;
}

int defaultDivisor(const Settings& s)
{
    return largestPowerOfTwoUpTo(std::max(1, std::min(s.width, s.height) / kAnalysedShorterSide));
}

// Analysed template side for a frame reduced by divisor: the registration
// object's large templates, or the largest that fits a cell of the grid.
int defaultAnalysedTemplateSide(const Settings& s, int divisor)
{
    const int analysedShorter = std::min(s.width, s.height) / divisor;
    int side = 0;
    if (s.mode == PathMode::Design) {
        const int fitting = largestPowerOfTwoUpTo(std::max(1, analysedShorter / kShorterSidePerTemplate));
        side = std::min(kLargestDefaultTemplateSide, fitting);
    } else {
        const int cell = std::min(s.width / divisor / *s.gridColumns, s.height / divisor / *s.gridRows);
        side = std::min(kLargestGridTemplateSide, largestPowerOfTwoUpTo(std::max(1, cell)));
    }
    if (side < kSmallestTemplateSide) {
        std::ostringstream message;
        message << "and height make a " << s.width << "x" << s.height
                << " frame, too small to measure motion in; set the template sizes yourself";
        refuse("width", message.str());
    }
    return side;
}

// Each option's own range, naming the field that breaks it; unset fields are
// derived later, within range by construction.
void checkOptionFields(const Settings& s)
{
    for (const Option<Settings>& option : settingsOptions()) {
        const OptionValue value = option.value(s);
        if (const auto* sides = std::get_if<std::pair<int, int>>(&value)) {
            const int side[] = {sides->first, sides->second};
            for (int k = 0; k < 2; ++k)
                if (const std::string breach = breachOfSide(option.rule, side[k]); !breach.empty())
                    refuse(option.fields[k], breach);
        } else if (const std::string breach = breachOf(option.rule, value); !breach.empty()) {
            refuse(option.fields.front(), breach);
        }
    }
}

void checkPathFields(const Settings& s)
{
    requireWhole("width", s.width, 1, kMaxFrameSide);
    requireWhole("height", s.height, 1, kMaxFrameSide);
    checkOptionFields(s);
}

// The registration object's own rules, checked here so that each bad value is
// named rather than reported as a failed Create.
void checkMeasurementFields(const Settings& s)
{
    requireWhole("divisor", *s.divisor, 1, std::min(s.width, s.height));
    // At least one analysed pixel, and transforms no longer than the limit.
    const int maxAnalysed = kMaxTemplateSide * *s.divisor;
    requireWhole("templateWidth", *s.templateWidth, *s.divisor, std::min(s.width, maxAnalysed));
    requireWhole("templateHeight", *s.templateHeight, *s.divisor, std::min(s.height, maxAnalysed));
    requireWhole("marginX", *s.marginX, 0, (s.width - *s.templateWidth) / 2);
    requireWhole("marginY", *s.marginY, 0, (s.height - *s.templateHeight) / 2);
}

}  // namespace

SettingsError::SettingsError(const std::string& field, const std::string& rule)
    : std::invalid_argument("Settings." + field + " " + rule), field_(field), rule_(rule)
{
}

Settings resolveSettings(const Settings& settings)
{
    Settings s = settings;
    checkPathFields(s);
    if (!s.smoothness)
        s.smoothness = s.mode == PathMode::Lag ? kDefaultLagSmoothness : kDefaultCausalSmoothness;
    if (!s.divisor)
        s.divisor = defaultDivisor(s);
    requireWhole("divisor", *s.divisor, 1, std::min(s.width, s.height));
    if (!s.gridColumns || !s.gridRows) {
        const int width = s.width / *s.divisor, height = s.height / *s.divisor;
        s.gridColumns = std::max(1, std::min(std::clamp(width / kCellSide, kFewestColumns, kMostColumns),
                                             width / kSmallestCellSide));
        s.gridRows = std::max(1, std::min(std::clamp(height / kCellSide, kFewestRows, kMostRows),
                                          height / kSmallestCellSide));
    }
    if (!s.templateWidth || !s.templateHeight) {
        const int side = defaultAnalysedTemplateSide(s, *s.divisor) * *s.divisor;
        s.templateWidth = s.templateWidth.value_or(side);
        s.templateHeight = s.templateHeight.value_or(side);
    }
    s.templateCount = s.templateCount.value_or(kMaxTemplates);
    // A template set by hand may leave less room than the default margin.
    s.marginX = s.marginX.value_or(std::min(*s.templateWidth / kMarginsPerTemplate,
                                            std::max(0, (s.width - *s.templateWidth) / 2)));
    s.marginY = s.marginY.value_or(std::min(*s.templateHeight / kMarginsPerTemplate,
                                            std::max(0, (s.height - *s.templateHeight) / 2)));
    checkMeasurementFields(s);
    return s;
}

}  // namespace regviafft
