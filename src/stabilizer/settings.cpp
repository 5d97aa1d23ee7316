// Settings: each field checked with a message that names it and its value,
// and the measurement defaults derived from the frame size.
#include <algorithm>
#include <cmath>
#include <sstream>
#include <stdexcept>
#include <string>

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
constexpr double kMaxBudgetPercent = 25.0;
// A smoothing longer than this many frames holds a history no stream needs.
constexpr double kMaxSmoothness = 250.0;
constexpr double kDefaultCausalTimeConstant = 25.0;
constexpr double kDefaultLagSigma = 12.0;

[[noreturn]] void refuse(const std::string& field, const std::string& rule, double value)
{
    std::ostringstream message;
    message << "Settings." << field << " " << rule << ", got " << value;
    throw std::invalid_argument(message.str());
}

void requireRange(const char* field, double value, double lo, double hi)
{
    if (!(value >= lo && value <= hi)) {  // NaN fails here too
        std::ostringstream rule;
        rule << "must be a number from " << lo << " to " << hi;
        refuse(field, rule.str(), value);
    }
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

// Analysed template side for a frame reduced by divisor.
int defaultAnalysedTemplateSide(const Settings& s, int divisor)
{
    const int analysedShorter = std::min(s.width, s.height) / divisor;
    const int fitting = largestPowerOfTwoUpTo(std::max(1, analysedShorter / kShorterSidePerTemplate));
    const int side = std::min(kLargestDefaultTemplateSide, fitting);
    if (side < kSmallestTemplateSide) {
        std::ostringstream message;
        message << "Settings.width and height: a " << s.width << "x" << s.height
                << " frame is too small to measure motion in; set the template sizes yourself";
        throw std::invalid_argument(message.str());
    }
    return side;
}

void checkEnums(const Settings& s)
{
    const int mode = static_cast<int>(s.mode);
    if (mode < static_cast<int>(PathMode::Design) || mode > static_cast<int>(PathMode::Lag))
        refuse("mode", "must be Design, Causal or Lag", mode);
    const int border = static_cast<int>(s.border);
    if (border < static_cast<int>(Border::Black) || border > static_cast<int>(Border::Crop))
        refuse("border", "must be Black, Edge or Crop", border);
}

void checkPathFields(const Settings& s)
{
    requireRange("width", s.width, 1, kMaxFrameSide);
    requireRange("height", s.height, 1, kMaxFrameSide);
    checkEnums(s);
    requireRange("lag", s.lag, 0, kMaxLag);
    if (s.smoothness && !(*s.smoothness > 0.0 && *s.smoothness <= kMaxSmoothness))
        refuse("smoothness", "must be a number of frames above 0 and up to 250", *s.smoothness);
    requireRange("budgetPercent", s.budgetPercent, 0.0, kMaxBudgetPercent);
    requireRange("windowLength", s.windowLength, 0, kMaxWindowLength);
    if (!(s.steadyThreshold >= 0.0 && std::isfinite(s.steadyThreshold)))
        refuse("steadyThreshold", "must be a finite number of pixels, 0 or more", s.steadyThreshold);
}

// The registration object's own rules, checked here so that each bad value is
// named rather than reported as a failed Create.
void checkMeasurementFields(const Settings& s)
{
    requireRange("divisor", *s.divisor, 1, std::min(s.width, s.height));
    requireRange("templateCount", *s.templateCount, 1, kMaxTemplates);
    // At least one analysed pixel, and transforms no longer than the limit.
    const int maxAnalysed = kMaxTemplateSide * *s.divisor;
    requireRange("templateWidth", *s.templateWidth, *s.divisor, std::min(s.width, maxAnalysed));
    requireRange("templateHeight", *s.templateHeight, *s.divisor, std::min(s.height, maxAnalysed));
    requireRange("marginX", *s.marginX, 0, (s.width - *s.templateWidth) / 2);
    requireRange("marginY", *s.marginY, 0, (s.height - *s.templateHeight) / 2);
}

}  // namespace

Settings resolveSettings(const Settings& settings)
{
    Settings s = settings;
    checkPathFields(s);
    if (!s.smoothness)
        s.smoothness = s.mode == PathMode::Lag ? kDefaultLagSigma : kDefaultCausalTimeConstant;
    if (!s.divisor)
        s.divisor = defaultDivisor(s);
    requireRange("divisor", *s.divisor, 1, std::min(s.width, s.height));
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
