// Settings: the defaults derived from the frame size, and a message naming
// each bad value.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>

#include "regviafft/options.h"
#include "regviafft/stabilizer.h"

namespace {

using namespace regviafft;

Settings sized(int width, int height)
{
    Settings s;
    s.width = width;
    s.height = height;
    return s;
}

std::string refusal(const Settings& s)
{
    try {
        resolveSettings(s);
    } catch (const std::invalid_argument& e) {
        return e.what();
    }
    return "accepted";
}

}  // namespace

TEST(Settings, MeasurementDefaultsFollowTheFrameSize)
{
    struct Expected {
        int width, height, divisor, side, margin;
    };
    // Divisor: a power of two keeping the analysed shorter side at 270 or
    // more; Design's template: 128 analysed pixels or half the analysed
    // shorter side.
    for (const Expected& e : {Expected{1920, 1080, 4, 512, 128}, Expected{1280, 720, 2, 256, 64},
                              Expected{480, 270, 1, 128, 32}, Expected{320, 180, 1, 64, 16},
                              Expected{3840, 2160, 8, 1024, 256}, Expected{539, 1000, 1, 128, 32},
                              Expected{540, 1000, 2, 256, 64}, Expected{16, 16, 1, 8, 2}}) {
        Settings s = sized(e.width, e.height);
        s.mode = PathMode::Design;
        const Settings r = resolveSettings(s);
        EXPECT_EQ(std::tie(*r.divisor, *r.templateWidth, *r.templateHeight, *r.marginX, *r.marginY, *r.templateCount),
                  std::tie(e.divisor, e.side, e.side, e.margin, e.margin, kMaxTemplates))
            << e.width << "x" << e.height;
    }
    // The grid: cells of about 80 analysed pixels, 4 x 3 to 6 x 4 (fewer when
    // a cell would hold less than 16), each template the largest power of
    // two that fits its cell, up to 64 analysed pixels.
    struct Grid {
        int width, height, divisor, columns, rows, side, margin;
    };
    for (const Grid& e : {Grid{1920, 1080, 4, 6, 3, 256, 64}, Grid{1280, 720, 2, 6, 4, 128, 32},
                          Grid{480, 270, 1, 6, 3, 64, 16}, Grid{320, 180, 1, 4, 3, 32, 8},
                          Grid{3840, 2160, 8, 6, 3, 512, 128}, Grid{539, 1000, 1, 6, 4, 64, 16},
                          Grid{540, 1000, 2, 4, 4, 128, 32}, Grid{16, 16, 1, 1, 1, 16, 0}}) {
        const Settings r = resolveSettings(sized(e.width, e.height));
        EXPECT_EQ(std::tie(*r.divisor, *r.gridColumns, *r.gridRows, *r.templateWidth, *r.templateHeight,
                           *r.marginX, *r.marginY),
                  std::tie(e.divisor, e.columns, e.rows, e.side, e.side, e.margin, e.margin))
            << e.width << "x" << e.height;
    }
    // Smoothness follows the mode it smooths for.
    for (const auto& [mode, smoothness] : {std::pair{PathMode::Lag, kDefaultLagSmoothness},
                                           std::pair{PathMode::Causal, kDefaultCausalSmoothness}}) {
        Settings s = sized(640, 360);
        s.mode = mode;
        EXPECT_EQ(*resolveSettings(s).smoothness, smoothness);
    }
    // Set fields are kept; a hand-set template shrinks the default margin to fit.
    Settings own = sized(640, 360);
    own.templateHeight = 350;
    own.divisor = 2;
    const Settings r = resolveSettings(own);
    EXPECT_EQ(*r.templateHeight, 350);
    EXPECT_EQ(*r.marginY, 5);
    EXPECT_EQ(*r.divisor, 2);
}

