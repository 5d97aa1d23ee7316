#include <gtest/gtest.h>

#include <cfloat>

#include "dft_plans.h"

namespace regviafft::dft {

namespace {

// About one rounding of the largest magnitude per stage, m stages (measured:
// under 1.5 eps up to order 13); a wrong twiddle, index or sign costs far more.
double tolerance(int order) { return order * DBL_EPSILON; }

// A power-of-two plan of the given order, or null if it is not one.
const DftPlan1D* pow2Plan(PlanOwner& owner, int order, const KernelSet* kernels) {
    EXPECT_EQ(owner.create(int64_t{1} << order, kernels), kPlanOk) << order;
    return owner.plan != nullptr && owner.plan->kind == PlanKind::FftPow2 ? owner.plan : nullptr;
}

// Forward X[2k] and X[2k+1] of length n from two transforms of length n/2:
// even bins of x[j] + x[j+n/2], odd bins of (x[j] - x[j+n/2]) * w^j. roots
// holds the forward roots of a multiple of n, stride entries apart.
Signal fromHalves(const DftPlan1D* half, const Signal& x, const std::vector<LongComplex>& roots,
                  size_t stride) {
    const size_t h = x.size() / 2;
    Signal sum(h), twisted(h);
    for (size_t j = 0; j < h; ++j) {
        const LongComplex a(x[j].real, x[j].imag), b(x[j + h].real, x[j + h].imag);
        const LongComplex d = (a - b) * roots[j * stride];
        sum[j] = {static_cast<double>((a + b).real()), static_cast<double>((a + b).imag())};
        twisted[j] = {static_cast<double>(d.real()), static_cast<double>(d.imag())};
    }
    const Signal even = runPlan(half, sum, true);
    const Signal odd = runPlan(half, twisted, true);
    Signal out(x.size());
    for (size_t k = 0; k < h; ++k) {
        out[2 * k] = even[k];
        out[2 * k + 1] = odd[k];
    }
    return out;
}

}  // namespace

// Each forward transform of order 14 to 21 is checked in every bin against two
// of the order below, a chain resting on the naive check above; order 20 has
// order-11 blocks and order 21 splits twice. Once forward is right, the round
// trip back to n*x checks backward; the top order is also checked against a
// few bins summed naively in both directions.
TEST(FftPow2, LargeOrdersAgreeWithHalfLengthTransformsAndNaiveBins) {
    constexpr int kTop = 21;
    const std::vector<LongComplex> roots = naiveRoots(int64_t{1} << kTop, true);
    for (const KernelSet* kernels : kernelSetsUnderTest()) {
        for (int order = 14; order <= kTop; ++order) {
            SCOPED_TRACE(kernels->name);
            const int64_t n = int64_t{1} << order;
            const Signal x = randomSignal(n, static_cast<uint64_t>(order));
            PlanOwner owner, halfOwner;
            const DftPlan1D* plan = pow2Plan(owner, order, kernels);
            const DftPlan1D* half = pow2Plan(halfOwner, order - 1, kernels);
            ASSERT_TRUE(plan != nullptr && half != nullptr) << order;
            const Signal y = runPlan(plan, x, true);
            const Signal halves = fromHalves(half, x, roots, size_t{1} << (kTop - order));
            EXPECT_LE(relativeError(y.data(), halves.data(), n), tolerance(order)) << order;
            const Signal back = runPlan(plan, y, false);
            Signal scaled(x.size());
            for (size_t i = 0; i < x.size(); ++i) scaled[i] = {x[i].real * n, x[i].imag * n};
            EXPECT_LE(relativeError(back.data(), scaled.data(), n), 2 * tolerance(order)) << order;
            if (order == kTop) {
                const Signal backward = runPlan(plan, x, false);
                EXPECT_LE(binError(x, y, {1, n / 3, n - 1}, true, roots), tolerance(order));
                EXPECT_LE(binError(x, backward, {1, n / 3, n - 1}, false, roots), tolerance(order));
            }
        }
    }
}

// In place swaps what out of place copies, so the results are bit-identical;
// a caller's work buffer at any alignment is aligned up inside its slack.
TEST(FftPow2, InPlaceOutOfPlaceAndCallerWorkAgreeBitForBit) {
    for (const KernelSet* kernels : kernelSetsUnderTest()) {
        for (int order = 5; order <= 17; ++order) {
            SCOPED_TRACE(kernels->name);
            const Signal x = randomSignal(int64_t{1} << order, 99u + static_cast<uint64_t>(order));
            PlanOwner owner;
            const DftPlan1D* plan = pow2Plan(owner, order, kernels);
            ASSERT_NE(plan, nullptr) << order;
            std::vector<char> work(plan->workBytes + 8);
            for (const bool forward : {true, false}) {
                auto run = forward ? planForward : planBackward;
                Signal in = x, out(x.size()), shifted(x.size());
                ASSERT_EQ(run(plan, in.data(), out.data(), nullptr), kPlanOk);
                EXPECT_TRUE(sameBits(in, x)) << order;
                ASSERT_EQ(run(plan, in.data(), shifted.data(), work.data() + 8), kPlanOk);
                EXPECT_TRUE(sameBits(shifted, out)) << order;
                ASSERT_EQ(run(plan, in.data(), in.data(), nullptr), kPlanOk);
                EXPECT_TRUE(sameBits(in, out)) << order;
            }
        }
    }
}

}  // namespace regviafft::dft
