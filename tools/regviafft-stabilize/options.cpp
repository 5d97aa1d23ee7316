// Parsing the command line against one table of options.
#include "options.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <functional>

namespace stabilize {
namespace {

using regviafft::Border;
using regviafft::PathMode;

constexpr int kFileLag = 30;
constexpr int kLargestCrf = 63;
// Checked against this size before the file's own is known; fields that
// depend on the size are checked again when the file is open.
constexpr int kProbeWidth = 1920;
constexpr int kProbeHeight = 1080;

struct OptionSpec {
    const char* name;
    const char* value;    // what the value is called in the help; null for a switch
    const char* setting;  // the Settings fields it sets, comma-separated, for messages; null if none
    const char* help;
    std::function<void(Options&, const std::string&)> apply;
};

[[noreturn]] void badValue(const std::string& option, const std::string& value, const std::string& want)
{
    throw UsageError(option + ": '" + value + "' is not " + want);
}

long wholeNumber(const std::string& option, const std::string& text)
{
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE)
        badValue(option, text, "a whole number");
    return value;
}

double number(const std::string& option, const std::string& text)
{
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value))
        badValue(option, text, "a number");
    return value;
}

int inRange(const std::string& option, const std::string& text, long lo, long hi)
{
    const long value = wholeNumber(option, text);
    if (value < lo || value > hi)
        badValue(option, text, "from " + std::to_string(lo) + " to " + std::to_string(hi));
    return static_cast<int>(value);
}

// "WxH", or "N" for both.
std::pair<int, int> pairOf(const std::string& option, const std::string& text, int lo)
{
    const size_t x = text.find('x');
    if (x == std::string::npos) {
        const int both = inRange(option, text, lo, regviafft::kMaxFrameSide);
        return {both, both};
    }
    return {inRange(option, text.substr(0, x), lo, regviafft::kMaxFrameSide),
            inRange(option, text.substr(x + 1), lo, regviafft::kMaxFrameSide)};
}

template <typename Choice>
Choice chosen(const std::string& option, const std::string& text,
              std::initializer_list<std::pair<const char*, Choice>> choices, const char* listed)
{
    for (const auto& [name, value] : choices)
        if (text == name)
            return value;
    badValue(option, text, std::string("one of ") + listed);
}

