// regviafft-stabilize: steadies the video of a file, or the built-in sample.
// Errors are one line on standard error and a non-zero exit status
// (exit_status.h): 2 for a command line that cannot be run, 1 for a run that
// failed, 130 for a run stopped by Ctrl-C (its output then holds the frames
// so far).
#include <csignal>
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "av_handles.h"
#include "exit_status.h"
#include "job_options.h"
#include "options.h"
#include "output_files.h"
#include "regviafft/option.h"
#include "sample.h"
#include "stabilize_file.h"
#include "usage.h"

namespace {

using stabilize::kFailed;
using stabilize::kInterrupted;
using stabilize::kUsage;

constexpr const char* kSampleFolder = "regviafft-sample";

std::atomic<bool> gStop{false};

extern "C" void requestStop(int)
{
    gStop = true;
}

// How the command line allows what a job refused: "-y (--overwrite)".
std::string spelling(const char* name)
{
    const auto* option = regviafft::findOption(video::jobOptions(), name);
    return option->letter != 0 ? std::string("-") + option->letter + " (--" + name + ")" : std::string("--") + name;
}

void printWarnings(const video::JobReport& report, const std::string& input)
{
    if (report.paddedWidth != report.width || report.paddedHeight != report.height)
        std::fprintf(stderr,
                     "regviafft-stabilize: warning: the encoder takes even sides only, so the %dx%d frames are "
                     "written as %dx%d, their last column or row repeated (--codec ffv1 keeps the size)\n",
                     report.width, report.height, report.paddedWidth, report.paddedHeight);
    if (report.refusedPackets > 0)
        std::fprintf(stderr, "regviafft-stabilize: warning: %d damaged video packet%s of %s passed over\n",
                     report.refusedPackets, report.refusedPackets == 1 ? "" : "s", input.c_str());
    if (!report.earlyEnd.empty())
        std::fprintf(stderr, "regviafft-stabilize: warning: %s ends early (%s); every frame before was kept\n",
                     input.c_str(), report.earlyEnd.c_str());
}

int runFile(const stabilize::Options& options)
{
    video::Progress progress(video::Progress::styleFor(options.job.quiet));
    const video::JobReport report =
        video::stabilizeFile(options.input, options.output, options.job, progress, &gStop);
    if (report.frames == 0) {
        std::fprintf(stderr, "regviafft-stabilize: stopped before the first frame; nothing was written\n");
        return kInterrupted;
    }
    if (!options.job.quiet) {
        printWarnings(report, options.input);
        std::fprintf(stderr, "%s %lld frames of %dx%d in %.1f s (%.1f fps) into %s\n",
                     report.interrupted ? "stopped after" : "stabilised",
                     static_cast<long long>(report.frames), report.width, report.height, report.seconds,
                     report.seconds > 0.0 ? report.frames / report.seconds : 0.0,
                     options.output == "-" ? "standard output" : options.output.c_str());
    }
    return report.interrupted ? kInterrupted : stabilize::kSucceeded;
}

}  // namespace

int main(int argc, char** argv)
{
    stabilize::Options options;
    try {
        options = stabilize::parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const stabilize::UsageError& e) {
        std::fprintf(stderr, "regviafft-stabilize: %s\n", e.what());
        return kUsage;
    }
    if (options.help) {
        std::fputs(stabilize::helpText().c_str(), stdout);
        return stabilize::kSucceeded;
    }
    // The libraries speak through this program's own messages only.
    av_log_set_level(AV_LOG_QUIET);
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    try {
        if (options.input.empty())
            return stabilize::runSample(options, kSampleFolder, &gStop);
        return runFile(options);
    } catch (const regviafft::SettingsError& e) {
        std::fprintf(stderr, "regviafft-stabilize: %s\n", stabilize::commandLineMessage(e).c_str());
    } catch (const regviafft::OptionError& e) {
        std::fprintf(stderr, "regviafft-stabilize: --%s: %s\n", e.name().c_str(), e.rule().c_str());
    } catch (const video::ExistingOutput& e) {
        std::fprintf(stderr, "regviafft-stabilize: %s exists; give %s to replace it\n", e.path().c_str(),
                     spelling("overwrite").c_str());
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "regviafft-stabilize: out of memory\n");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "regviafft-stabilize: %s\n", e.what());
    }
    return kFailed;
}
