// The usage sections from the option tables, and --help from them.
#include "usage.h"

#include <algorithm>
#include <sstream>

#include "job_options.h"
#include "regviafft/options.h"

namespace stabilize {
namespace {

using regviafft::OptionKind;

constexpr size_t kHelpWidth = 78;
constexpr const char* kHelpIndent = "      ";

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
UsageSection sectionOf(const std::string& title, const regviafft::OptionTable<Target>& table, const Target& defaults)
{
    UsageSection section{title, {}};
    for (const regviafft::Option<Target>& option : table) {
        std::string flags = option.letter != 0 ? std::string("-") + option.letter + ", " : "";
        flags += std::string("--") + option.name + (option.valueName ? std::string(" ") + option.valueName : "");
        section.entries.push_back({flags, option.help + notes(option, defaults), option.rule.choices});
    }
    return section;
}

// Words filled into lines of kHelpWidth after the indent.
std::string wrapped(const std::string& text, const std::string& indent = kHelpIndent)
{
    std::istringstream words(text);
    std::string out, line, word;
    while (words >> word) {
        if (!line.empty() && indent.size() + line.size() + 1 + word.size() > kHelpWidth) {
            out += indent + line + "\n";
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
    }
    return line.empty() ? out : out + indent + line + "\n";
}

}  // namespace

const char* const kSynopsis[2] = {"regviafft-stabilize [options] INPUT OUTPUT", "regviafft-stabilize [options]"};

const char* const kDescription[3] = {
    ("Steadies the video of INPUT (any file the FFmpeg libraries read; - for standard input) and writes it to "
     "OUTPUT, the container chosen by its name (.mp4, .mkv, .mov, ...; - for Matroska on standard output). "
     "Audio and subtitles are copied unchanged."),
    "An OUTPUT, motion table or plot that exists is replaced only with --overwrite, never when it is the input.",
    "Without files, stabilises a built-in shaky sample into regviafft-sample/.",
};

std::vector<UsageSection> usageSections()
{
    std::vector<UsageSection> sections{
        sectionOf("stabiliser options", regviafft::settingsOptions(), regviafft::Settings{}),
        sectionOf("file options", video::jobOptions(), video::JobOptions{}),
    };
    sections.back().entries.push_back({"--help", "show this text", {}});
    return sections;
}

std::string helpText()
{
    std::string text = std::string("usage: ") + kSynopsis[0] + "\n       " + kSynopsis[1] + "\n\n";
    for (const char* paragraph : kDescription)
        text += wrapped(paragraph, "") + "\n";
    for (const UsageSection& section : usageSections()) {
        text += section.title + ":\n";
        for (const UsageEntry& entry : section.entries) {
            text += "  " + entry.flags + "\n" + wrapped(entry.text);
            size_t longest = 0;
            for (const regviafft::OptionChoice& choice : entry.choices)
                longest = std::max(longest, std::string(choice.name).size());
            for (const regviafft::OptionChoice& choice : entry.choices)
                text += std::string(kHelpIndent) + "  " + choice.name +
                        std::string(longest + 2 - std::string(choice.name).size(), ' ') + choice.help + "\n";
        }
        text += "\n";
    }
    text.pop_back();
    return text;
}

}  // namespace stabilize
