// The command line's input path under corrupt and truncated files: the bytes
// are a file in memory, read by the demuxer and decoder and run through the
// stabiliser and out to a file, as regviafft-stabilize runs them. A file that
// cannot be read must end in a Failure with its message, never a crash.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

extern "C" {
#include <libavutil/log.h>
}

#include "job_options.h"
#include "progress.h"
#include "stabilize_file.h"

namespace {

// The output goes to a folder of this process's own in memory.
const std::string& outputFolder()
{
    static const std::string folder = [] {
        char pattern[] = "/dev/shm/regviafft-fuzz-XXXXXX";
        const char* made = mkdtemp(pattern);
        return std::string(made != nullptr ? made : "/tmp");
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    av_log_set_level(AV_LOG_QUIET);
    const int file = memfd_create("input", 0);
    if (file < 0 || write(file, data, size) != static_cast<ssize_t>(size)) {
        if (file >= 0)
            close(file);
        return 0;
    }
    const std::string input = "/proc/self/fd/" + std::to_string(file);
    video::JobOptions job;
    job.encoder.codec = "rawvideo";
    job.overwrite = true;  // every input writes the same output
    video::Progress quiet(video::Progress::Style::Quiet);
    try {
        video::stabilizeFile(input, outputFolder() + "/out.mkv", job, quiet);
    } catch (const video::Failure&) {
    } catch (const std::invalid_argument&) {
        // A frame size the stabiliser does not take.
    }
    close(file);
    return 0;
}
