// Writing the motion table as CSV or JSON.
#include "motion_log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "av_handles.h"

namespace stabilize {
namespace {

struct FileClose {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileClose>;

bool endsWith(const std::string& text, const char* ending)
{
    const size_t n = std::strlen(ending);
    return text.size() >= n && text.compare(text.size() - n, n, ending) == 0;
}

const char* kColumns[] = {"frame", "time", "analysed", "cut", "motion_x", "motion_y",
                          "whole_motion_x", "whole_motion_y", "peak", "votes", "templates",
                          "path_x", "path_y", "correction_x", "correction_y"};

// The values of one record, in the order of kColumns, as text.
std::vector<std::string> values(const FrameLog& entry)
{
    const regviafft::MotionRecord& r = entry.record;
    char text[15][32];
    std::snprintf(text[0], 32, "%lld", static_cast<long long>(r.index));
    std::snprintf(text[1], 32, "%.6f", entry.seconds);
    std::snprintf(text[2], 32, "%d", r.analysed ? 1 : 0);
    std::snprintf(text[3], 32, "%d", r.cut ? 1 : 0);
    std::snprintf(text[4], 32, "%.4f", r.motionX);
    std::snprintf(text[5], 32, "%.4f", r.motionY);
    std::snprintf(text[6], 32, "%d", r.wholeMotionX);
    std::snprintf(text[7], 32, "%d", r.wholeMotionY);
    std::snprintf(text[8], 32, "%.6f", r.peak);
    std::snprintf(text[9], 32, "%d", r.votes);
    std::snprintf(text[10], 32, "%d", r.templateCount);
    std::snprintf(text[11], 32, "%.4f", r.pathX);
    std::snprintf(text[12], 32, "%.4f", r.pathY);
    std::snprintf(text[13], 32, "%.4f", r.correctionX);
    std::snprintf(text[14], 32, "%.4f", r.correctionY);
    return std::vector<std::string>(std::begin(text), std::end(text));
}

void writeCsv(std::FILE* file, const std::vector<FrameLog>& log)
{
    for (size_t c = 0; c < std::size(kColumns); ++c)
        std::fprintf(file, "%s%s", c ? "," : "", kColumns[c]);
    std::fputc('\n', file);
    for (const FrameLog& entry : log) {
        const std::vector<std::string> row = values(entry);
        for (size_t c = 0; c < row.size(); ++c)
            std::fprintf(file, "%s%s", c ? "," : "", row[c].c_str());
        std::fputc('\n', file);
    }
}

void writeJson(std::FILE* file, const std::vector<FrameLog>& log)
{
    std::fputs("[\n", file);
    for (size_t i = 0; i < log.size(); ++i) {
        const std::vector<std::string> row = values(log[i]);
        std::fputs("  {", file);
        for (size_t c = 0; c < row.size(); ++c) {
            // analysed and cut are truth values.
            const bool flag = c == 2 || c == 3;
            std::fprintf(file, "%s\"%s\": %s", c ? ", " : "", kColumns[c],
                         flag ? (row[c] == "1" ? "true" : "false") : row[c].c_str());
        }
        std::fprintf(file, "}%s\n", i + 1 < log.size() ? "," : "");
    }
    std::fputs("]\n", file);
}

}  // namespace

void writeMotionLog(const std::string& path, const std::vector<FrameLog>& log)
{
    const bool json = endsWith(path, ".json");
    if (!json && !endsWith(path, ".csv"))
        throw Failure("the motion file " + path + " must end in .csv or .json");
    FilePtr file(std::fopen(path.c_str(), "w"));
    if (!file)
        throw Failure("cannot write " + path + ": " + std::strerror(errno));
    json ? writeJson(file.get(), log) : writeCsv(file.get(), log);
    if (std::ferror(file.get()) || std::fclose(file.release()) != 0)
        throw Failure("cannot write " + path + ": " + std::strerror(errno));
}

}  // namespace stabilize
