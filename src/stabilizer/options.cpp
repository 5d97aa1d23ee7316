// The stabiliser's option table: the one place each user setting is named,
// explained and bounded.
#include "regviafft/options.h"

#include <sstream>

#include "regviafft/limits.h"

namespace regviafft {
namespace {

std::string smoothnessByMode()
{
    std::ostringstream text;
    text << "by mode: " << kDefaultCausalSmoothness << " causal, " << kDefaultLagSmoothness << " lag";
    return text.str();
}

OptionTable<Settings> makeTable()
{
    // Choices are listed in the order of their enum's values.
    const std::vector<OptionChoice> modes = {
        {"design", "the registration object's own window-and-recentre path"},
        {"causal", "a damped tracker that reacts at once, with no latency"},
        {"lag", "a line fit over the look-ahead, the steadiest"},
    };
    const std::vector<OptionChoice> models = {
        {"translation", "a shift"},
        {"rotation", "a shift and a turn about the frame's centre"},
        {"similarity", "a shift, a turn and a uniform zoom"},
    };
    const std::vector<OptionChoice> borders = {
        {"black", "uncovered pixels are black"},
        {"edge", "uncovered pixels repeat the nearest edge"},
        {"crop", "a fixed zoom keeps the whole budget out of view"},
    };
    return {
        {"mode", "MODE", "how the camera path is smoothed", OptionRule::choice(modes), "",
         {"mode"}, fieldAccess(&Settings::mode)},
        {"lag", "N", "frames of look-ahead in lag mode, which is also its latency",
         OptionRule::wholeNumber(0, kMaxLag), "", {"lag"}, fieldAccess(&Settings::lag)},
        {"smoothness", "FRAMES",
         "how smooth the path is, in frames: larger is steadier but follows moves later",
         OptionRule::positiveNumber(kMaxSmoothness), smoothnessByMode(), {"smoothness"},
         fieldAccess(&Settings::smoothness)},
        {"budget", "PERCENT",
         "the most the picture may move to compensate, in percent of its width and height; "
         "a move beyond it is followed",
         OptionRule::number(0, kMaxBudgetPercent), "", {"budgetPercent"},
         fieldAccess(&Settings::budgetPercent)},
        {"border", "BORDER", "what fills the edge the picture moves away from",
         OptionRule::choice(borders), "", {"border"}, fieldAccess(&Settings::border)},
        {"motion-model", "MODEL", "what the camera's motion between frames is measured as (not in design mode)",
         OptionRule::choice(models), "", {"motionModel"}, fieldAccess(&Settings::motionModel)},
        {"tripod", nullptr,
         "lock the view to the first frame of each shot, for a camera meant to stand still, "
         "until the budget cannot hold it",
         OptionRule::flag(), "", {"tripod"}, fieldAccess(&Settings::tripod)},
        {"whole-pixel", nullptr, "move the picture by whole pixels only: no interpolation, a little less steady",
         OptionRule::flag(), "", {"wholePixel"}, fieldAccess(&Settings::wholePixel)},
        {"grid", "CxR", "columns and rows of cells over the frame, one template measured in each (not in design mode)",
         OptionRule::pair(1, kMaxGridSide), "from the frame size", {"gridColumns", "gridRows"},
         pairAccess(&Settings::gridColumns, &Settings::gridRows)},
        {"template-size", "WxH",
         "size of the patches motion is measured on, in pixels; the largest move measured per "
         "frame is half of it",
         OptionRule::pair(1, kMaxFrameSide), "from the frame size", {"templateWidth", "templateHeight"},
         pairAccess(&Settings::templateWidth, &Settings::templateHeight)},
        {"templates", "N", "design mode: how many patches the registration object measures on",
         OptionRule::wholeNumber(1, kMaxTemplates),
         std::to_string(kMaxTemplates) + ", as many as the registration object holds",
         {"templateCount"}, fieldAccess(&Settings::templateCount)},
        {"divisor", "N", "analyse frames reduced N times; 2 or more also measures below a pixel",
         OptionRule::wholeNumber(1, kMaxFrameSide), "from the frame size", {"divisor"},
         fieldAccess(&Settings::divisor)},
        // A margin is kept at both sides, so each is at most half the frame.
        {"margins", "XxY", "columns and rows at the frame's edges kept free of patches",
         OptionRule::pair(0, kMaxFrameSide / 2), "a quarter of the template size", {"marginX", "marginY"},
         pairAccess(&Settings::marginX, &Settings::marginY)},
        {"window", "N", "design mode: frames the camera path is judged over; 0 turns stabilisation off",
         OptionRule::wholeNumber(0, kMaxWindowLength), "", {"windowLength"},
         fieldAccess(&Settings::windowLength)},
        {"steady-threshold", "PIXELS",
         "design mode: a window whose motions all stay this close to their mean is re-centred, "
         "so the picture follows a pan",
         OptionRule::number(0, kMaxSteadyThreshold), "", {"steadyThreshold"},
         fieldAccess(&Settings::steadyThreshold)},
    };
}

}  // namespace

const OptionTable<Settings>& settingsOptions()
{
    static const OptionTable<Settings> table = makeTable();
    return table;
}

std::optional<OptionError> asOptionError(const SettingsError& error)
{
    if (const Option<Settings>* option = optionForField(settingsOptions(), error.field()))
        return OptionError(option->name, error.rule());
    return std::nullopt;
}

}  // namespace regviafft
