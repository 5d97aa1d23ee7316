// The registration object under every processor variant: the same streams
// give the same motion and the same output frames. The variant is fixed once
// per process, so each class runs in a child process of this very test, with
// REGVIAFFT_DEBUG_CPU_TYPE set, and prints a digest of every frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "RegViaFFT.h"
#include "inspector.h"
#include "synthetic_frames.h"

namespace {

// The argument that makes this program a child: it prints the digests and ends.
constexpr const char* kDigestSwitch = "--print-digest";

struct StreamCase {
    int width, height, templateHeight, templateWidth, divisor;
    double scale;  // not 1: sub-pixel refinement
};

// Power-of-two, mixed-radix and chirp transform sizes, whole-pixel and
// sub-pixel motion.
constexpr StreamCase kStreams[] = {
    {320, 240, 64, 64, 1, 1.0},
    {320, 240, 60, 80, 2, 0.5},
    {320, 240, 158, 158, 2, 0.5},
};

uint64_t fnv1a(const std::vector<uint8_t>& bytes)
{
    uint64_t hash = 1469598103934665603u;
    for (uint8_t b : bytes)
        hash = (hash ^ b) * 1099511628211u;
    return hash;
}

// One line per frame: Run's result, the whole-pixel and sub-pixel motion (to
// a millionth of a pixel) and a hash of the output frame.
std::string digestOf(const StreamCase& s)
{
    CRegViaFFT stream;
    std::string digest;
    if (stream.Create(s.height, s.width, s.templateHeight, s.templateWidth, 10, s.divisor, 16, 16,
                      30, s.scale) != 1)
        return "create failed";
    const int path[][2] = {{0, 0}, {3, -1}, {5, 2}, {4, 6}, {-2, 3}, {-1, -4}, {2, -2}, {7, 1}};
    for (const auto& p : path) {
        std::vector<uint8_t> in = synthetic::toFourBytePixels(
            synthetic::texturedFrame(s.width, s.height, 11, p[0], p[1]));
        std::vector<uint8_t> out(in.size());
        const int result = stream.Run(in.data(), out.data(), false);
        char line[160];
        std::snprintf(line, sizeof line, "digest %d %d %d %.6f %.6f %016llx\n", result,
                      RegViaFFTInspector::gmvX(stream), RegViaFFTInspector::gmvY(stream),
                      RegViaFFTInspector::preciseGmvX(stream),
                      RegViaFFTInspector::preciseGmvY(stream),
                      static_cast<unsigned long long>(fnv1a(out)));
        digest += line;
    }
    return digest;
}

// The digest lines a child process prints with the class forced.
std::string childDigest(const std::string& forcedClass)
{
    const std::string command = "REGVIAFFT_DEBUG_CPU_TYPE=" + forcedClass + " '" +
                                testing::internal::GetArgvs()[0] + "' " + kDigestSwitch;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return {};
    std::string digest;
    char line[256];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        if (std::string(line).rfind("digest ", 0) == 0)
            digest += line;
    }
    pclose(pipe);
    return digest;
}

TEST(RegistrationVariants, MotionAndFramesIdenticalUnderEveryVariant)
{
    const std::string reference = childDigest("0");
    // Three streams of eight frames, every frame run, and motion measured.
    ASSERT_EQ(std::count(reference.begin(), reference.end(), '\n'), 24) << reference;
    EXPECT_EQ(reference.find("digest 0 "), std::string::npos) << reference;
    EXPECT_EQ(reference.find("create failed"), std::string::npos) << reference;
    EXPECT_NE(reference.find("digest 1 0 0 0.000000 0.000000"), std::string::npos) << reference;
    size_t still = 0;
    for (size_t at = reference.find("digest 1 0 0 "); at != std::string::npos;
         at = reference.find("digest 1 0 0 ", at + 1))
        ++still;
    EXPECT_LT(still, 6u) << "hardly any motion was measured:\n" << reference;
    for (const char* forced : {"2", "3", "4", "5", "AVX"})
        EXPECT_EQ(childDigest(forced), reference) << "class " << forced;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::string(argv[1]) == kDigestSwitch) {
        for (const StreamCase& s : kStreams)
            std::printf("%s", digestOf(s).c_str());
        return 0;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