const std::vector<OptionSpec>& optionTable()
{
    static const std::vector<OptionSpec> table = {
        {"--mode", "MODE", "mode",
         "how the camera path is smoothed: lag looks ahead and is the steadiest,\n"
         "causal reacts at once (for live use), design is the registration object's\n"
         "own window-and-recentre path (default: lag)",
         [](Options& o, const std::string& v) {
             o.job.settings.mode = chosen<PathMode>(
                 "--mode", v, {{"design", PathMode::Design}, {"causal", PathMode::Causal}, {"lag", PathMode::Lag}},
                 "design, causal, lag");
         }},
        {"--lag", "N", "lag", "frames of look-ahead in lag mode, 0 to 120 (default: 30)",
         [](Options& o, const std::string& v) { o.job.settings.lag = inRange("--lag", v, 0, regviafft::kMaxLag); }},
        {"--smoothness", "FRAMES", "smoothness",
         "how smooth the path is, in frames: larger is steadier but follows\n"
         "moves later (default: 12 in lag mode, 25 in causal mode)",
         [](Options& o, const std::string& v) { o.job.settings.smoothness = number("--smoothness", v); }},
        {"--budget", "PERCENT", "budgetPercent",
         "the most the picture may move to compensate, in percent of its width\n"
         "and height; a move beyond it is followed (default: 5)",
         [](Options& o, const std::string& v) { o.job.settings.budgetPercent = number("--budget", v); }},
        {"--border", "black|edge|crop", "border",
         "what fills the edge the picture moves away from: black, the edge\n"
         "pixels repeated, or a fixed zoom that keeps it out of view (default: black)",
         [](Options& o, const std::string& v) {
             o.job.settings.border = chosen<Border>(
                 "--border", v, {{"black", Border::Black}, {"edge", Border::Edge}, {"crop", Border::Crop}},
                 "black, edge, crop");
         }},
        {"--whole-pixel", nullptr, "wholePixel",
         "move the picture by whole pixels only: no interpolation, a little less steady",
         [](Options& o, const std::string&) { o.job.settings.wholePixel = true; }},
        {"--template-size", "WxH", "templateWidth,templateHeight",
         "size of the patches motion is measured on, in pixels; the largest move\n"
         "measured per frame is half of it (default: 128 analysed pixels times\n"
         "the divisor, smaller for small frames)",
         [](Options& o, const std::string& v) {
             const auto [w, h] = pairOf("--template-size", v, 1);
             o.job.settings.templateWidth = w;
             o.job.settings.templateHeight = h;
         }},
        {"--templates", "N", "templateCount", "how many patches, 1 to 10 (default: 10)",
         [](Options& o, const std::string& v) {
             o.job.settings.templateCount = inRange("--templates", v, 1, regviafft::kMaxTemplates);
         }},
        {"--divisor", "N", "divisor",
         "analyse frames reduced N times; 2 or more also measures below a pixel\n"
         "(default: from the frame size: 1 up to 539 lines, 2 for 720p, 4 for 1080p)",
         [](Options& o, const std::string& v) {
             o.job.settings.divisor = inRange("--divisor", v, 1, regviafft::kMaxFrameSide);
         }},
        {"--margins", "XxY", "marginX,marginY",
         "columns and rows at the frame's edges kept free of patches\n"
         "(default: a quarter of the patch size)",
         [](Options& o, const std::string& v) {
             const auto [x, y] = pairOf("--margins", v, 0);
             o.job.settings.marginX = x;
             o.job.settings.marginY = y;
         }},
        {"--window", "N", "windowLength",
         "design mode: frames the camera path is judged over; 0 turns\n"
         "stabilisation off (default: 30)",
         [](Options& o, const std::string& v) { o.job.settings.windowLength = inRange("--window", v, 0, 100000); }},
        {"--steady-threshold", "PIXELS", "steadyThreshold",
         "design mode: a window whose motions all stay this close to their mean\n"
         "is re-centred, so the picture follows a pan (default: 1.0)",
         [](Options& o, const std::string& v) { o.job.settings.steadyThreshold = number("--steady-threshold", v); }},
        {"--codec", "NAME", nullptr,
         "video encoder: libx264, ffv1 (lossless) or any other the installed\n"
         "libraries offer (default: libx264)",
         [](Options& o, const std::string& v) { o.job.encoder.codec = v; }},
        {"--crf", "N", nullptr, "constant quality, lower is better (default: 18)",
         [](Options& o, const std::string& v) { o.job.encoder.crf = inRange("--crf", v, 0, kLargestCrf); }},
        {"--preset", "NAME", nullptr,
         "encoder speed against file size, from ultrafast to veryslow (default: medium)",
         [](Options& o, const std::string& v) { o.job.encoder.preset = v; }},
        {"--motion", "FILE", nullptr,
         "write one record per frame to FILE, .csv or .json: time, measured\n"
         "motion, peak, votes, cut and the correction applied",
         [](Options& o, const std::string& v) { o.job.motionPath = v; }},
        {"--plot", "FILE", nullptr, "draw the camera path and the smoothed path to FILE (.png)",
         [](Options& o, const std::string& v) { o.job.plotPath = v; }},
        {"--side-by-side", nullptr, nullptr, "write input and stabilised frames next to each other",
         [](Options& o, const std::string&) { o.job.sideBySide = true; }},
        {"--quiet", nullptr, nullptr, "print nothing but errors",
         [](Options& o, const std::string&) { o.quiet = true; }},
        {"--help", nullptr, nullptr, "show this text", [](Options& o, const std::string&) { o.help = true; }},
    };
    return table;
}

