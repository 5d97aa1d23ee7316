// Parsing the command line and writing its help, both from the option tables.
#include "options.h"

#include <functional>
#include <optional>
#include <sstream>

#include "regviafft/options.h"

namespace stabilize {
namespace {

using regviafft::OptionKind;
using regviafft::OptionTable;

constexpr size_t kHelpWidth = 78;
constexpr const char* kHelpIndent = "      ";

// One --name of either table, bound to where it is kept in Options.
struct CommandOption {
    const char* valueName;  // null for a switch
    std::function<void(Options&, const std::string&)> apply;
};

template <typename Target>
void applyOption(const regviafft::Option<Target>& option, Target& target, const std::string& text)
{
    try {
        if (option.rule.kind == OptionKind::Switch)
            option.setBool(target, true);
        else
            option.parse(target, text);
    } catch (const regviafft::OptionError& e) {
        throw UsageError("--" + e.name() + ": " + e.rule());
    }
}

std::optional<CommandOption> lookUp(const std::string& name)
{
    if (const auto* option = regviafft::findOption(regviafft::settingsOptions(), name))
        return CommandOption{option->valueName, [option](Options& o, const std::string& text) {
                                 applyOption(*option, o.job.settings, text);
                             }};
    if (const auto* option = regviafft::findOption(video::jobOptions(), name))
        return CommandOption{option->valueName,
                             [option](Options& o, const std::string& text) { applyOption(*option, o.job, text); }};
    if (name == "help")
        return CommandOption{nullptr, [](Options& o, const std::string&) { o.help = true; }};
    return std::nullopt;
}

// Words filled into lines of kHelpWidth after the indent.
std::string wrapped(const std::string& text)
{
    std::istringstream words(text);
    std::string out, line, word;
    while (words >> word) {
        if (!line.empty() && std::string(kHelpIndent).size() + line.size() + 1 + word.size() > kHelpWidth) {
            out += kHelpIndent + line + "\n";
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
    }
    return line.empty() ? out : out + kHelpIndent + line + "\n";
}

// The range the option takes and its default, "(a whole number from 0 to
// 120; default: 30)"; switches and free text say neither.
template <typename Target>
std::string notes(const regviafft::Option<Target>& option, const Target& defaults)
{
    const OptionKind kind = option.rule.kind;
    std::string text;
    if (kind != OptionKind::Switch && kind != OptionKind::Text && kind != OptionKind::Choice)
        text = regviafft::describeRule(option.rule);
    const std::string initial = option.text(defaults);
    if (kind != OptionKind::Switch && !initial.empty())
        text += (text.empty() ? "" : "; ") + std::string("default: ") + initial;
    return text.empty() ? text : " (" + text + ")";
}

template <typename Target>
void describe(std::string& help, const OptionTable<Target>& table, const Target& defaults)
{
    for (const regviafft::Option<Target>& option : table) {
        help += std::string("  --") + option.name + (option.valueName ? std::string(" ") + option.valueName : "") + "\n";
        help += wrapped(option.help + notes(option, defaults));
        size_t longest = 0;
        for (const regviafft::OptionChoice& choice : option.rule.choices)
            longest = std::max(longest, std::string(choice.name).size());
        for (const regviafft::OptionChoice& choice : option.rule.choices)
            help += std::string(kHelpIndent) + "  " + choice.name +
                    std::string(longest + 2 - std::string(choice.name).size(), ' ') + choice.help + "\n";
    }
}

}  // namespace

Options parseOptions(const std::vector<std::string>& arguments)
{
    Options options;
    std::vector<std::string> files;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument.size() < 3 || argument.compare(0, 2, "--") != 0) {
            files.push_back(argument);
            continue;
        }
        const size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        const std::optional<CommandOption> option = lookUp(name.substr(2));
        if (!option)
            throw UsageError("unknown option " + name + " (see --help)");
        std::string value;
        if (option->valueName != nullptr) {
            if (equals != std::string::npos)
                value = argument.substr(equals + 1);
            else if (i + 1 < arguments.size())
                value = arguments[++i];
            else
                throw UsageError(name + " needs a value (" + option->valueName + ")");
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
    return options;
}

std::string commandLineMessage(const regviafft::SettingsError& error)
{
    if (const auto option = regviafft::asOptionError(error))
        return "--" + option->name() + ": " + option->rule();
    return error.what();
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
        "stabiliser options:\n";
    describe(text, regviafft::settingsOptions(), regviafft::Settings{});
    text += "\nfile options:\n";
    describe(text, video::jobOptions(), video::JobOptions{});
    text += "  --help\n" + wrapped("show this text");
    return text;
}

}  // namespace stabilize
