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

std::string decimal(double value, int digits)
{
    char text[64];
    // Adding zero turns -0 into 0: a motion of nothing has no sign.
    std::snprintf(text, sizeof text, "%.*f", digits, value + 0.0);
    return text;
}

// The values of one record, in the order of kColumns, as text.
std::vector<std::string> values(const FrameLog& entry)
{
    const regviafft::MotionRecord& r = entry.record;
    return {std::to_string(r.index),          decimal(entry.seconds, 6),
            r.analysed ? "1" : "0",           r.cut ? "1" : "0",
            decimal(r.motionX, 4),            decimal(r.motionY, 4),
            std::to_string(r.wholeMotionX),   std::to_string(r.wholeMotionY),
            decimal(r.peak, 6),               std::to_string(r.votes),
            std::to_string(r.templateCount),  decimal(r.pathX, 4),
            decimal(r.pathY, 4),              decimal(r.correctionX, 4),
            decimal(r.correctionY, 4)};
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
