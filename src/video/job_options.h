// What one run of the file job is asked to do, and the option table of the
// job's own settings (the stabiliser's are regviafft::settingsOptions()).
// The command line's help and parsing and Python's stabilize_file keywords
// are generated from both tables.
#ifndef REGVIAFFT_VIDEO_JOB_OPTIONS_H
#define REGVIAFFT_VIDEO_JOB_OPTIONS_H

#include <string>

#include "regviafft/option.h"
#include "regviafft/stabilizer.h"
#include "encoder.h"

namespace video {

struct JobOptions {
    regviafft::Settings settings;  // frame size and range come from the file
    EncoderChoice encoder;
    bool sideBySide = false;       // input and stabilised frames next to each other
    std::string motionPath;        // .csv or .json: one record per frame; empty: none
    std::string plotPath;          // an image: camera path and smoothed path; empty: none
    bool quiet = false;            // no progress and no summary
    bool overwrite = false;        // output files that exist are replaced, not refused
};

// The job's options, each defaulting to JobOptions{}.
const regviafft::OptionTable<JobOptions>& jobOptions();

}  // namespace video

#endif
