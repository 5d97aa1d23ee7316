// The file job's option table.
#include "job_options.h"

#include <string>

#include "motion_log.h"

namespace video {
namespace {

using regviafft::OptionRule;
using regviafft::fieldAccess;

// The widest constant-quality scale among the encoders that take one.
constexpr int kLargestCrf = 63;
// The most threads libx264 runs; other encoders cap lower on their own.
constexpr int kMostEncoderThreads = 128;

regviafft::OptionTable<JobOptions> makeTable()
{
    // The endings come from the writers, the plot's from the image formats
    // this machine's image library writes.
    static const std::string motionHelp =
        "write one record per frame to FILE, " + motionLogEndings() +
        ": the frame's time, the measured motion, peak, votes, cut, camera path and the correction applied";
    static const std::string plotHelp =
        "draw the camera path and the smoothed path to FILE, an image: " + plotEndings();
    return {
        {"codec", "NAME", "video encoder: libx264, ffv1 (lossless) or any other the installed libraries offer",
         OptionRule::text(), "", {}, fieldAccess(&JobOptions::encoder, &EncoderChoice::codec)},
        {"crf", "N", "constant quality, lower is better, for encoders that have it",
         OptionRule::wholeNumber(0, kLargestCrf), "", {}, fieldAccess(&JobOptions::encoder, &EncoderChoice::crf)},
        {"preset", "NAME", "encoder speed against file size, from ultrafast to veryslow, for encoders that have it",
         OptionRule::text(), "", {}, fieldAccess(&JobOptions::encoder, &EncoderChoice::preset)},
        {"encoder-threads", "N",
         "threads the encoder runs; 0 lets it take one per core (several files at once: cores / files)",
         OptionRule::wholeNumber(0, kMostEncoderThreads), "", {},
         fieldAccess(&JobOptions::encoder, &EncoderChoice::threads)},
        {"motion", "FILE", motionHelp.c_str(), OptionRule::text(), "", {}, fieldAccess(&JobOptions::motionPath)},
        {"plot", "FILE", plotHelp.c_str(), OptionRule::text(), "", {}, fieldAccess(&JobOptions::plotPath)},
        {"side-by-side", nullptr, "write input and stabilised frames next to each other", OptionRule::flag(), "",
         {}, fieldAccess(&JobOptions::sideBySide)},
        {"quiet", nullptr, "print nothing but errors", OptionRule::flag(), "", {}, fieldAccess(&JobOptions::quiet)},
        {"overwrite", nullptr, "replace output files that exist (the video, the motion table, the plot)",
         OptionRule::flag(), "", {}, fieldAccess(&JobOptions::overwrite), 'y'},
    };
}

}  // namespace

const regviafft::OptionTable<JobOptions>& jobOptions()
{
    static const regviafft::OptionTable<JobOptions> table = makeTable();
    return table;
}

}  // namespace video
