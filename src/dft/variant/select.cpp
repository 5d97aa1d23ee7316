// Which processor variant serves this process: decided once, at first use.
#include <atomic>

#include "../engine.h"
#include "variant.h"

namespace {

// Indexed by processor class; every class runs the generic kernels until the
// vectorised variants exist. Class 1 is never produced.
const VariantOps* const kVariantByClass[] = {
    &genericVariant,  // generic
    &genericVariant,  // 1, unused
    &genericVariant,  // SSE2
    &genericVariant,  // SSE3
    &genericVariant,  // SSSE3
    &genericVariant,  // SSE4.2
    &genericVariant,  // AVX
};
constexpr int32_t kClassCount = sizeof(kVariantByClass) / sizeof(kVariantByClass[0]);

std::atomic<const VariantOps*> chosen{nullptr};

}  // namespace

const VariantOps* variantForClass(int32_t processorClass)
{
    if (processorClass < 0 || processorClass >= kClassCount)
        return &genericVariant;
    return kVariantByClass[processorClass];
}

const VariantOps* activeVariant()
{
    const VariantOps* v = chosen.load(std::memory_order_acquire);
    if (v != nullptr)
        return v;
    // Classification takes the engine lock itself, so it runs before ours.
    const VariantOps* candidate = variantForClass(classifyProcessor());
    engineLock();
    v = chosen.load(std::memory_order_relaxed);
    if (v == nullptr) {
        v = candidate;
        chosen.store(v, std::memory_order_release);
    }
    engineUnlock();
    return v;
}

const char* activeVariantName()
{
    return activeVariant()->name;
}
