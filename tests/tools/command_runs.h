// What the command-line tests share: a scratch folder, and the check that a
// failure is one line on standard error.
#ifndef REGVIAFFT_TEST_COMMAND_RUNS_H
#define REGVIAFFT_TEST_COMMAND_RUNS_H

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "media_files.h"

namespace command_runs {

constexpr int kWidth = 160;
constexpr int kHeight = 120;
inline const std::string kProgram = REGVIAFFT_STABILIZE_PROGRAM;

// A path in a folder of the test's own.
inline std::string scratch(const std::string& name)
{
    static const std::string folder = [] {
        char pattern[] = "/tmp/regviafft-cli-XXXXXX";
        return std::string(mkdtemp(pattern));
    }();
    return folder + "/" + name;
}

inline bool exists(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

// The one line the command writes for a failure.
inline void expectOneLineFailure(const media::Run& run, const std::string& says)
{
    EXPECT_NE(run.status, 0) << run.errors;
    EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << run.errors;
    EXPECT_EQ(run.errors.rfind("regviafft-stabilize: ", 0), 0u) << run.errors;
    EXPECT_NE(run.errors.find(says), std::string::npos) << run.errors;
}

}  // namespace command_runs

#endif
