#include <gtest/gtest.h>

#include <cfloat>

#include "dft_plans.h"
#include "naive_dft.h"

namespace {

// A few roundings reach each output, each within eps of the largest
// magnitude (measured: under 1 eps); a wrong constant or index is far off.
constexpr double kTolerance = 4 * DBL_EPSILON;

// Every codelet, at every vector width and in both layouts, loads its whole
// input before writing: the in-place result is bit-identical.
TEST(Codelet, EveryLengthMatchesDefinitionInPlaceAndOutOfPlace) {
    for (const KernelSet* kernels : kernelSetsUnderTest()) {
        for (const int64_t n : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 32}) {
            PlanOwner owner;
            ASSERT_EQ(owner.create(n, kernels), kPlanOk);
            const Signal x = testSignal(static_cast<size_t>(n), 0.37 + n);
            for (const int32_t lanes : {1, 2, 4}) {
                if (laneKernels(kernels, lanes) == nullptr) continue;
                for (const bool rows : {false, true}) {
                    for (const bool forward : {true, false}) {
                        SCOPED_TRACE(testing::Message() << kernels->name << " n = " << n << ", "
                                                        << lanes << (rows ? " rows" : " lanes")
                                                        << (forward ? " forward" : " backward"));
                        const LaneLayout layout{lanes, rows, n};
                        const LaneRun run = runLanes(owner.plan, x, forward, layout, false);
                        const LaneRun inPlace = runLanes(owner.plan, x, forward, layout, true);
                        const Signal expected = naiveDft(x.data(), {n}, forward);
                        for (int32_t t = 0; t < lanes; ++t) {
                            const Signal lane = timesFactor(expected, laneFactor(t));
                            EXPECT_LE(relativeError(run.lanes[t].data(), lane.data(), n),
                                      kTolerance);
                            EXPECT_TRUE(sameBits(inPlace.lanes[t], run.lanes[t]));
                        }
                        EXPECT_TRUE(run.gapsKept && inPlace.gapsKept && run.inputKept);
                    }
                }
            }
        }
    }
}

TEST(Codelet, PlansUpToSixteenNeedNoWorkOtherLengthsHaveNoCodelet) {
    for (const KernelSet* kernels : runnableKernelSets()) {
        for (int64_t n = 1; n <= 16; ++n) {
            PlanOwner owner;
            ASSERT_EQ(owner.create(n, kernels), kPlanOk) << n;
            EXPECT_TRUE(owner.plan->kind == PlanKind::Codelet && owner.plan->workBytes == 0u) << n;
        }
        for (const int64_t n : {-1, 0, 17, 31, 33, 64}) {
            DftPlan1D* plan = nullptr;
            EXPECT_EQ(planCreateOfKind(&plan, kernels, n, PlanKind::Codelet, fullPlanUse(kernels)), kPlanBadLength) << n;
            EXPECT_EQ(plan, nullptr);
        }
    }
}

}  // namespace
