// The command line: what each option sets, its default, and the help text.
#ifndef REGVIAFFT_STABILIZE_OPTIONS_H
#define REGVIAFFT_STABILIZE_OPTIONS_H

#include <stdexcept>
#include <string>
#include <vector>

#include "regviafft/stabilizer.h"
#include "video_output.h"

namespace stabilize {

// Everything one run of the command is asked to do with one file.
struct JobOptions {
    regviafft::Settings settings;  // frame size and range come from the file
    EncoderChoice encoder;
    bool sideBySide = false;       // input and stabilised frames next to each other
    std::string motionPath;        // .csv or .json: one record per frame
    std::string plotPath;          // .png: camera path and smoothed path
};

struct Options {
    std::string input;   // both empty: the built-in sample
    std::string output;  // "-": Matroska on standard output
    JobOptions job;
    bool quiet = false;
    bool help = false;
};

// A command line that cannot be run: an unknown option or a bad value.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The defaults the command starts from: Lag mode with 30 frames of
// look-ahead, since a file has no latency to keep.
Options defaultOptions();

// Throws UsageError naming the option and the value.
Options parseOptions(const std::vector<std::string>& arguments);

std::string helpText();

// The option that sets a field of regviafft::Settings, for messages.
std::string optionForSetting(const std::string& libraryMessage);

}  // namespace stabilize

#endif
