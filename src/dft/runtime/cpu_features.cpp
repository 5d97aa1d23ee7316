// Which instruction sets this process may execute, whatever the processor's
// vendor. The processor class names the variant a descriptor gets; these
// features bound the kernels that variant can run, so that a forced class
// never executes an instruction the processor lacks.
#include <atomic>

#include "platform.h"
#include "runtime.h"

namespace regviafft::dft {

namespace {

constexpr uint32_t kLeaf1DSse2 = 1u << 26;
constexpr uint32_t kLeaf1CFma = 1u << 12;
constexpr uint32_t kLeaf1COsxsave = 1u << 27;
constexpr uint32_t kLeaf1CAvx = 1u << 28;
constexpr uint32_t kLeaf7BAvx2 = 1u << 5;
constexpr uint32_t kLeaf7BAvx512F = 1u << 16;
constexpr uint32_t kLeaf7BAvx512Dq = 1u << 17;
constexpr uint32_t kLeaf7BAvx512Vl = 1u << 31;
// XCR0: the OS saves the SSE and AVX halves (bits 1, 2), and the opmask and
// both upper parts of the 512-bit registers (bits 5 to 7).
constexpr uint64_t kXcr0YmmState = (1u << 1) | (1u << 2);
constexpr uint64_t kXcr0ZmmState = kXcr0YmmState | (1u << 5) | (1u << 6) | (1u << 7);

bool allSet(uint64_t word, uint64_t bits)
{
    return (word & bits) == bits;
}

ProcessorFeatures readFeatures()
{
    if (!platform::cpuidAvailable())
        return {};
    const uint32_t highestLeaf = platform::cpuid(0, 0).a;
    const platform::CpuidRegisters leaf1 = platform::cpuid(1, 0);
    const uint32_t leaf7B = highestLeaf >= 7 ? platform::cpuid(7, 0).b : 0;
    // The extended control register may only be read once the OS enables it.
    const uint64_t xcr0 = (leaf1.c & kLeaf1COsxsave) != 0 ? platform::readXcr0() : 0;
    return featuresFromRegisters(leaf1.c, leaf1.d, leaf7B, xcr0);
}

std::atomic<bool> featuresRead{false};
ProcessorFeatures features{};

}  // namespace

ProcessorFeatures featuresFromRegisters(uint32_t leaf1C, uint32_t leaf1D, uint32_t leaf7B,
                                        uint64_t xcr0)
{
    ProcessorFeatures f{};
    f.sse2 = allSet(leaf1D, kLeaf1DSse2);
    f.avx = f.sse2 && allSet(leaf1C, kLeaf1COsxsave | kLeaf1CAvx) && allSet(xcr0, kXcr0YmmState);
    f.avx2Fma = f.avx && allSet(leaf1C, kLeaf1CFma) && allSet(leaf7B, kLeaf7BAvx2);
    f.avx512 = f.avx2Fma && allSet(leaf7B, kLeaf7BAvx512F | kLeaf7BAvx512Dq | kLeaf7BAvx512Vl) &&
               allSet(xcr0, kXcr0ZmmState);
    return f;
}

const ProcessorFeatures& processorFeatures()
{
    if (!featuresRead.load(std::memory_order_acquire)) {
        engineLock();
        if (!featuresRead.load(std::memory_order_relaxed)) {
            features = readFeatures();
            featuresRead.store(true, std::memory_order_release);
        }
        engineUnlock();
    }
    return features;
}

}  // namespace regviafft::dft