const OptionSpec* findOption(const std::string& name)
{
    for (const OptionSpec& option : optionTable())
        if (name == option.name)
            return &option;
    return nullptr;
}

// Values that do not depend on the frame size are checked at once.
void checkSettings(const regviafft::Settings& settings)
{
    regviafft::Settings probe = settings;
    probe.width = kProbeWidth;
    probe.height = kProbeHeight;
    probe.divisor.reset();
    probe.templateWidth.reset();
    probe.templateHeight.reset();
    probe.templateCount.reset();
    probe.marginX.reset();
    probe.marginY.reset();
    try {
        regviafft::resolveSettings(probe);
    } catch (const std::invalid_argument& e) {
        throw UsageError(optionForSetting(e.what()));
    }
}

}  // namespace

Options defaultOptions()
{
    Options options;
    options.job.settings.mode = PathMode::Lag;
    options.job.settings.lag = kFileLag;
    return options;
}

Options parseOptions(const std::vector<std::string>& arguments)
{
    Options options = defaultOptions();
    std::vector<std::string> files;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument.size() < 3 || argument.compare(0, 2, "--") != 0) {
            files.push_back(argument);
            continue;
        }
        const size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        const OptionSpec* option = findOption(name);
        if (option == nullptr)
            throw UsageError("unknown option " + name + " (see --help)");
        std::string value;
        if (option->value != nullptr) {
            if (equals != std::string::npos)
                value = argument.substr(equals + 1);
            else if (i + 1 < arguments.size())
                value = arguments[++i];
            else
                throw UsageError(name + " needs a value (" + option->value + ")");
        } else if (equals != std::string::npos) {
            throw UsageError(name + " takes no value");
        }
        option->apply(options, value);
    }
    if (options.help)
        return options;
    if (files.size() == 1 || files.size() > 2)
        throw UsageError("give INPUT and OUTPUT, or neither for the built-in sample");
    if (files.size() == 2) {
        options.input = files[0];
        options.output = files[1];
    }
    checkSettings(options.job.settings);
    return options;
}

std::string optionForSetting(const std::string& libraryMessage)
{
    const std::string prefix = "Settings.";
    const size_t at = libraryMessage.find(prefix);
    if (at == std::string::npos)
        return libraryMessage;
    size_t end = at + prefix.size();
    while (end < libraryMessage.size() && std::isalpha(static_cast<unsigned char>(libraryMessage[end])))
        ++end;
    const std::string field = libraryMessage.substr(at + prefix.size(), end - at - prefix.size());
    for (const OptionSpec& option : optionTable()) {
        if (option.setting == nullptr)
            continue;
        const std::string fields = std::string(",") + option.setting + ",";
        if (fields.find("," + field + ",") != std::string::npos)
            return libraryMessage.substr(0, at) + option.name + libraryMessage.substr(end);
    }
    return libraryMessage;
}

std::string helpText()
{
    std::string text =
        "usage: regviafft-stabilize [options] INPUT OUTPUT\n"
        "       regviafft-stabilize [options]\n"
        "\n"
        "Steadies the video of INPUT (any file the FFmpeg libraries read) and writes\n"
        "it to OUTPUT, the container chosen by its name (.mp4, .mkv, .mov, ...; - for\n"
        "Matroska on standard output). Audio and subtitles are copied unchanged.\n"
        "Without files, stabilises a built-in shaky sample into regviafft-sample/.\n"
        "\n"
        "options:\n";
    for (const OptionSpec& option : optionTable()) {
        std::string head = std::string("  ") + option.name;
        if (option.value != nullptr)
            head += std::string(" ") + option.value;
        text += head + "\n";
        std::string help = option.help;
        size_t start = 0;
        while (start < help.size()) {
            const size_t end = help.find('\n', start);
            text += "      " + help.substr(start, end - start) + "\n";
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
    }
    return text;
}

}  // namespace stabilize
