#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "runtime.h"

namespace regviafft::dft {

namespace {

ThreadSettings withAllThreads(const char* numThreads, const char* ompNumThreads = nullptr)
{
    return parseThreadSettings({numThreads, ompNumThreads, nullptr, nullptr, nullptr, nullptr});
}

TEST(ThreadSettingsParsing, CountsAreDigitsOnlyOtherCharactersGiveOneAndEmptyIsIgnored)
{
    const struct { const char* value; int32_t expected; } cases[] = {
        {"4", 4}, {"0", 0}, {"", 0}, {"4 ", 1}, {"-2", 1}, {"x", 1}, {"99999999999", 2147483647}};
    for (const auto& c : cases)
        EXPECT_EQ(withAllThreads(c.value).domainThreads[kDomainAll], c.expected) << '"' << c.value << '"';
    // OMP_NUM_THREADS only fills in for an unset engine count.
    EXPECT_EQ(withAllThreads(nullptr, "3").domainThreads[kDomainAll], 3);
    EXPECT_EQ(withAllThreads("0", "3").domainThreads[kDomainAll], 3);
    EXPECT_EQ(withAllThreads("2", "3").domainThreads[kDomainAll], 2);
}

TEST(ThreadSettingsParsing, DomainListKeepsTheFirstSettingAndAnEmptyValueCountsOne)
{
    const char* list = "REGVIAFFT_ALL=5, REGVIAFFT_FFT=3;REGVIAFFT_FFT=7:REGVIAFFT_BLAS= "
                       "'REGVIAFFT_VMATH=x' \"REGVIAFFT_SPARSE=0\" REGVIAFFT_SPARSE=6 UNKNOWN=9";
    const ThreadSettings s = parseThreadSettings({"2", nullptr, list, nullptr, nullptr, nullptr});
    // All, BLAS, FFT, VMATH, SPARSE: REGVIAFFT_NUM_THREADS came first for all,
    // and a 0 is not kept, so the later SPARSE pair counts.
    EXPECT_EQ(std::vector<int32_t>(s.domainThreads, s.domainThreads + kDomainCount),
              (std::vector<int32_t>{2, 1, 3, 1, 6}));
}

TEST(ThreadSettingsParsing, DynamicProcessesPerNodeAndThreadLevel)
{
    auto parse = [](const char* dynamic, const char* processes, const char* level) {
        return parseThreadSettings({nullptr, nullptr, nullptr, dynamic, processes, level});
    };
    EXPECT_TRUE(parse(nullptr, nullptr, nullptr).dynamic);
    EXPECT_FALSE(parse(" \"false\"", nullptr, nullptr).dynamic);
    EXPECT_FALSE(parse("FALSE", nullptr, nullptr).dynamic);
    EXPECT_TRUE(parse("False", nullptr, nullptr).dynamic);
    EXPECT_EQ(parse(nullptr, "4", nullptr).processesPerNode, 4);
    EXPECT_EQ(parse(nullptr, "4x", nullptr).processesPerNode, 0);
    EXPECT_EQ(parse(nullptr, nullptr, nullptr).threadLevel, -1);
    EXPECT_EQ(parse(nullptr, nullptr, "3").threadLevel, 3);
    EXPECT_EQ(parse(nullptr, nullptr, "4").threadLevel, 0);
}

// Registered with the threading variables set and REGVIAFFT_TEST_EXPECT_THREADS
// holding the count the transform domain should be offered.
TEST(ThreadSettingsProcess, VariablesAreReadFromTheEnvironment)
{
    const char* expect = std::getenv("REGVIAFFT_TEST_EXPECT_THREADS");
    if (expect == nullptr)
        GTEST_SKIP() << "runs from the threading registration only";
    EXPECT_EQ(threadsAvailable(), std::atoi(expect));
    EXPECT_EQ(threadsPerCore(), 1);
    EXPECT_FALSE(threadSettings().dynamic);
}

}  // namespace

}  // namespace regviafft::dft
