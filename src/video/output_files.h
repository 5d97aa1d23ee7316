// The files a job writes (the video, the motion table, the plot), checked
// before the input is read, so that a run never fails at its end for a name
// it could have refused at its start, and never writes over its own input.
#ifndef REGVIAFFT_VIDEO_OUTPUT_FILES_H
#define REGVIAFFT_VIDEO_OUTPUT_FILES_H

#include <string>

#include "av_handles.h"
#include "job_options.h"

namespace video {

// An output file that is there already, when the job may not overwrite;
// hosts say how their users allow it.
class ExistingOutput : public Failure {
public:
    explicit ExistingOutput(const std::string& path);
    const std::string& path() const noexcept { return path_; }

private:
    std::string path_;
};

// Throws regviafft::OptionError for a motion table or plot whose name has
// no format this program writes, Failure for an output that is the input
// (the same file by device and inode) or another output, or that cannot be
// written, and ExistingOutput. "-" (a pipe) is neither checked nor compared.
void checkOutputFiles(const std::string& input, const std::string& output, const JobOptions& job);

}  // namespace video

#endif
