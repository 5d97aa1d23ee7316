// Processor variants: what each processor class gets, and which variant and
// kernels serve this process, decided once at first use. Built with
// baseline flags: choosing never runs a kernel.
#include <atomic>

#include "descriptor.h"

namespace regviafft::dft {

namespace {

// The three-dimensional cube method comes before the general method from
// SSE3 on; the general method serves everything else.
const DftMethod* const kBaselineMethods[] = {
    &splitStorage1DMethod, &splitStorage2DMethod, &splitStorageNDMethod, &generalMethod, nullptr,
};
const DftMethod* const kCubeFirstMethods[] = {
    &splitStorage1DMethod, &splitStorage2DMethod, &splitStorageNDMethod,
    &cubeMethod,           &generalMethod,        nullptr,
};
// Single precision and the real domain have no method.
const DftMethod* const kNoMethods[] = {nullptr};

constexpr KernelFamily kScalarKernels[] = {KernelFamily::Scalar};
constexpr KernelFamily kSseKernels[] = {KernelFamily::Sse2, KernelFamily::Scalar};
// The AVX class runs 512-bit kernels where the processor has AVX-512 F, DQ
// and VL and the OS saves the 512-bit registers (leaf 7 and XCR0, see
// runtime/cpu_features.cpp), else 256-bit ones with FMA where it has AVX2 and
// FMA, else plain 256-bit ones.
constexpr KernelFamily kAvxKernels[] = {KernelFamily::Avx512, KernelFamily::Avx2Fma,
                                        KernelFamily::Avx, KernelFamily::Sse2,
                                        KernelFamily::Scalar};

constexpr size_t kBaselineAlignment = 16;
constexpr size_t kAvxAlignment = 4096;  // page-aligned workspaces and buffers

template <size_t N>
constexpr int32_t countOf(const KernelFamily (&)[N])
{
    return static_cast<int32_t>(N);
}

// Indexed by processor class; class 1 is never produced and gets the generic one.
const ProcessorVariant kVariants[kProcessorClassCount] = {
    {"generic", kClassGeneric, kBaselineAlignment, kBaselineMethods, kScalarKernels,
     countOf(kScalarKernels)},
    {"generic", kClassGeneric, kBaselineAlignment, kBaselineMethods, kScalarKernels,
     countOf(kScalarKernels)},
    {"sse2", kClassSse2, kBaselineAlignment, kBaselineMethods, kSseKernels, countOf(kSseKernels)},
    {"sse3", kClassSse3, kBaselineAlignment, kCubeFirstMethods, kSseKernels,
     countOf(kSseKernels)},
    {"ssse3", kClassSsse3, kBaselineAlignment, kCubeFirstMethods, kSseKernels,
     countOf(kSseKernels)},
    {"sse42", kClassSse42, kBaselineAlignment, kCubeFirstMethods, kSseKernels,
     countOf(kSseKernels)},
    {"avx", kClassAvx, kAvxAlignment, kCubeFirstMethods, kAvxKernels, countOf(kAvxKernels)},
};

std::atomic<const ProcessorVariant*> chosenVariant{nullptr};
std::atomic<const KernelSet*> chosenKernels[kProcessorClassCount] = {};

const KernelSet* firstRunnable(const ProcessorVariant* variant)
{
    const ProcessorFeatures& features = processorFeatures();
    for (int32_t i = 0; i < variant->kernelPreferenceCount; ++i) {
        const KernelSet* set = kernelSetOf(variant->kernelPreference[i]);
        if (canRun(set, features))
            return set;
    }
    return kernelSetOf(KernelFamily::Scalar);
}

}  // namespace

const ProcessorVariant* variantForClass(int32_t processorClass)
{
    if (processorClass < 0 || processorClass >= kProcessorClassCount)
        return &kVariants[kClassGeneric];
    return &kVariants[processorClass];
}

// Any thread may fill the cached choices; all fill them with the same value.
const ProcessorVariant* activeVariant()
{
    const ProcessorVariant* v = chosenVariant.load(std::memory_order_acquire);
    if (v == nullptr) {
        v = variantForClass(classifyProcessor());
        chosenVariant.store(v, std::memory_order_release);
    }
    return v;
}

const char* activeVariantName()
{
    return activeVariant()->name;
}

const KernelSet* variantKernels(const ProcessorVariant* variant)
{
    std::atomic<const KernelSet*>& slot = chosenKernels[variant - kVariants];
    const KernelSet* set = slot.load(std::memory_order_acquire);
    if (set == nullptr) {
        set = firstRunnable(variant);
        slot.store(set, std::memory_order_release);
    }
    return set;
}

const DftMethod* const* variantMethods(const ProcessorVariant* variant, int32_t precision,
                                       int32_t domain)
{
    if (precision == DFT_DOUBLE && domain == DFT_COMPLEX)
        return variant->doubleComplexMethods;
    return kNoMethods;
}

}  // namespace regviafft::dft
