// Processor variants: what each processor class gets, and which variant and
// kernels serve this process, decided once at first use. Built with
// baseline flags: choosing never runs a kernel.
#include <array>
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
// The widest kernels the processor executes: 512-bit ones where it has
// AVX-512 F, DQ and VL and the OS saves the opmask and 512-bit registers,
// else 256-bit ones with FMA where it has AVX2 and FMA, else plain 256-bit
// ones, else 128-bit ones (leaf 7 and XCR0, see runtime/cpu_features.cpp).
// The AVX class runs these, and so does every class that was detected rather
// than forced, whatever the processor's vendor.
constexpr KernelFamily kWidestKernels[] = {KernelFamily::Avx512, KernelFamily::Avx2Fma,
                                           KernelFamily::Avx, KernelFamily::Sse2,
                                           KernelFamily::Scalar};

constexpr size_t kBaselineAlignment = 16;
constexpr size_t kAvxAlignment = 4096;  // page-aligned workspaces and buffers

template <size_t N>
constexpr int32_t countOf(const KernelFamily (&)[N])
{
    return static_cast<int32_t>(N);
}

enum KernelChoice : int32_t { kClassOwnKernels, kWidestRunnableKernels, kKernelChoiceCount };

// A class's variant as detection serves it: the class's name and methods,
// the processor's widest kernels with the alignment they are tuned for (on
// 16-byte workspaces the 512-bit kernels lose up to a fifth on chirp and
// mixed-radix sizes).
constexpr ProcessorVariant withWidestKernels(ProcessorVariant variant)
{
    variant.kernelPreference = kWidestKernels;
    variant.kernelPreferenceCount = countOf(kWidestKernels);
    variant.workspaceAlignment = kAvxAlignment;
    return variant;
}

// Indexed by processor class; class 1 is never produced and gets the generic one.
constexpr ProcessorVariant kClassVariants[kProcessorClassCount] = {
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
    {"avx", kClassAvx, kAvxAlignment, kCubeFirstMethods, kWidestKernels, countOf(kWidestKernels)},
};

// Row kClassOwnKernels: each class as a forced class gets it, so that every
// kernel set stays testable; row kWidestRunnableKernels: each class as the
// detected class gets it. One flat array, so that a variant's place in it
// indexes its cached kernels.
constexpr int32_t kVariantCount = kKernelChoiceCount * kProcessorClassCount;
constexpr int32_t variantIndex(KernelChoice choice, int32_t processorClass)
{
    return choice * kProcessorClassCount + processorClass;
}
using VariantTable = std::array<ProcessorVariant, kVariantCount>;
constexpr VariantTable makeVariantTable()
{
    VariantTable table{};
    for (int32_t c = 0; c < kProcessorClassCount; ++c) {
        table[variantIndex(kClassOwnKernels, c)] = kClassVariants[c];
        table[variantIndex(kWidestRunnableKernels, c)] = withWidestKernels(kClassVariants[c]);
    }
    return table;
}
constexpr VariantTable kVariants = makeVariantTable();

std::atomic<const ProcessorVariant*> chosenVariant{nullptr};
std::atomic<const KernelSet*> chosenKernels[kVariantCount] = {};

const ProcessorVariant* variantOf(int32_t processorClass, KernelChoice choice)
{
    if (processorClass < 0 || processorClass >= kProcessorClassCount)
        processorClass = kClassGeneric;
    return &kVariants[variantIndex(choice, processorClass)];
}

}  // namespace

const ProcessorVariant* variantForClass(int32_t processorClass)
{
    return variantOf(processorClass, kClassOwnKernels);
}

const ProcessorVariant* detectedVariantForClass(int32_t processorClass)
{
    return variantOf(processorClass, kWidestRunnableKernels);
}

// Any thread may fill the cached choices; all fill them with the same value.
const ProcessorVariant* activeVariant()
{
    const ProcessorVariant* v = chosenVariant.load(std::memory_order_acquire);
    if (v == nullptr) {
        v = processorClassForced() ? variantForClass(classifyProcessor())
                                   : detectedVariantForClass(classifyProcessor());
        chosenVariant.store(v, std::memory_order_release);
    }
    return v;
}

const char* activeVariantName()
{
    return activeVariant()->name;
}

const KernelSet* kernelsFor(const ProcessorVariant* variant, const ProcessorFeatures& features)
{
    for (int32_t i = 0; i < variant->kernelPreferenceCount; ++i) {
        const KernelSet* set = kernelSetOf(variant->kernelPreference[i]);
        if (canRun(set, features))
            return set;
    }
    return kernelSetOf(KernelFamily::Scalar);
}

const KernelSet* variantKernels(const ProcessorVariant* variant)
{
    std::atomic<const KernelSet*>& slot = chosenKernels[variant - kVariants.data()];
    const KernelSet* set = slot.load(std::memory_order_acquire);
    if (set == nullptr) {
        set = kernelsFor(variant, processorFeatures());
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
