// The kernel sets against each other: which class runs which set, the same
// bits at every vector width of one set, and an accuracy sweep that catches
// a mutated kernel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "dft_plans.h"

namespace regviafft::dft {

namespace {

// Generic runs scalar kernels, the SSE classes one 128-bit set, the AVX class
// the widest vectors the processor executes (4, 2 or 1 complex numbers);
// every choice can run here, and classes that should differ never share a set.
TEST(KernelSets, EachClassSelectsItsOwnKernels)
{
    const ProcessorFeatures& f = processorFeatures();
    for (int32_t cls = 0; cls < kProcessorClassCount; ++cls)
        EXPECT_TRUE(canRun(variantKernels(variantForClass(cls)), f)) << processorClassName(cls);
    const KernelSet* generic = variantKernels(variantForClass(kClassGeneric));
    const KernelSet* sse = variantKernels(variantForClass(kClassSse2));
    const KernelSet* avx = variantKernels(variantForClass(kClassAvx));
    EXPECT_EQ(generic, &scalarKernelSet);
    EXPECT_EQ(sse->widestLanes, 1);
    EXPECT_EQ(avx->widestLanes, f.avx512 ? 4 : f.avx ? 2 : 1);
    for (int32_t cls = kClassSse3; cls <= kClassSse42; ++cls)
        EXPECT_EQ(variantKernels(variantForClass(cls)), sse) << processorClassName(cls);
    EXPECT_TRUE(!f.sse2 || generic != sse) << "the generic and SSE classes share kernels";
    EXPECT_TRUE(!f.avx || sse != avx) << "the SSE and AVX classes share kernels";
    EXPECT_TRUE(!f.avx2Fma ||
                avx->requirement == (f.avx512 ? KernelRequirement::Avx512 : KernelRequirement::Avx2Fma));
}

// Within one set every width runs the same formulas, so a sequence gives the
// same bits in any lane of any width: a lane's twiddle or element taken from
// its neighbour would not. Lane 0 and the last lane of every wider run are
// compared with single-lane runs of the same sequences.
TEST(KernelSets, EveryWidthOfASetGivesTheSameBits)
{
    for (const KernelSet* kernels : runnableKernelSets()) {
        for (const int64_t n : {12, 16, 17, 32, 40, 64, 79, 128, 100, 4096, 16384}) {
            SCOPED_TRACE(testing::Message() << kernels->name << " length " << n);
            PlanOwner owner;
            ASSERT_EQ(owner.create(n, kernels), kPlanOk);
            const Signal x = testSignal(static_cast<size_t>(n), 0.41);
            for (const bool forward : {true, false}) {
                const LaneRun one = runLanes(owner.plan, x, forward, {1, false, n}, false);
                for (const int32_t lanes : {2, 4}) {
                    if (laneKernels(kernels, lanes) == nullptr)
                        continue;
                    const Signal lastInput = timesFactor(x, laneFactor(lanes - 1));
                    const LaneRun last = runLanes(owner.plan, lastInput, forward, {1, false, n}, false);
                    for (const bool rows : {false, true}) {
                        const LaneRun wide = runLanes(owner.plan, x, forward, {lanes, rows, n}, false);
                        EXPECT_TRUE(sameBits(wide.lanes[0], one.lanes[0])) << "width " << lanes;
                        EXPECT_TRUE(sameBits(wide.lanes[lanes - 1], last.lanes[0])) << "width " << lanes;
                    }
                }
            }
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
                const LaneRun run = runLanes(owner.plan, x, forward, {lanes, true, n}, false);
                worst = std::max(worst, laneError(run, expected));
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
    const int widest = laneWidthIndex(original->widestLanes);

    KernelSet directionSwapped = *original;
    LaneKernels& w = directionSwapped.byWidth[widest];
    w.mixedRadix[0] = original->byWidth[widest].mixedRadix[1];
    EXPECT_GT(worstError(&directionSwapped), 1e-3);

    if (widest >= 2) {
        KernelSet narrowCodelet = *original;
        narrowCodelet.byWidth[widest].rowCodelet[0][16] =
            original->byWidth[widest - 1].rowCodelet[0][16];
        EXPECT_GT(worstError(&narrowCodelet), 1e-3);
    }

    KernelSet lanesReordered = *original;
    lanesReordered.byWidth[widest].rowsToLanes = original->byWidth[0].rowsToLanes;
    if (widest > 0) {
        EXPECT_GT(worstError(&lanesReordered), 1e-3);
    }
}

}  // namespace

}  // namespace regviafft::dft
