// The registration object's lifecycle: parameter rules, reduced sizes, the
// buffers and descriptors Create builds, release, re-creation and deep copy.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <tuple>
#include <vector>

#include "dft.h"
#include "inspector.h"
#include "sanitizers.h"

namespace {

using I = RegViaFFTInspector;

struct Config {
    int frameHeight = 120, frameWidth = 160, templateHeight = 32, templateWidth = 48;
    int maxTemplates = 3, reductionDivisor = 2, marginY = 4, marginX = 6, windowLength = 5;
    double steadyThreshold = 1.0;
};

int create(CRegViaFFT& o, const Config& c)
{
    return o.Create(c.frameHeight, c.frameWidth, c.templateHeight, c.templateWidth, c.maxTemplates,
                    c.reductionDivisor, c.marginY, c.marginX, c.windowLength, c.steadyThreshold);
}

// Validation passed when the configuration was stored, whatever the plans did.
bool passesValidation(const Config& c)
{
    CRegViaFFT o;
    create(o, c);
    return I::maxTemplates(o) == c.maxTemplates && I::frameHeight(o) == c.frameHeight;
}

std::vector<const void*> ownedPointers(CRegViaFFT& o)
{
    std::vector<const void*> p = {I::historyX(o), I::historyY(o), I::grayImage(o),
        I::reducedImage(o), I::reducedPixels(o), I::pcSurface(o), I::gradientX(o),
        I::gradientY(o), I::fftInput(o), I::crossPower(o), I::fftOutput(o), I::pcOutput(o),
        I::forwardHandle(o), I::backwardHandle(o), I::lowPassKernel(o), I::derivKernel(o)};
    for (int k = 0; k < 10; ++k)
        p.insert(p.end(), {I::tmplGradY(o)[k], I::tmplGradX(o)[k], I::prevSpectrum(o)[k]});
    return p;
}

std::vector<int> reducedSizes(CRegViaFFT& o)
{
    return {I::reducedHeight(o), I::reducedWidth(o), I::reducedTemplateHeight(o),
            I::reducedTemplateWidth(o), I::reducedMarginY(o), I::reducedMarginX(o),
            I::reducedArea(o), I::reducedTemplateArea(o)};
}

const std::vector<const void*> kOwnsNothing(16 + 3 * 10, nullptr);

}  // namespace

TEST(ObjectValidation, EachRuleRejectsAloneAndItsBoundaryPasses)
{
    const std::tuple<int Config::*, int, bool> cases[] = {
        {&Config::templateHeight, -1, false}, {&Config::templateWidth, -1, false},
        {&Config::templateWidth, 161, false}, {&Config::maxTemplates, 0, false},
        {&Config::maxTemplates, 1, true}, {&Config::maxTemplates, 10, true},
        {&Config::maxTemplates, 11, false}, {&Config::reductionDivisor, 0, false},
        {&Config::marginX, -1, false}, {&Config::windowLength, -1, false},
        {&Config::windowLength, 0, true},
        {&Config::marginY, 44, true}, {&Config::marginY, 45, false},  // 32 + 2 * 44 = 120
        {&Config::marginX, 56, true}, {&Config::marginX, 57, false},  // 48 + 2 * 56 = 160
        {&Config::marginY, INT_MAX, false}};  // must not wrap to a small sum
    for (const auto& [field, value, passes] : cases) {
        Config c;
        c.*field = value;
        EXPECT_EQ(passesValidation(c), passes) << value;
    }
    for (double threshold : {0.0, -0.0, std::nan("")})
        EXPECT_TRUE(passesValidation(Config{120, 160, 32, 48, 3, 2, 4, 6, 5, threshold}));
    EXPECT_FALSE(passesValidation(Config{120, 160, 32, 48, 3, 2, 4, 6, 5, -0.5}));
}

TEST(ObjectValidation, SizesBeyondTheLimitsAreRefusedBeforeAnyAllocation)
{
    // Each would reserve gigabytes that a later Run touches.
    const Config refused[] = {
        {16385, 160, 32, 48, 3, 1, 4, 6, 5, 1.0},      // a frame side beyond the limit
        {120, 160, 32, 48, 3, 1, 4, 6, INT_MAX, 1.0},   // a window beyond the limit
        {120, 160, 32, 48, 3, 1, 4, 6, 100001, 1.0},
        {4200, 30000, 30, 3000, 3, 2, 4, 6, 5, 1.0},    // 1500 analysed columns
        {2100, 2100, 2050, 32, 3, 2, 4, 6, 5, 1.0},     // 1025 analysed rows
    };
    for (const Config& c : refused) {
        CRegViaFFT o;
        EXPECT_EQ(create(o, c), 0);
        EXPECT_EQ(ownedPointers(o), kOwnsNothing);
    }
    // The limits themselves pass validation.
    EXPECT_TRUE(passesValidation(Config{16384, 160, 32, 48, 3, 1, 4, 6, 100000, 1.0}));
    EXPECT_TRUE(passesValidation(Config{2100, 2100, 2048, 32, 3, 2, 4, 6, 5, 1.0}));
}

