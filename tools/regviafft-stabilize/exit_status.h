// The command's exit statuses, which its manual page lists.
#ifndef REGVIAFFT_STABILIZE_EXIT_STATUS_H
#define REGVIAFFT_STABILIZE_EXIT_STATUS_H

namespace stabilize {

constexpr int kSucceeded = 0;
constexpr int kFailed = 1;        // the run failed; no output is left
constexpr int kUsage = 2;         // the command line cannot be run
constexpr int kInterrupted = 130; // stopped by Ctrl-C; the output holds the frames so far

struct ExitStatus {
    int status;
    const char* meaning;
};

constexpr ExitStatus kExitStatuses[] = {
    {kSucceeded, "the video was stabilised"},
    {kFailed, "the run failed (a file that cannot be read or written, a setting that does not suit the "
              "video); the error is one line on standard error and no output is left"},
    {kUsage, "the command line cannot be run: an unknown option or a bad value"},
    {kInterrupted, "stopped by Ctrl-C or SIGTERM; the output holds the frames so far"},
};

}  // namespace stabilize

#endif
