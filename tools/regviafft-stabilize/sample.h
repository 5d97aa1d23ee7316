// The built-in sample: a shaky clip rendered from the sample photograph (a
// steady pan with seeded sub-pixel hand shake and one cut), stabilised
// through the same file path as any other video, and scored against the
// camera path it was made with.
#ifndef REGVIAFFT_STABILIZE_SAMPLE_H
#define REGVIAFFT_STABILIZE_SAMPLE_H

#include <atomic>
#include <string>

#include "options.h"

namespace stabilize {

// Writes shaky.mp4, stabilized.mp4, motion.csv and path.png into `folder` and
// prints a summary on standard error. Returns the exit status.
int runSample(const Options& options, const std::string& folder, const std::atomic<bool>* stop);

}  // namespace stabilize

#endif
