#include <gtest/gtest.h>

#include <cfloat>
#include <cstring>
#include <vector>

#include "dft_plans.h"
#include "naive_dft.h"
#include "plan_1d.h"
#include "variant/variant.h"

namespace {

// A few roundings reach each output, each within eps of the largest
// magnitude (measured: under 1 eps); a wrong constant or index is far off.
constexpr double kTolerance = 4 * DBL_EPSILON;

const int64_t kCodeletLengths[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 32};

struct PlanOwner {
    DftPlan1D* plan = nullptr;
    ~PlanOwner() { planDestroy(plan); }
};

}  // namespace

TEST(Codelet, EveryLengthMatchesDefinitionInBothDirections) {
    for (const int64_t n : kCodeletLengths) {
        const std::vector<_DFT_Complex16> x = testSignal(static_cast<size_t>(n), 0.37 + n);
        for (const bool forward : {true, false}) {
            std::vector<_DFT_Complex16> y(static_cast<size_t>(n));
            codeletRoutine(n, forward)(x.data(), y.data());
            const std::vector<_DFT_Complex16> expected = naiveDft(x.data(), n, forward);
            EXPECT_LE(relativeError(y.data(), expected.data(), n), kTolerance)
                << "n = " << n << (forward ? " forward" : " backward");
        }
    }
}

// Each codelet reads its whole input before writing: the in-place result is
// bit-identical, and an out-of-place call leaves the input as it was.
TEST(Codelet, InPlaceEqualsOutOfPlaceAndInputIsPreserved) {
    for (const int64_t n : kCodeletLengths) {
        const std::vector<_DFT_Complex16> x = testSignal(static_cast<size_t>(n), 1.9 + n);
        for (const bool forward : {true, false}) {
            std::vector<_DFT_Complex16> in = x;
            std::vector<_DFT_Complex16> out(static_cast<size_t>(n));
            codeletRoutine(n, forward)(in.data(), out.data());
            EXPECT_EQ(std::memcmp(in.data(), x.data(), sizeof(x[0]) * x.size()), 0) << n;
            codeletRoutine(n, forward)(in.data(), in.data());
            EXPECT_EQ(std::memcmp(in.data(), out.data(), sizeof(x[0]) * x.size()), 0) << n;
        }
    }
}

TEST(Codelet, PlansUpToSixteenAreCodeletsWithoutWorkAndMatchTheRoutine) {
    for (int64_t n = 1; n <= 16; ++n) {
        PlanOwner owner;
        ASSERT_EQ(planCreate(&owner.plan, &genericVariant, n), kPlanOk) << n;
        EXPECT_EQ(owner.plan->kind, PlanKind::Codelet) << n;
        EXPECT_EQ(owner.plan->workBytes, 0u) << n;
        const std::vector<_DFT_Complex16> x = testSignal(static_cast<size_t>(n), 0.8);
        std::vector<_DFT_Complex16> viaPlan(x.size()), direct(x.size());
        ASSERT_EQ(planBackward(owner.plan, x.data(), viaPlan.data(), nullptr), kPlanOk);
        codeletRoutine(n, false)(x.data(), direct.data());
        EXPECT_EQ(std::memcmp(viaPlan.data(), direct.data(), sizeof(x[0]) * x.size()), 0) << n;
    }
}

TEST(Codelet, OtherLengthsHaveNoRoutineAndNoPlan) {
    for (const int64_t n : {-1, 0, 17, 31, 33, 64}) {
        EXPECT_EQ(codeletRoutine(n, true), nullptr) << n;
        DftPlan1D plan{PlanKind::Codelet, n, false, 0, &codeletPlanOps, &genericVariant, nullptr};
        EXPECT_EQ(codeletPlanOps.create(&plan), kPlanBadLength) << n;
    }
}
