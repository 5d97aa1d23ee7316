// Writing the motion table as CSV or JSON.
#include "motion_log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "av_handles.h"
#include "regviafft/record_fields.h"

namespace video {
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

// The host's own column, before the record's fields.
constexpr const char* kTimeColumn = "time";
constexpr int kTimeDigits = 6;
// Motions are measured to well below a thousandth of a pixel; more digits
// would only show the last bits of the arithmetic.
constexpr int kNumberDigits = 6;

std::string decimal(double value, int digits)
{
    char text[64];
    // Adding zero turns -0 into 0: a motion of nothing has no sign.
    std::snprintf(text, sizeof text, "%.*f", digits, value + 0.0);
    return text;
}

// A field's value as CSV writes it; JSON writes truths as true and false.
std::string cell(const regviafft::RecordField& field, const regviafft::MotionRecord& record, bool json)
{
    switch (field.type()) {
    case regviafft::FieldType::Integer:
        return std::to_string(field.integer(record));
    case regviafft::FieldType::Number:
        return decimal(field.number(record), kNumberDigits);
    case regviafft::FieldType::Truth:
        break;
    }
    return json ? (field.truth(record) ? "true" : "false") : (field.truth(record) ? "1" : "0");
}

void writeCsv(std::FILE* file, const std::vector<FrameLog>& log)
{
    std::fputs(kTimeColumn, file);
    for (const regviafft::RecordField& field : regviafft::recordFields())
        std::fprintf(file, ",%s", field.name());
    std::fputc('\n', file);
    for (const FrameLog& entry : log) {
        std::fputs(decimal(entry.seconds, kTimeDigits).c_str(), file);
        for (const regviafft::RecordField& field : regviafft::recordFields())
            std::fprintf(file, ",%s", cell(field, entry.record, false).c_str());
        std::fputc('\n', file);
    }
}

void writeJson(std::FILE* file, const std::vector<FrameLog>& log)
{
    std::fputs("[\n", file);
    for (size_t i = 0; i < log.size(); ++i) {
        std::fprintf(file, "  {\"%s\": %s", kTimeColumn, decimal(log[i].seconds, kTimeDigits).c_str());
        for (const regviafft::RecordField& field : regviafft::recordFields())
            std::fprintf(file, ", \"%s\": %s", field.name(), cell(field, log[i].record, true).c_str());
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

}  // namespace video