TEST(ObjectValidation, RejectedCreateChangesNothingOnACreatedObject)
{
    CRegViaFFT o;
    create(o, Config{});
    I::gmvX(o) = 7;
    I::frameCount(o) = 3;
    const std::vector<const void*> before = ownedPointers(o);
    EXPECT_EQ(create(o, Config{400, 400, 64, 64, 11, 4, 8, 8, 9, 2.0}), 0);
    EXPECT_EQ(create(o, Config{400, 400, 64, 64, 2, 0, 8, 8, -3, 2.0}), 0);  // two rules broken
    EXPECT_EQ(ownedPointers(o), before);
    EXPECT_EQ((std::vector<int>{I::maxTemplates(o), I::windowLength(o), I::gmvX(o), I::frameCount(o)}),
              (std::vector<int>{3, 5, 7, 3}));
    EXPECT_EQ(o.Release(), 1);
}

TEST(ObjectReducedSizes, FloorOfTheProductAndMarginsRoundedToEven)
{
    CRegViaFFT o;
    create(o, Config{481, 321, 33, 47, 1, 2, 3, 5, 0, 1.0});
    EXPECT_EQ(I::scale(o), 0.5);
    // Margins 1.5 and 2.5 both round to 2.
    EXPECT_EQ(reducedSizes(o), (std::vector<int>{240, 160, 16, 23, 2, 2, 240 * 160, 16 * 23}));
    create(o, Config{481, 321, 33, 47, 1, 2, 7, 5, 0, 1.0});
    EXPECT_EQ(I::reducedMarginY(o), 4);  // 3.5, to even
    // 49 * (1.0 / 49) is just below 1, so it floors to 0, unlike 49 / 49.
    create(o, Config{49, 98, 49, 98, 1, 49, 0, 0, 0, 1.0});
    EXPECT_EQ(reducedSizes(o), (std::vector<int>{0, 1, 0, 1, 0, 0, 0, 0}));
    create(o, Config{481, 321, 33, 47, 1, 1, 3, 5, 0, 1.0});
    EXPECT_EQ(reducedSizes(o), (std::vector<int>{481, 321, 33, 47, 3, 5, 481 * 321, 33 * 47}));
}

TEST(ObjectBuffers, CreateBuildsExactlyTheConfiguredSlotsAndReleaseFreesEverything)
{
    CRegViaFFT o;
    ASSERT_EQ(create(o, Config{}), 1);
    for (int k = 0; k < 10; ++k) {
        const int allocated = (I::tmplGradY(o)[k] != nullptr) + (I::tmplGradX(o)[k] != nullptr) +
                              (I::prevSpectrum(o)[k] != nullptr) + (k < 3 && I::pcSurface(o)[k]);
        EXPECT_EQ(allocated, k < 3 ? 4 : 0) << k;
    }
    EXPECT_EQ(I::dftStatus(o), 0);
    EXPECT_EQ(o.Release(), 1);
    EXPECT_EQ(ownedPointers(o), kOwnsNothing);
    EXPECT_EQ(o.Release(), 1);
    // A template of 0 rows, given or after reduction, cannot be transformed:
    // Create fails but leaves everything releasable.
    for (const Config& c : {Config{120, 160, 0, 48, 2, 1, 4, 6, 0, 1.0},
                            Config{120, 160, 1, 48, 2, 2, 4, 6, 0, 1.0}}) {
        EXPECT_EQ(create(o, c), 0);
        EXPECT_NE(I::dftStatus(o), 0);
        EXPECT_NE(I::historyX(o), nullptr);  // windowLength 0: a valid empty array
        EXPECT_EQ(o.Release(), 1);
        EXPECT_EQ(ownedPointers(o), kOwnsNothing);
    }
}

