// One-dimensional plans: the choice of kind by length, and the compute entry
// points that supply a 32-byte aligned work buffer to the kind's routine.
#include <cstdint>

#include "plan_1d.h"
#include "variant/variant.h"

namespace {

constexpr int64_t kLargestCodelet = 16;
constexpr int64_t kPowerOfTwoLimit = int64_t{1} << 27;   // orders up to 26
constexpr int64_t kFactorisedLimit = int64_t{1} << 26;
constexpr int64_t kChirpLimit = int64_t{1} << 25;

bool isPowerOfTwo(int64_t n) { return n > 0 && (n & (n - 1)) == 0; }

// Null when the variant has no routine for the length's kind.
const PlanKindOps* opsFor(const VariantOps* variant, PlanKind kind) {
    return variant == nullptr ? nullptr : variant->planKinds[static_cast<int>(kind)];
}

template <bool Forward>
int32_t compute(const DftPlan1D* plan, const Complex* src, Complex* dst, void* work) {
    if (plan == nullptr || plan->ops == nullptr || src == nullptr || dst == nullptr) {
        return kPlanBadLength;
    }
    void* ownWork = nullptr;
    if (work != nullptr) {
        const uintptr_t address = reinterpret_cast<uintptr_t>(work);
        work = reinterpret_cast<void*>((address + kPlanWorkAlignment - 1) & ~uintptr_t{kPlanWorkAlignment - 1});
    } else if (plan->workBytes > 0) {
        ownWork = planAllocate(static_cast<int64_t>(plan->workBytes));
        if (ownWork == nullptr) {
            return kPlanNoMemory;
        }
        work = ownWork;
    }
    const int32_t status = Forward ? plan->ops->forward(plan, src, dst, work)
                                   : plan->ops->backward(plan, src, dst, work);
    planRelease(ownWork);
    return status;
}

}  // namespace

bool planLengthSupported(int64_t length) {
    if (length < 1) {
        return false;
    }
    if (length <= kLargestCodelet) {
        return true;
    }
    if (isPowerOfTwo(length)) {
        return length < kPowerOfTwoLimit;
    }
    RadixFactors factors;
    if (length < kFactorisedLimit && factoriseMixedRadix(length, &factors)) {
        return true;
    }
    return length < kChirpLimit;
}

PlanKind choosePlanKind(int64_t length) {
    if (length <= kLargestCodelet) {
        return PlanKind::Codelet;
    }
    // 32 is a power-of-two plan of order 5 whose compute is the 32-point codelet.
    if (isPowerOfTwo(length)) {
        return PlanKind::FftPow2;
    }
    RadixFactors factors;
    if (length < kFactorisedLimit && factoriseMixedRadix(length, &factors)) {
        return PlanKind::MixedRadix;
    }
    if (length <= kMaxDirectLength) {
        return PlanKind::Direct;
    }
    return PlanKind::Chirp;
}

int32_t planCreate(DftPlan1D** out, const VariantOps* variant, int64_t length) {
    if (out == nullptr) {
        return kPlanBadLength;
    }
    *out = nullptr;
    if (!planLengthSupported(length)) {
        return kPlanBadLength;
    }
    const PlanKind kind = choosePlanKind(length);
    const PlanKindOps* ops = opsFor(variant, kind);
    if (ops == nullptr) {
        return kPlanBadLength;
    }
    auto* plan = static_cast<DftPlan1D*>(planAllocate(static_cast<int64_t>(sizeof(DftPlan1D))));
    if (plan == nullptr) {
        return kPlanNoMemory;
    }
    *plan = DftPlan1D{kind, length, false, 0, ops, variant, nullptr};
    // A failing create has already freed whatever tables it built.
    const int32_t status = ops->create(plan);
    if (status != kPlanOk) {
        planRelease(plan);
        return status;
    }
    *out = plan;
    return kPlanOk;
}

int32_t planForward(const DftPlan1D* plan, const Complex* src, Complex* dst, void* work) {
    return compute<true>(plan, src, dst, work);
}

int32_t planBackward(const DftPlan1D* plan, const Complex* src, Complex* dst, void* work) {
    return compute<false>(plan, src, dst, work);
}

void planDestroy(DftPlan1D* plan) {
    if (plan == nullptr) {
        return;
    }
    if (plan->ops != nullptr && plan->ops->release != nullptr) {
        plan->ops->release(plan);
    }
    planRelease(plan);
}

int32_t planStatusToDft(int32_t planStatus) {
    if (planStatus == kPlanOk) {
        return DFT_NO_ERROR;
    }
    return planStatus == kPlanNoMemory ? DFT_MEMORY_ERROR : DFT_INTERNAL_ERROR;
}
