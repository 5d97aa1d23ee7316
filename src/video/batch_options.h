// The option table of a batch of files (Python's regviafft.batch), which
// runs the file job on each: what it decides for the batch as a whole. The
// job's own options and the stabiliser's are passed on to every file.
#ifndef REGVIAFFT_VIDEO_BATCH_OPTIONS_H
#define REGVIAFFT_VIDEO_BATCH_OPTIONS_H

#include "regviafft/option.h"

namespace video {

struct BatchOptions {
    bool force = false;  // every file is stabilised again, complete or not
};

// The batch's options, each defaulting to BatchOptions{}.
const regviafft::OptionTable<BatchOptions>& batchOptions();

}  // namespace video

#endif
