#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "descriptor.h"
#include "dft_plans.h"
#include "platform.h"
#include "runtime.h"

namespace regviafft::dft {

namespace {

// "GenuineIntel" and "AuthenticAMD" as leaf 0 returns them in B, C, D.
constexpr uint32_t kIntel[3] = {0x756E6547, 0x6C65746E, 0x49656E69};
constexpr uint32_t kAmd[3] = {0x68747541, 0x444D4163, 0x69746E65};
constexpr uint32_t kAvxC = (1u << 27) | (1u << 28);
constexpr uint32_t kSse42C = 1u << 20, kSsse3C = 1u << 9, kSse3C = 1u << 0;
constexpr uint32_t kSse2D = 1u << 26;

TEST(CpuClassForcingValue, PrefixesAndExactNumbersForceEverythingElseIsIgnored)
{
    const struct { const char* value; int32_t expected; } cases[] = {
        {"AVX", 6},   {"AVX512F", 6}, {"avx", -1}, {"SSE42", 5}, {"SSE42x", 5}, {"SSE4", -1},
        {"1", 0},     {"0", 0},       {"2", 2},    {"6", 6},     {"3x", 3},    {"00", -1},
        {"7", -1},    {"-1", -1},     {"abc", -1}, {"", -1},     {"4294967298", -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseForcedClass(c.value), c.expected) << '"' << c.value << '"';
}

TEST(CpuClassDetection, AvxNeedsIntelBothBitsAndOsStateThenFirstFeatureWins)
{
    const uint32_t allC = kAvxC | kSse42C | kSsse3C | kSse3C;
    const struct { const uint32_t* vendor; uint32_t c, d; uint64_t xcr0; int32_t expected; } cases[] = {
        {kIntel, allC, kSse2D, 6, 6},
        {kIntel, kAvxC, 0, 6, 6},
        {kAmd, allC, kSse2D, 6, 5},                  // only the AVX test looks at the vendor
        {kIntel, allC & ~(1u << 27), kSse2D, 6, 5},  // no OSXSAVE
        {kIntel, allC & ~(1u << 28), kSse2D, 6, 5},  // no AVX
        {kIntel, allC, kSse2D, 2, 5},                // AVX state not enabled
        {kIntel, allC, kSse2D, 4, 5},
        {kIntel, kSse42C, 0, 0, 5},                  // no lower feature needed
        {kIntel, kSsse3C | kSse3C, kSse2D, 0, 4},
        {kIntel, kSse3C, kSse2D, 0, 3},
        {kIntel, 0, kSse2D, 0, 2},
        {kIntel, 1u << 19, 1u << 25, 0, 0},          // SSE4.1 and SSE: neighbours of the tested bits
    };
    EXPECT_TRUE(platform::cpuidAvailable());  // every x86-64 processor can toggle the flag
    for (const auto& c : cases) {
        EXPECT_EQ(classFromFeatures(c.vendor[0], c.vendor[1], c.vendor[2], c.c, c.d, c.xcr0), c.expected)
            << std::hex << "C=" << c.c << " D=" << c.d << " XCR0=" << c.xcr0;
    }
}

// Cache types in register A of the cache-parameter leaf.
constexpr uint32_t kData = 1, kInstruction = 2, kUnified = 3;

// Register B of the cache-parameter leaf from its three fields (each minus one).
uint32_t geometry(uint32_t ways, uint32_t partitions, uint32_t lineSize)
{
    return ((ways - 1) << 22) | ((partitions - 1) << 12) | (lineSize - 1);
}

TEST(CacheLevelDecoding, SizeIsTheProductOfFieldsPlusOneAndStopRulesHold)
{
    // 8 ways x 64-byte lines x 64 sets: a 32 KiB first-level data cache.
    EXPECT_EQ(cacheLevelSize(kData | (1u << 5), geometry(8, 1, 64), 63), 32768);
    // The largest field values, so no field is truncated or shifted wrongly.
    EXPECT_EQ(cacheLevelSize(kUnified, geometry(1024, 1024, 4096), 1023), int64_t{1} << 42);
    EXPECT_EQ(cacheLevelSize(kUnified, geometry(2, 1, 1), 0xFFFFFFFFu), int64_t{1} << 33);
    EXPECT_EQ(cacheLevelSize(kUnified, geometry(16, 2, 64), 1023), 16 * 2 * 64 * 1024);
    EXPECT_EQ(cacheLevelSize(kInstruction, geometry(8, 1, 64), 63), kCacheLevelSkipped);
    EXPECT_EQ(cacheLevelSize(0x20 /* level 1, type 0 */, geometry(8, 1, 64), 63), kCacheEnumerationEnd);
    EXPECT_EQ(cacheLevelSize(kData, 0, 63), kCacheEnumerationEnd);
    EXPECT_EQ(cacheLevelSize(kData, geometry(8, 1, 64), 0), kCacheEnumerationEnd);
}

TEST(CacheLevelTable, LevelZeroIsTheLastLevelAndUnknownLevelsGiveMinusOne)
{
    const int32_t levels = cacheLevelCount();
    EXPECT_EQ(lastLevelCacheSize(levels + 1), -1);
    EXPECT_EQ(lastLevelCacheSize(-1), -1);
    EXPECT_EQ(lastLevelCacheSize(0), levels > 0 ? lastLevelCacheSize(levels) : 0);
    for (int32_t level = 1; level <= levels; ++level)
        EXPECT_GT(lastLevelCacheSize(level), 0) << "level " << level;
}

// Leaf-1 C and D, leaf-7 B and XCR0 of a processor with everything up to
// AVX-512, and the bit of each that the features need.
constexpr uint32_t kFmaC = 1u << 12;
constexpr uint32_t kAvx2B = 1u << 5, kAvx512B = (1u << 16) | (1u << 17) | (1u << 31);
constexpr uint64_t kYmmState = 0x6, kZmmState = 0xE6;

TEST(CpuFeatures, EachLevelNeedsItsInstructionsTheLevelBelowAndTheOsState)
{
    const uint32_t c = kAvxC | kFmaC | kSse42C, d = kSse2D, b = kAvx2B | kAvx512B;
    struct Case {
        uint32_t c, d, b;
        uint64_t xcr0;
        ProcessorFeatures expected;  // sse2, avx, avx2Fma, avx512
    };
    const Case cases[] = {
        {c, d, b, kZmmState, {true, true, true, true}},
        {c, d, b, kYmmState, {true, true, true, false}},             // no 512-bit state
        {c, d, b & ~(1u << 31), kZmmState, {true, true, true, false}},  // no VL
        {c, d, b & ~(1u << 17), kZmmState, {true, true, true, false}},  // no DQ
        {c & ~kFmaC, d, b, kZmmState, {true, true, false, false}},    // no FMA: nothing above AVX
        {c, d, kAvx512B, kZmmState, {true, true, false, false}},      // no AVX2
        {c, d, b, 0x2, {true, false, false, false}},                  // no 256-bit state
        {c & ~(1u << 27), d, b, kZmmState, {true, false, false, false}},  // no OSXSAVE
        {c, 0, b, kZmmState, {false, false, false, false}},           // no SSE2: nothing at all
    };
    for (const Case& k : cases) {
        const ProcessorFeatures f = featuresFromRegisters(k.c, k.d, k.b, k.xcr0);
        EXPECT_TRUE(f.sse2 == k.expected.sse2 && f.avx == k.expected.avx &&
                    f.avx2Fma == k.expected.avx2Fma && f.avx512 == k.expected.avx512)
            << std::hex << "C=" << k.c << " D=" << k.d << " B=" << k.b << " XCR0=" << k.xcr0;
    }
}

// The kernels a variant runs on a processor with the given registers; the
// vendor enters only through the class it is detected as.
const KernelSet* kernelsOn(const ProcessorVariant* variant, uint32_t c, uint32_t b, uint64_t xcr0)
{
    return kernelsFor(variant, featuresFromRegisters(c, kSse2D, b, xcr0));
}

// A detected class runs the widest kernels the features and the OS state
// allow, whatever the vendor; a forced class runs its own. The first row is
// a processor of the other vendor with AVX-512: detected as SSE4.2, it must
// still run the 512-bit kernels.
TEST(CpuClassKernels, DetectedClassRunsTheWidestKernelsForcedClassItsOwn)
{
    if (kernelSetOf(KernelFamily::Avx512) == nullptr)
        GTEST_SKIP() << "this build has no x86 kernels";
    const uint32_t c = kAvxC | kFmaC | kSse42C | kSsse3C | kSse3C, b = kAvx2B | kAvx512B;
    const struct {
        uint32_t c, b;
        uint64_t xcr0;
        KernelFamily widest;
    } cases[] = {
        {c, b, kZmmState, KernelFamily::Avx512},
        {c, b, kYmmState, KernelFamily::Avx2Fma},               // no opmask or 512-bit state
        {c, b, kYmmState | (1u << 5) | (1u << 6), KernelFamily::Avx2Fma},  // upper 16 not saved
        {c, b & ~(1u << 16), kZmmState, KernelFamily::Avx2Fma},  // no AVX-512F
        {c & ~kFmaC, b, kZmmState, KernelFamily::Avx},
        {c, kAvx512B, kZmmState, KernelFamily::Avx},             // no AVX2
        {c, b, 0x2, KernelFamily::Sse2},                         // no 256-bit state
        {c & ~(1u << 27), b, kZmmState, KernelFamily::Sse2},     // no OSXSAVE
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << "C=" << k.c << " B=" << k.b << " XCR0=" << k.xcr0);
        for (const uint32_t* vendor : {kAmd, kIntel}) {
            const int32_t cls = classFromFeatures(vendor[0], vendor[1], vendor[2], k.c, kSse2D, k.xcr0);
            EXPECT_EQ(kernelsOn(detectedVariantForClass(cls), k.c, k.b, k.xcr0), kernelSetOf(k.widest))
                << processorClassName(cls);
        }
        EXPECT_EQ(kernelsOn(variantForClass(kClassSse42), k.c, k.b, k.xcr0), &sse2KernelSet);
        EXPECT_EQ(kernelsOn(variantForClass(kClassGeneric), k.c, k.b, k.xcr0), &scalarKernelSet);
        EXPECT_EQ(kernelsOn(variantForClass(kClassAvx), k.c, k.b, k.xcr0), kernelSetOf(k.widest));
    }
    // Without SSE2 nothing but the scalar kernels runs, detected or not.
    EXPECT_EQ(kernelsFor(detectedVariantForClass(kClassGeneric), featuresFromRegisters(c, 0, b, kZmmState)),
              &scalarKernelSet);
    // Detection changes only the kernels and their alignment: name, class and
    // methods stay the class's, so the cube method still starts at SSE3.
    for (int32_t cls = 0; cls < kProcessorClassCount; ++cls) {
        const ProcessorVariant* own = variantForClass(cls);
        const ProcessorVariant* detected = detectedVariantForClass(cls);
        EXPECT_TRUE(std::strcmp(own->name, detected->name) == 0 &&
                    own->processorClass == detected->processorClass &&
                    own->doubleComplexMethods == detected->doubleComplexMethods &&
                    detected->workspaceAlignment == variantForClass(kClassAvx)->workspaceAlignment)
            << processorClassName(cls);
    }
}

// Forward and backward transforms by a head the given variant builds. Rows
// of 79 need a chirp plan's work, so the commit allocates a workspace: the
// AVX variant's starts on a page, the others' on 16 bytes.
Signal transformWith(const ProcessorVariant* variant, int32_t n1, int32_t n2)
{
    int32_t internalLengths[2] = {n2, n1};
    Descriptor d;
    EXPECT_EQ(constructDescriptor(&d.h, variant, DFT_DOUBLE, DFT_COMPLEX, 2, internalLengths), 0);
    const int32_t dense[3] = {0, n2, 1};
    EXPECT_EQ(configure(d.h, DFT_NOT_INPLACE, dense, dense), 0);
    if (n2 == 79) {
        EXPECT_NE(d.h->workspace, nullptr);
        const uintptr_t address = reinterpret_cast<uintptr_t>(d.h->workspace);
        EXPECT_EQ(address % (variant == variantForClass(kClassAvx) ? 4096 : 16), 0u) << variant->name;
    }
    Signal in = testSignal(size_t(n1) * n2, 0.37), out(2 * in.size());
    EXPECT_EQ(DftComputeForward(d.h, in.data(), out.data()), 0);
    EXPECT_EQ(DftComputeBackward(d.h, out.data(), &out[in.size()]), 0);
    return out;
}

// Every class's variant (and whichever class this process forces for its
// member descriptors) computes the same transform as the generic one: a
// forced class runs the kernels this processor can execute.
TEST(CpuClassVariants, EveryClassComputesTheSameTransformOnAlignedWorkspace)
{
    fillSequentialThreadServices(sharedThreadServices());
    const int32_t shapes[][2] = {{12, 20}, {16, 64}, {7, 79}};
    for (const auto& s : shapes) {
        const Signal reference = transformWith(variantForClass(kClassGeneric), s[0], s[1]);
        for (int32_t cls = kClassSse2; cls < kProcessorClassCount; ++cls) {
            const Signal got = transformWith(variantForClass(cls), s[0], s[1]);
            EXPECT_LE(relativeError(got.data(), reference.data(), int64_t(reference.size())), 1e-13)
                << processorClassName(cls) << " " << s[0] << "x" << s[1];
        }
    }
}

// Registered once per forcing value with REGVIAFFT_TEST_EXPECT_CLASS set to
// the class expected, or to "detected" when the value must be ignored.
TEST(CpuClassForcedProcess, EffectiveClassAndVariantFollowTheVariable)
{
    const char* expect = std::getenv("REGVIAFFT_TEST_EXPECT_CLASS");
    if (expect == nullptr)
        GTEST_SKIP() << "runs from the forcing registrations only";
    ASSERT_NE(std::getenv("REGVIAFFT_DEBUG_CPU_TYPE"), nullptr);
    const int32_t detected = detectedProcessorClass();
    const int32_t expected = std::strcmp(expect, "detected") == 0 ? detected : std::atoi(expect);
    EXPECT_EQ(classifyProcessor(), expected);
    EXPECT_STREQ(activeVariantName(), variantForClass(expected)->name);
}

// The variant in force: a forced class's own, the detected class's with the
// widest kernels when the variable is unset or ignored.
TEST(CpuClassForcedProcess, ForcedClassRunsItsOwnKernelsOtherwiseTheWidest)
{
    const bool forced = std::getenv("REGVIAFFT_DEBUG_CPU_TYPE") != nullptr &&
                        parseForcedClass(std::getenv("REGVIAFFT_DEBUG_CPU_TYPE")) >= 0;
    EXPECT_EQ(processorClassForced(), forced);
    const ProcessorVariant* expected = forced ? variantForClass(classifyProcessor())
                                              : detectedVariantForClass(detectedProcessorClass());
    EXPECT_EQ(activeVariant(), expected);
    EXPECT_EQ(variantKernels(activeVariant()), kernelsFor(expected, processorFeatures()));
}

}  // namespace

}  // namespace regviafft::dft
