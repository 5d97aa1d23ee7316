// The manual page, from the same sections as --help.
#include <string>

#include "exit_status.h"
#include "usage.h"

namespace stabilize {
namespace {

// Text safe in troff: a backslash or hyphen escaped, and a line that would
// start with a control character kept from being read as a request.
std::string escaped(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\''))
        out = "\\&" + out;
    return out;
}

// Option names in bold, their values in italics: "-y, --overwrite", "--lag N".
std::string flagsMarkup(const std::string& flags)
{
    const size_t value = flags.find(' ', flags.rfind("--"));
    if (value == std::string::npos)
        return "\\fB" + escaped(flags) + "\\fR";
    return "\\fB" + escaped(flags.substr(0, value)) + "\\fR \\fI" + escaped(flags.substr(value + 1)) + "\\fR";
}

std::string upper(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

}  // namespace

std::string manPage(const std::string& version)
{
    std::string page = ".\\\" Generated from the option tables by regviafft-stabilize-man; do not edit.\n";
    page += ".TH REGVIAFFT-STABILIZE 1 \"\" \"regviafft " + escaped(version) + "\" \"User Commands\"\n";
    page += ".SH NAME\nregviafft\\-stabilize \\- steady a shaky video\n.SH SYNOPSIS\n";
    for (const char* form : kSynopsis)
        page += ".B " + escaped(form) + "\n.br\n";
    page += ".SH DESCRIPTION\n";
    for (const char* paragraph : kDescription)
        page += escaped(paragraph) + "\n.PP\n";
    for (const UsageSection& section : usageSections()) {
        page += ".SH " + escaped(upper(section.title)) + "\n";
        for (const UsageEntry& entry : section.entries) {
            page += ".TP\n" + flagsMarkup(entry.flags) + "\n" + escaped(entry.text) + "\n";
            for (const regviafft::OptionChoice& choice : entry.choices)
                page += ".RS\n.TP\n.B " + escaped(choice.name) + "\n" + escaped(choice.help) + "\n.RE\n";
        }
    }
    page += ".SH EXIT STATUS\n";
    for (const ExitStatus& exit : kExitStatuses)
        page += ".TP\n.B " + std::to_string(exit.status) + "\n" + escaped(exit.meaning) + "\n";
    page += ".SH SEE ALSO\n.BR ffmpeg (1),\n.BR gst\\-inspect\\-1.0 (1)\n";
    return page;
}

}  // namespace stabilize
