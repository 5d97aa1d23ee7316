// The command line: its options are the stabiliser's table and the file
// job's table, spelt --name (and -x for an option with a letter); the help
// text is generated from both (usage.h).
#ifndef REGVIAFFT_STABILIZE_OPTIONS_H
#define REGVIAFFT_STABILIZE_OPTIONS_H

#include <stdexcept>
#include <string>
#include <vector>

#include "job_options.h"

namespace stabilize {

struct Options {
    std::string input;   // both empty: the built-in sample
    std::string output;  // "-": Matroska on standard output
    video::JobOptions job;
    bool help = false;
};

// A command line that cannot be run: an unknown option or a bad value.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws UsageError naming the option and the value.
Options parseOptions(const std::vector<std::string>& arguments);

// A refusal of the stabiliser's settings under the option's --name, when an
// option sets the refused field.
std::string commandLineMessage(const regviafft::SettingsError& error);

}  // namespace stabilize

#endif
