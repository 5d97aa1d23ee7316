// Writing the motion table as CSV or JSON.
#include "motion_log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "av_handles.h"
#include "regviafft/option.h"
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

// The host's own column, before the record's fields, and after them the
// templates: in CSV one column of their inlier flags, in JSON every field.
constexpr const char* kCsvEnding = ".csv";
constexpr const char* kJsonEnding = ".json";
constexpr const char* kTimeColumn = "time";
constexpr const char* kInliersColumn = "template_inliers";
constexpr const char* kTemplatesKey = "templates";
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
template <typename Struct>
std::string cell(const regviafft::FieldOf<Struct>& field, const Struct& record, bool json)
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

// 1 for each template that agrees with the camera's motion, 0 for the others.
std::string inlierFlags(const regviafft::MotionRecord& record)
{
    std::string flags;
    for (int k = 0; k < record.templateCount; ++k)
        flags += record.templates[k].inlier ? '1' : '0';
    return flags;
}

void writeCsv(std::FILE* file, const std::vector<FrameLog>& log)
{
    std::fputs(kTimeColumn, file);
    for (const regviafft::RecordField& field : regviafft::recordFields())
        std::fprintf(file, ",%s", field.name());
    std::fprintf(file, ",%s\n", kInliersColumn);
    for (const FrameLog& entry : log) {
        std::fputs(decimal(entry.seconds, kTimeDigits).c_str(), file);
        for (const regviafft::RecordField& field : regviafft::recordFields())
            std::fprintf(file, ",%s", cell(field, entry.record, false).c_str());
        std::fprintf(file, ",%s\n", inlierFlags(entry.record).c_str());
    }
}

void writeJsonTemplates(std::FILE* file, const regviafft::MotionRecord& record)
{
    std::fprintf(file, ", \"%s\": [", kTemplatesKey);
    for (int k = 0; k < record.templateCount; ++k) {
        const char* separator = "{";
        for (const regviafft::TemplateField& field : regviafft::templateFields()) {
            std::fprintf(file, "%s\"%s\": %s", separator, field.name(), cell(field, record.templates[k], true).c_str());
            separator = ", ";
        }
        std::fputs(k + 1 < record.templateCount ? "}, " : "}", file);
    }
    std::fputc(']', file);
}

void writeJson(std::FILE* file, const std::vector<FrameLog>& log)
{
    std::fputs("[\n", file);
    for (size_t i = 0; i < log.size(); ++i) {
        std::fprintf(file, "  {\"%s\": %s", kTimeColumn, decimal(log[i].seconds, kTimeDigits).c_str());
        for (const regviafft::RecordField& field : regviafft::recordFields())
            std::fprintf(file, ", \"%s\": %s", field.name(), cell(field, log[i].record, true).c_str());
        writeJsonTemplates(file, log[i].record);
        std::fprintf(file, "}%s\n", i + 1 < log.size() ? "," : "");
    }
    std::fputs("]\n", file);
}

}  // namespace

std::string motionLogEndings()
{
    return std::string(kCsvEnding) + " or " + kJsonEnding;
}

void checkMotionLogName(const std::string& path)
{
    if (!endsWith(path, kCsvEnding) && !endsWith(path, kJsonEnding))
        throw regviafft::OptionError("motion", "must end in " + motionLogEndings() + ", got '" + path + "'");
}

void writeMotionLog(const std::string& path, const std::vector<FrameLog>& log)
{
    checkMotionLogName(path);
    const bool json = endsWith(path, kJsonEnding);
    FilePtr file(std::fopen(path.c_str(), "w"));
    if (!file)
        throw Failure("cannot write " + path + ": " + std::strerror(errno));
    json ? writeJson(file.get(), log) : writeCsv(file.get(), log);
    if (std::ferror(file.get()) || std::fclose(file.release()) != 0)
        throw Failure("cannot write " + path + ": " + std::strerror(errno));
}

}  // namespace video
