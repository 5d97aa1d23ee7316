// Checking the output files before the run.
#include "output_files.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include "motion_log.h"

namespace video {
namespace {

bool isPipe(const std::string& path)
{
    return path == "-";
}

std::optional<struct stat> statOf(const std::string& path)
{
    struct stat info;
    if (isPipe(path) || stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return info;
}

bool sameFile(const std::string& a, const std::string& b)
{
    if (a == b)
        return true;
    const auto first = statOf(a), second = statOf(b);
    return first && second && first->st_dev == second->st_dev && first->st_ino == second->st_ino;
}

// Opened for appending, which changes nothing in a file that is there; a
// file made by the check is removed again.
void checkWritable(const std::string& path, bool existed)
{
    std::FILE* file = std::fopen(path.c_str(), "a");
    if (file == nullptr)
        throw Failure("cannot write " + path + ": " + std::strerror(errno));
    std::fclose(file);
    if (!existed)
        std::remove(path.c_str());
}

}  // namespace

ExistingOutput::ExistingOutput(const std::string& path)
    : Failure(path + " exists; set overwrite to replace it"), path_(path)
{
}

void checkOutputFiles(const std::string& input, const std::string& output, const JobOptions& job)
{
    if (!job.motionPath.empty())
        checkMotionLogName(job.motionPath);
    if (!job.plotPath.empty())
        checkPlotName(job.plotPath);
    std::vector<std::string> outputs;
    for (const std::string* path : {&output, &job.motionPath, &job.plotPath})
        if (!path->empty() && !isPipe(*path))
            outputs.push_back(*path);
    for (size_t i = 0; i < outputs.size(); ++i) {
        if (!isPipe(input) && sameFile(outputs[i], input))
            throw Failure(outputs[i] + " is the input itself; write the output to another file");
        for (size_t j = 0; j < i; ++j)
            if (sameFile(outputs[i], outputs[j]))
                throw Failure(outputs[i] + " is named for two outputs; give each its own file");
        const bool existed = statOf(outputs[i]).has_value();
        if (existed && !job.overwrite)
            throw ExistingOutput(outputs[i]);
        checkWritable(outputs[i], existed);
    }
}

}  // namespace video
