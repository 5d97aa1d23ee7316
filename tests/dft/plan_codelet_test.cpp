#include <gtest/gtest.h>

#include <cfloat>

#include "dft_plans.h"
#include "naive_dft.h"

namespace {

// A few roundings reach each output, each within eps of the largest
// magnitude (measured: under 1 eps); a wrong constant or index is far off.
constexpr double kTolerance = 4 * DBL_EPSILON;

// Each codelet reads its whole input before writing: the in-place result is
// bit-identical, and an out-of-place call leaves the input as it was.
TEST(Codelet, EveryLengthMatchesDefinitionInPlaceAndOutOfPlace) {
    for (const int64_t n : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 32}) {
        const Signal x = testSignal(static_cast<size_t>(n), 0.37 + n);
        for (const bool forward : {true, false}) {
            Signal in = x, out(x.size());
            codeletRoutine(n, forward)(in.data(), out.data());
            const Signal expected = naiveDft(x.data(), {n}, forward);
            EXPECT_LE(relativeError(out.data(), expected.data(), n), kTolerance)
                << "n = " << n << (forward ? " forward" : " backward");
            EXPECT_TRUE(sameBits(in, x)) << n;
            codeletRoutine(n, forward)(in.data(), in.data());
            EXPECT_TRUE(sameBits(in, out)) << n;
        }
    }
}

TEST(Codelet, PlansUpToSixteenNeedNoWorkOtherLengthsHaveNoCodelet) {
    for (int64_t n = 1; n <= 16; ++n) {
        PlanOwner owner;
        ASSERT_EQ(owner.create(n), kPlanOk) << n;
        EXPECT_TRUE(owner.plan->kind == PlanKind::Codelet && owner.plan->workBytes == 0u) << n;
    }
    for (const int64_t n : {-1, 0, 17, 31, 33, 64}) {
        EXPECT_EQ(codeletRoutine(n, true), nullptr) << n;
        DftPlan1D plan{PlanKind::Codelet, n, false, 0, &codeletPlanOps, &genericVariant, nullptr};
        EXPECT_EQ(codeletPlanOps.create(&plan), kPlanBadLength) << n;
    }
}

}  // namespace
