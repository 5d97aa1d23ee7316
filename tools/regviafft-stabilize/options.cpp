// Parsing the command line from the option tables.
#include "options.h"

#include <functional>
#include <optional>

#include "regviafft/options.h"

namespace stabilize {
namespace {

using regviafft::OptionKind;
using regviafft::OptionTable;

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

// The option spelt --name, or -letter when `name` is one letter long.
template <typename Target>
const regviafft::Option<Target>* find(const OptionTable<Target>& table, const std::string& name, bool letter)
{
    if (!letter)
        return regviafft::findOption(table, name);
    for (const regviafft::Option<Target>& option : table)
        if (option.letter != 0 && name == std::string(1, option.letter))
            return &option;
    return nullptr;
}

std::optional<CommandOption> lookUp(const std::string& name, bool letter)
{
    if (const auto* option = find(regviafft::settingsOptions(), name, letter))
        return CommandOption{option->valueName, [option](Options& o, const std::string& text) {
                                 applyOption(*option, o.job.settings, text);
                             }};
    if (const auto* option = find(video::jobOptions(), name, letter))
        return CommandOption{option->valueName,
                             [option](Options& o, const std::string& text) { applyOption(*option, o.job, text); }};
    if (name == "help" && !letter)
        return CommandOption{nullptr, [](Options& o, const std::string&) { o.help = true; }};
    return std::nullopt;
}

// "--name", "--name=value" and "-x" are options; "-" and anything else a file.
bool isOption(const std::string& argument)
{
    if (argument.size() == 2)
        return argument[0] == '-' && argument[1] != '-';
    return argument.size() > 2 && argument.compare(0, 2, "--") == 0;
}

}  // namespace

Options parseOptions(const std::vector<std::string>& arguments)
{
    Options options;
    std::vector<std::string> files;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (!isOption(argument)) {
            files.push_back(argument);
            continue;
        }
        const bool letter = argument.size() == 2;
        const size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        const std::optional<CommandOption> option = lookUp(name.substr(letter ? 1 : 2), letter);
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

}  // namespace stabilize
