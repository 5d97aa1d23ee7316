// One file through the stabiliser: decoded, stabilised frame by frame as the
// records come out, encoded and written with the other streams copied. The
// command line and the Python module both run this.
#ifndef REGVIAFFT_VIDEO_STABILIZE_FILE_H
#define REGVIAFFT_VIDEO_STABILIZE_FILE_H

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "motion_log.h"
#include "job_options.h"
#include "progress.h"

namespace video {

struct JobReport {
    std::int64_t frames = 0;    // written, the same as decoded
    int width = 0;
    int height = 0;
    int paddedWidth = 0;        // as encoded: one more where the encoder takes even sides only
    int paddedHeight = 0;
    double seconds = 0.0;       // wall time of the run
    bool interrupted = false;   // stopped early on request; the output holds the frames so far,
                                // and is not written when there were none
    int refusedPackets = 0;     // damaged video packets passed over
    std::string earlyEnd;       // why the input ended before its end, if it did
    std::vector<FrameLog> log;  // one entry per frame, in order
};

// Every output file and the encoder's settings are checked before the input
// is read. Throws Failure (file, decoder, encoder or output trouble; an
// output that exists, unless the job overwrites, as ExistingOutput),
// regviafft::OptionError (an encoder setting or file name the job cannot
// use) and std::invalid_argument (settings that do not suit the file).
// `stop`, when set, ends the run at the next frame with a complete, playable
// output.
JobReport stabilizeFile(const std::string& input, const std::string& output, const JobOptions& job,
                        Progress& progress, const std::atomic<bool>* stop = nullptr);

}  // namespace video

#endif