TEST(Settings, EachBadValueIsNamedWithItsValueAndItsOption)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* field;
        const char* option;  // the command line's name for it; null where no option sets it
        std::function<void(Settings&)> spoil;
    };
    const Case cases[] = {
        {"width", nullptr, [](Settings& s) { s.width = 0; }},
        {"height", nullptr, [](Settings& s) { s.height = kMaxFrameSide + 1; }},
        {"mode", "mode", [](Settings& s) { s.mode = static_cast<PathMode>(3); }},
        {"border", "border", [](Settings& s) { s.border = static_cast<Border>(-1); }},
        {"lag", "lag", [](Settings& s) { s.lag = kMaxLag + 1; }},
        {"lag", "lag", [](Settings& s) { s.lag = -1; }},
        {"smoothness", "smoothness", [nan](Settings& s) { s.smoothness = nan; }},
        {"smoothness", "smoothness", [](Settings& s) { s.smoothness = 0.0; }},
        {"smoothness", "smoothness", [inf](Settings& s) { s.smoothness = inf; }},
        {"budgetPercent", "budget", [nan](Settings& s) { s.budgetPercent = nan; }},
        {"budgetPercent", "budget", [](Settings& s) { s.budgetPercent = 25.5; }},
        {"budgetPercent", "budget", [](Settings& s) { s.budgetPercent = -0.1; }},
        {"windowLength", "window", [](Settings& s) { s.windowLength = -1; }},
        {"steadyThreshold", "steady-threshold", [inf](Settings& s) { s.steadyThreshold = inf; }},
        {"steadyThreshold", "steady-threshold", [nan](Settings& s) { s.steadyThreshold = nan; }},
        {"divisor", "divisor", [](Settings& s) { s.divisor = 0; }},
        {"templateCount", "templates", [](Settings& s) { s.templateCount = 11; }},
        {"templateWidth", "template-size", [](Settings& s) { s.templateWidth = 641; }},
        {"templateWidth", "template-size", [](Settings& s) { s.templateWidth = 0; s.templateHeight = 32; }},
        {"templateHeight", "template-size", [](Settings& s) { s.divisor = 4; s.templateHeight = 3; }},
        {"marginX", "margins", [](Settings& s) { s.templateWidth = 600; s.marginX = 21; }},
        {"marginY", "margins", [](Settings& s) { s.marginY = -1; }},
        {"marginY", "margins", [](Settings& s) { s.marginY = 200; }},
    };
    for (const Case& c : cases) {
        Settings s = sized(640, 360);
        c.spoil(s);
        try {
            resolveSettings(s);
            ADD_FAILURE() << c.field << " was accepted";
        } catch (const SettingsError& e) {
            const std::string message = e.what();
            EXPECT_EQ(message.rfind(std::string("Settings.") + c.field + " must be", 0), 0u) << c.field << ": " << message;
            EXPECT_NE(message.find("got"), std::string::npos) << message;
            EXPECT_EQ(e.field(), c.field);
            // Hosts report it under the option that sets the field.
            const std::optional<OptionError> option = asOptionError(e);
            ASSERT_EQ(option.has_value(), c.option != nullptr) << c.field;
            if (option) {
                EXPECT_EQ(option->name(), c.option);
                EXPECT_EQ(option->rule(), e.rule());
            }
        }
        // The stabiliser refuses them alike.
        EXPECT_THROW(Stabilizer{s}, std::invalid_argument) << c.field;
    }
    // Too narrow for the smallest template: 12 columns halved for Design's
    // template and its margins, 7 for a cell of the grid.
    Settings narrow = sized(12, 400);
    narrow.mode = PathMode::Design;
    EXPECT_NE(refusal(narrow).find("too small"), std::string::npos);
    EXPECT_EQ(refusal(sized(12, 400)), "accepted");
    EXPECT_NE(refusal(sized(7, 400)).find("too small"), std::string::npos);
    Settings edge = sized(640, 360);
    edge.templateWidth = 600;
    edge.marginX = 20;  // 600 + 2 x 20 = 640: just fits
    EXPECT_EQ(refusal(edge), "accepted");
}
