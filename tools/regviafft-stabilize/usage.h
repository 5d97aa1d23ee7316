// What the command's --help and its manual page say, both generated from
// the option tables: the stabiliser's options, then the file job's, each
// with its spellings, its help, its range and its default.
#ifndef REGVIAFFT_STABILIZE_USAGE_H
#define REGVIAFFT_STABILIZE_USAGE_H

#include <string>
#include <vector>

#include "regviafft/option.h"

namespace stabilize {

struct UsageEntry {
    std::string flags;     // "-y, --overwrite" or "--lag N"
    std::string text;      // help, then "(range; default: value)"
    std::vector<regviafft::OptionChoice> choices;
};

struct UsageSection {
    std::string title;     // "stabiliser options"
    std::vector<UsageEntry> entries;
};

// The forms of the command, one a line.
extern const char* const kSynopsis[2];
// What it does, a paragraph a line.
extern const char* const kDescription[3];

std::vector<UsageSection> usageSections();

// --help, filled to the terminal's width.
std::string helpText();
// The manual page, in the man macros of troff.
std::string manPage(const std::string& version);

}  // namespace stabilize

#endif
