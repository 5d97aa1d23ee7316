// The kernel sets against each other: which class runs which set, the same
// bits at every vector width of one set, and an accuracy sweep that catches
// a mutated kernel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "dft_plans.h"
#include "naive_dft.h"

namespace {

// The family each class should run on this processor: the best its variant
// allows that the processor executes.
const KernelSet* expectedKernels(int32_t processorClass)
{
    const ProcessorFeatures& f = processorFeatures();
    if (processorClass == kClassGeneric)
        return &scalarKernelSet;
    if (processorClass < kClassAvx)
        return f.sse2 ? kernelSetOf(KernelFamily::Sse2) : &scalarKernelSet;
    for (KernelFamily family : {KernelFamily::Avx512, KernelFamily::Avx2Fma, KernelFamily::Avx,
                                KernelFamily::Sse2}) {
        if (canRun(kernelSetOf(family), f))
            return kernelSetOf(family);
    }
    return &scalarKernelSet;
}

// Two sets are different kernels when their code differs, not only their names.
bool sameCode(const KernelSet* a, const KernelSet* b)
{
    return a->byWidth[0].codelet[0][16] == b->byWidth[0].codelet[0][16] &&
           a->byWidth[0].mixedRadix[0] == b->byWidth[0].mixedRadix[0];
}

TEST(KernelSets, EachClassSelectsItsOwnKernels)
{
    for (int32_t cls = 0; cls < kProcessorClassCount; ++cls) {
        const KernelSet* got = variantKernels(variantForClass(cls));
        EXPECT_STREQ(got->name, expectedKernels(cls == 1 ? kClassGeneric : cls)->name)
            << processorClassName(cls);
        EXPECT_TRUE(canRun(got, processorFeatures())) << processorClassName(cls);
    }
    const KernelSet* generic = variantKernels(variantForClass(kClassGeneric));
    const KernelSet* sse = variantKernels(variantForClass(kClassSse2));
    const KernelSet* avx = variantKernels(variantForClass(kClassAvx));
    if (processorFeatures().sse2) {
        EXPECT_FALSE(sameCode(generic, sse)) << "the generic and SSE classes share kernels";
    }
    if (processorFeatures().avx) {
        EXPECT_FALSE(sameCode(sse, avx)) << "the SSE and AVX classes share kernels";
    }
    for (int32_t cls = kClassSse3; cls <= kClassSse42; ++cls)
        EXPECT_EQ(variantKernels(variantForClass(cls)), sse) << processorClassName(cls);
    EXPECT_EQ(variantForClass(kClassAvx)->workspaceAlignment, 4096u);
    EXPECT_EQ(variantForClass(kClassSse42)->workspaceAlignment, 16u);
}

// Lane 0 and the last lane of every wider run against single-lane runs of
// the same sequences.
void expectWidthsAgree(const DftPlan1D* plan, const Signal& x, bool forward)
{
    const int64_t n = plan->length;
    const LaneRun one = runLanes(plan, x, forward, LaneLayout{1, false, n}, false);
    for (const int32_t lanes : {2, 4}) {
        if (laneKernels(plan->kernels, lanes) == nullptr)
            continue;
        const LaneRun last =
            runLanes(plan, timesFactor(x, laneFactor(lanes - 1)), forward, LaneLayout{1, false, n},
                     false);
        for (const bool rows : {false, true}) {
            const LaneRun wide = runLanes(plan, x, forward, LaneLayout{lanes, rows, n}, false);
            EXPECT_TRUE(sameBits(wide.lanes[0], one.lanes[0])) << "width " << lanes;
            EXPECT_TRUE(sameBits(wide.lanes[lanes - 1], last.lanes[0])) << "width " << lanes;
        }
    }
}

// Within one set every width runs the same formulas, so a sequence gives the
// same bits in any lane of any width: a lane's twiddle or element taken from
// its neighbour would not.
TEST(KernelSets, EveryWidthOfASetGivesTheSameBits)
{
    for (const KernelSet* kernels : runnableKernelSets()) {
        for (const int64_t n : {12, 16, 17, 32, 40, 64, 79, 128, 100, 4096}) {
            SCOPED_TRACE(testing::Message() << kernels->name << " length " << n);
            PlanOwner owner;
            ASSERT_EQ(owner.create(n, kernels), kPlanOk);
            const Signal x = testSignal(static_cast<size_t>(n), 0.41);
            expectWidthsAgree(owner.plan, x, true);
            expectWidthsAgree(owner.plan, x, false);
        }
    }
}

// The largest error of a set's plans over lengths of every kind, at every
// width, relative to the largest output.
double worstError(const KernelSet* kernels)
{
    double worst = 0.0;
    for (const int64_t n : {6, 16, 32, 40, 64, 73, 79, 100}) {
        PlanOwner owner;
        EXPECT_EQ(owner.create(n, kernels), kPlanOk);
        const Signal x = testSignal(static_cast<size_t>(n), 0.23);
        for (const bool forward : {true, false}) {
            const Signal expected = naiveDft(x.data(), {n}, forward);
            for (const int32_t lanes : {1, 2, 4}) {
                if (laneKernels(kernels, lanes) == nullptr)
                    continue;
                const LaneRun run = runLanes(owner.plan, x, forward, LaneLayout{lanes, true, n}, false);
                for (int32_t t = 0; t < lanes; ++t) {
                    const Signal lane = timesFactor(expected, laneFactor(t));
                    worst = std::max(worst, relativeError(run.lanes[t].data(), lane.data(), n));
                }
            }
        }
    }
    return worst;
}

// Three faults a kernel of one set could carry: the wrong direction in a
// radix stage, a codelet that transforms fewer lanes than it is given, and a
// transposing copy that returns the lanes in the wrong order. Each stays
// inside one set, and the sweep must see it.
TEST(KernelSets, AccuracySweepCatchesAMutatedKernel)
{
    const std::vector<const KernelSet*> sets = runnableKernelSets();
    const KernelSet* original = sets.back();
    ASSERT_LE(worstError(original), 1e-13) << original->name;
    const int widest = original->widestLanes == 4 ? 2 : original->widestLanes == 2 ? 1 : 0;

    KernelSet directionSwapped = *original;
    LaneKernels& w = directionSwapped.byWidth[widest];
    w.mixedRadix[0] = original->byWidth[widest].mixedRadix[1];
    EXPECT_GT(worstError(&directionSwapped), 1e-3);

    KernelSet narrowCodelet = *original;
    narrowCodelet.byWidth[widest].rowCodelet[0][16] = original->byWidth[0].rowCodelet[0][16];
    if (widest > 0) {
        EXPECT_GT(worstError(&narrowCodelet), 1e-3);
    }

    KernelSet lanesReordered = *original;
    lanesReordered.byWidth[widest].rowsToLanes = original->byWidth[0].rowsToLanes;
    if (widest > 0) {
        EXPECT_GT(worstError(&lanesReordered), 1e-3);
    }
}

}  // namespace
