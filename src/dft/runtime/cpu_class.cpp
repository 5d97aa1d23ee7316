// Processor classification: which variant of the engine this process runs.
// Built with baseline flags only, and decided at first use, never at load.
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "runtime.h"
#include "platform.h"

namespace regviafft::dft {

namespace {

constexpr int32_t kUndecided = -1;

// Effective class (forced or detected), detected class and whether the
// variable forced the class; each is written once under the engine lock and
// read without it afterwards.
std::atomic<int32_t> effectiveClass{kUndecided};
std::atomic<int32_t> detectedClass{kUndecided};
std::atomic<bool> classForced{false};

// Values of the forcing variable that name a class by prefix.
struct ForcingPrefix {
    const char* prefix;
    int32_t processorClass;
};
constexpr ForcingPrefix kForcingPrefixes[] = {
    {"AVX", kClassAvx},
    {"SSE42", kClassSse42},
};

// Numeric forcing values 0 to 6 and the class each forces; 0 only when the
// value is exactly "0", so that an unparsable value is not taken as 0.
constexpr int32_t kForcingByNumber[] = {
    kClassGeneric, kClassGeneric, kClassSse2, kClassSse3, kClassSsse3, kClassSse42, kClassAvx,
};

// Feature tests below AVX, in detection order: the first bit set wins.
enum class FeatureRegister { C, D };
struct FeatureBit {
    int32_t processorClass;
    FeatureRegister reg;
    uint32_t bit;
};
constexpr FeatureBit kFeatureBits[] = {
    {kClassSse42, FeatureRegister::C, 20},
    {kClassSsse3, FeatureRegister::C, 9},
    {kClassSse3, FeatureRegister::C, 0},
    {kClassSse2, FeatureRegister::D, 26},
};

// "GenuineIntel" as leaf 0 returns it in registers B, D and C.
constexpr uint32_t kIntelB = 0x756E6547;
constexpr uint32_t kIntelD = 0x49656E69;
constexpr uint32_t kIntelC = 0x6C65746E;

constexpr uint32_t kOsxsaveBit = 1u << 27;
constexpr uint32_t kAvxBit = 1u << 28;
constexpr uint64_t kXcr0SseAndAvxState = (1u << 1) | (1u << 2);

int32_t detectClass()
{
    if (!platform::cpuidAvailable())
        return kClassGeneric;
    platform::CpuidRegisters vendor = platform::cpuid(0, 0);
    platform::CpuidRegisters features = platform::cpuid(1, 0);
    // The extended control register may only be read once the OS enables it.
    uint64_t xcr0 = (features.c & kOsxsaveBit) != 0 ? platform::readXcr0() : 0;
    return classFromFeatures(vendor.b, vendor.c, vendor.d, features.c, features.d, xcr0);
}

void decideOnce()
{
    engineLock();
    if (effectiveClass.load(std::memory_order_relaxed) == kUndecided) {
        char value[32];
        int32_t forced = kUndecided;
        if (platform::readEnvironment("REGVIAFFT_DEBUG_CPU_TYPE", value, sizeof value))
            forced = parseForcedClass(value);
        int32_t detected = detectClass();
        detectedClass.store(detected, std::memory_order_relaxed);
        classForced.store(forced != kUndecided, std::memory_order_relaxed);
        effectiveClass.store(forced != kUndecided ? forced : detected, std::memory_order_release);
    }
    engineUnlock();
}

}  // namespace

int32_t parseForcedClass(const char* value)
{
    for (const ForcingPrefix& p : kForcingPrefixes) {
        if (std::strncmp(value, p.prefix, std::strlen(p.prefix)) == 0)
            return p.processorClass;
    }
    // strtol rather than atoi: a value beyond the int range stays defined
    // (and is ignored, like every value outside 0 to 6).
    long number = std::strtol(value, nullptr, 10);
    if (number < 0 || number >= kProcessorClassCount)
        return kUndecided;
    if (number == 0 && std::strcmp(value, "0") != 0)
        return kUndecided;
    return kForcingByNumber[number];
}

int32_t classFromFeatures(uint32_t vendorB, uint32_t vendorC, uint32_t vendorD,
                          uint32_t featuresC, uint32_t featuresD, uint64_t xcr0)
{
    bool intel = vendorB == kIntelB && vendorD == kIntelD && vendorC == kIntelC;
    bool avxBits = (featuresC & (kOsxsaveBit | kAvxBit)) == (kOsxsaveBit | kAvxBit);
    if (intel && avxBits && (xcr0 & kXcr0SseAndAvxState) == kXcr0SseAndAvxState)
        return kClassAvx;
    for (const FeatureBit& f : kFeatureBits) {
        uint32_t word = f.reg == FeatureRegister::C ? featuresC : featuresD;
        if ((word >> f.bit) & 1u)
            return f.processorClass;
    }
    return kClassGeneric;
}

const char* processorClassName(int32_t processorClass)
{
    static const char* const kNames[kProcessorClassCount] = {"generic", "unused", "SSE2", "SSE3",
                                                             "SSSE3",   "SSE4.2", "AVX"};
    if (processorClass < 0 || processorClass >= kProcessorClassCount)
        return "unknown";
    return kNames[processorClass];
}

int32_t classifyProcessor()
{
    int32_t cls = effectiveClass.load(std::memory_order_acquire);
    if (cls != kUndecided)
        return cls;
    decideOnce();
    return effectiveClass.load(std::memory_order_acquire);
}

int32_t detectedProcessorClass()
{
    classifyProcessor();
    return detectedClass.load(std::memory_order_relaxed);
}

bool processorClassForced()
{
    classifyProcessor();
    return classForced.load(std::memory_order_relaxed);
}

}  // namespace regviafft::dft
