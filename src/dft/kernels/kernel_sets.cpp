// The kernel sets this build has and what each needs to run. Built with
// baseline flags: it only compares feature flags, never runs a kernel.
#include "kernel_set.h"

namespace regviafft::dft {

namespace {

struct FamilyEntry {
    KernelFamily family;
    const KernelSet* set;
};

constexpr FamilyEntry kFamilies[] = {
    {KernelFamily::Scalar, &scalarKernelSet},
#if defined(REGVIAFFT_X86_KERNELS)
    {KernelFamily::Sse2, &sse2KernelSet},
    {KernelFamily::Avx, &avxKernelSet},
    {KernelFamily::Avx2Fma, &avx2FmaKernelSet},
    {KernelFamily::Avx512, &avx512KernelSet},
#endif
};

constexpr int32_t kFamilyCount = sizeof(kFamilies) / sizeof(kFamilies[0]);

}  // namespace

int32_t kernelSetCount()
{
    return kFamilyCount;
}

const KernelSet* kernelSetAt(int32_t index)
{
    return index >= 0 && index < kFamilyCount ? kFamilies[index].set : nullptr;
}

const KernelSet* kernelSetOf(KernelFamily family)
{
    for (const FamilyEntry& entry : kFamilies) {
        if (entry.family == family)
            return entry.set;
    }
    return nullptr;
}

bool canRun(const KernelSet* set, const ProcessorFeatures& features)
{
    if (set == nullptr)
        return false;
    switch (set->requirement) {
    case KernelRequirement::None:
        return true;
    case KernelRequirement::Sse2:
        return features.sse2;
    case KernelRequirement::Avx:
        return features.avx;
    case KernelRequirement::Avx2Fma:
        return features.avx2Fma;
    case KernelRequirement::Avx512:
        return features.avx512;
    }
    return false;
}

}  // namespace regviafft::dft