TEST(ObjectLifecycle, CreateAgainTakesTheNewConfigurationAndResetsMotion)
{
    CRegViaFFT o;
    EXPECT_EQ(o.Release(), 1);  // never created: nothing to free
    ASSERT_EQ(create(o, Config{}), 1);
    I::gmvX(o) = I::prevGmvY(o) = I::accumShiftSumY(o) = I::historyCount(o) = I::frameCount(o) = 4;
    I::recentering(o) = false;
    I::preciseGmvX(o) = I::recenterStepY(o) = 2.5;
    EXPECT_EQ(o.Release(), 1);
    ASSERT_EQ(create(o, Config{90, 100, 20, 30, 5, 1, 2, 3, 7, 0.5}), 1);
    EXPECT_EQ(reducedSizes(o), (std::vector<int>{90, 100, 20, 30, 2, 3, 9000, 600}));
    EXPECT_EQ(I::templateCount(o), 5);
    EXPECT_TRUE(I::tmplGradX(o)[4] != nullptr && I::tmplGradX(o)[5] == nullptr);
    EXPECT_EQ((std::vector<int>{I::gmvX(o), I::prevGmvY(o), I::accumShiftSumY(o),
                                I::historyCount(o), I::frameCount(o), I::recentering(o)}),
              (std::vector<int>{0, 0, 0, 0, 0, 1}));
    EXPECT_EQ((std::vector<double>{I::preciseGmvX(o), I::recenterStepY(o)}), (std::vector<double>{0, 0}));
    // No Release in between: the sanitizer build shows nothing leaks.
    ASSERT_EQ(create(o, Config{64, 64, 16, 16, 1, 1, 0, 0, 2, 1.0}), 1);
    EXPECT_TRUE(I::reducedTemplateArea(o) == 256 && I::tmplGradX(o)[1] == nullptr);
}

TEST(ObjectCopy, AssignmentIsDeepAndIndependent)
{
    CRegViaFFT a, b, never;
    ASSERT_EQ(create(a, Config{}), 1);
    ASSERT_EQ(create(b, Config{64, 64, 16, 16, 1, 1, 0, 0, 2, 1.0}), 1);
    const int n = 16 * 24;
    for (int i = 0; i < n; ++i)
        I::prevSpectrum(a)[2][i] = _DFT_Complex16{1.0 * i, -1.0 * i};
    I::tmplPosX(a)[1] = I::gmvY(a) = 9;

    b = a;  // b's earlier buffers are freed: the sanitizer build shows no leak
    CRegViaFFT& sameObject = b;
    b = sameObject;  // self-assignment keeps everything
    EXPECT_EQ(I::gmvY(b), 9);
    EXPECT_EQ(I::tmplPosX(b)[1], 9);
    EXPECT_TRUE(I::prevSpectrum(b)[2] != I::prevSpectrum(a)[2] && I::tmplGradX(b)[3] == nullptr);
    EXPECT_NE(I::forwardHandle(b), I::forwardHandle(a));
    EXPECT_EQ(std::memcmp(I::prevSpectrum(b)[2], I::prevSpectrum(a)[2], n * 16), 0);
    EXPECT_EQ(DftComputeForward(I::forwardHandle(b), I::prevSpectrum(b)[2], I::fftOutput(b)), 0);
    I::prevSpectrum(b)[2][5].imag = 42.0;
    EXPECT_EQ(I::prevSpectrum(a)[2][5].imag, -5.0);
    EXPECT_EQ(a.Release(), 1);
    EXPECT_EQ(I::prevSpectrum(b)[2][7].real, 7.0);  // still there after a is released
    EXPECT_EQ(b.Release(), 1);

    ASSERT_EQ(create(b, Config{}), 1);
    b = never;  // a source that owns nothing gives a copy that owns nothing
    EXPECT_EQ(ownedPointers(b), kOwnsNothing);
    EXPECT_EQ(I::frameHeight(b), 0);
}

#ifndef REGVIAFFT_TEST_SANITIZED
// The image library reports a failed allocation by exception; it must not
// leave the library. A sanitizer's runtime reserves more address space than
// the limit, so these run in plain builds only.

// Allows the process this much address space beyond what it uses now.
static void limitAddressSpace(rlim_t extra)
{
    long pages = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        pages = std::fscanf(statm, "%ld", &pages) == 1 ? pages : 0;
        std::fclose(statm);
    }
    const rlimit limit{static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + extra,
                       RLIM_INFINITY};
    setrlimit(RLIMIT_AS, &limit);
}

TEST(ObjectMemory, CreateAndCopyReturnZeroWhenImagesCannotBeHad)
{
    // The grey image is the first large block: 256 MB for a 16000 x 16000
    // frame, 64 MB for 8000 x 8000, each given less room than that.
    EXPECT_EXIT(
        {
            limitAddressSpace(200u << 20);
            CRegViaFFT o;
            const bool refused = create(o, Config{16000, 16000, 64, 64, 3, 1, 4, 6, 5, 1.0}) == 0;
            std::_Exit(refused && o.Release() == 1 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(
        {
            CRegViaFFT source;
            if (create(source, Config{8000, 8000, 64, 64, 3, 1, 4, 6, 5, 1.0}) != 1)
                std::_Exit(2);
            limitAddressSpace(32u << 20);
            CRegViaFFT copy;
            copy = source;
            const bool ownsNothing = ownedPointers(copy) == kOwnsNothing;
            std::_Exit(ownsNothing && copy.Release() == 1 && source.Release() == 1 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}
#endif
