#include <gtest/gtest.h>

#include <cfloat>
#include <cstring>
#include <vector>

#include "naive_dft.h"
#include "plan_1d.h"
#include "variant/variant.h"

namespace {

using Signal = std::vector<_DFT_Complex16>;

// About one rounding of the largest magnitude per stage, m stages (measured:
// under 1.5 eps up to order 13); a wrong twiddle, index or sign costs far more.
double tolerance(int order) { return order * DBL_EPSILON; }

// A power-of-two plan from the generic variant, destroyed with its owner.
class Pow2Plan {
public:
    explicit Pow2Plan(int order) {
        EXPECT_EQ(planCreate(&plan_, &genericVariant, int64_t{1} << order), kPlanOk);
        if (plan_ != nullptr) {
            EXPECT_EQ(plan_->kind, PlanKind::FftPow2);
        }
    }
    Pow2Plan(const Pow2Plan&) = delete;
    Pow2Plan& operator=(const Pow2Plan&) = delete;
    ~Pow2Plan() { planDestroy(plan_); }

    const DftPlan1D* get() const { return plan_; }

    Signal run(const Signal& x, bool forward) const {
        Signal y(x.size());
        if (plan_ != nullptr) {
            EXPECT_EQ((forward ? planForward : planBackward)(plan_, x.data(), y.data(), nullptr),
                      kPlanOk);
        }
        return y;
    }

private:
    DftPlan1D* plan_ = nullptr;
};

// Random values in [-1, 1), cheap enough for millions of elements.
Signal randomSignal(int64_t n, uint64_t seed) {
    Signal x(static_cast<size_t>(n));
    for (auto& v : x) {
        seed = seed * 6364136223846793005u + 1442695040888963407u;
        v.real = static_cast<double>(seed >> 11) * 0x1p-52 - 1.0;
        seed = seed * 6364136223846793005u + 1442695040888963407u;
        v.imag = static_cast<double>(seed >> 11) * 0x1p-52 - 1.0;
    }
    return x;
}

// Forward X[2k] and X[2k+1] of length n from two transforms of length n/2:
// even bins of x[j] + x[j+n/2], odd bins of (x[j] - x[j+n/2]) * w^j. roots
// holds the forward roots of a multiple of n, stride entries apart.
Signal fromHalves(const Pow2Plan& half, const Signal& x, const std::vector<LongComplex>& roots,
                  size_t stride) {
    const size_t h = x.size() / 2;
    Signal sum(h), twisted(h);
    for (size_t j = 0; j < h; ++j) {
        const LongComplex a(x[j].real, x[j].imag), b(x[j + h].real, x[j + h].imag);
        const LongComplex d = (a - b) * roots[j * stride];
        sum[j] = {static_cast<double>((a + b).real()), static_cast<double>((a + b).imag())};
        twisted[j] = {static_cast<double>(d.real()), static_cast<double>(d.imag())};
    }
    const Signal even = half.run(sum, true);
    const Signal odd = half.run(twisted, true);
    Signal out(x.size());
    for (size_t k = 0; k < h; ++k) {
        out[2 * k] = even[k];
        out[2 * k + 1] = odd[k];
    }
    return out;
}

// The largest error of three bins against their naive sums, relative to the
// largest output magnitude; a backward bin k is the forward sum at n - k.
double binError(const Signal& x, const Signal& y, const std::vector<LongComplex>& roots,
                bool forward) {
    const int64_t n = static_cast<int64_t>(x.size());
    double largest = 0.0;
    for (const auto& v : y) largest = std::fmax(largest, std::hypot(v.real, v.imag));
    double worst = 0.0;
    for (const int64_t k : {int64_t{1}, n / 3, n - 1}) {
        const LongComplex e = naiveSum(x.data(), n, 1, forward ? k : n - k, roots.data());
        worst = std::fmax(worst, std::hypot(y[k].real - static_cast<double>(e.real()),
                                            y[k].imag - static_cast<double>(e.imag())));
    }
    return worst / largest;
}

}  // namespace

// Orders 12 and 13 already take the split path, with columns of 16 and 32,
// so every schedule is checked against the full sum here.
TEST(FftPow2, OrdersFiveToThirteenMatchDefinition) {
    for (int order = 5; order <= 13; ++order) {
        const int64_t n = int64_t{1} << order;
        const Signal x = randomSignal(n, static_cast<uint64_t>(order));
        const Pow2Plan plan(order);
        for (const bool forward : {true, false}) {
            const Signal expected = naiveDft(x.data(), n, forward);
            EXPECT_LE(relativeError(plan.run(x, forward).data(), expected.data(), n),
                      tolerance(order))
                << "order " << order << (forward ? " forward" : " backward");
        }
    }
}

// Each forward transform of order 14 to 21 is checked in every bin against two
// of the order below, a chain resting on the naive check above; order 20 has
// order-11 blocks and order 21 splits twice. Once forward is right, the round
// trip back to n*x checks backward; the top order is also checked against a
// few bins summed naively in both directions.
TEST(FftPow2, LargeOrdersAgreeWithHalfLengthTransformsAndNaiveBins) {
    constexpr int kTop = 21;
    const std::vector<LongComplex> roots = naiveRoots(int64_t{1} << kTop, true);
    for (int order = 14; order <= kTop; ++order) {
        const int64_t n = int64_t{1} << order;
        const Signal x = randomSignal(n, static_cast<uint64_t>(order));
        const Pow2Plan plan(order);
        const Signal y = plan.run(x, true);
        const size_t stride = size_t{1} << (kTop - order);
        const Signal halves = fromHalves(Pow2Plan(order - 1), x, roots, stride);
        EXPECT_LE(relativeError(y.data(), halves.data(), n), tolerance(order)) << order;
        const Signal back = plan.run(y, false);
        Signal scaled(x.size());
        for (size_t i = 0; i < x.size(); ++i) scaled[i] = {x[i].real * n, x[i].imag * n};
        EXPECT_LE(relativeError(back.data(), scaled.data(), n), 2 * tolerance(order)) << order;
        if (order == kTop) {
            EXPECT_LE(binError(x, y, roots, true), tolerance(order));
            EXPECT_LE(binError(x, plan.run(x, false), roots, false), tolerance(order));
        }
    }
}

// In place swaps what out of place copies, so the results are bit-identical;
// a caller's work buffer at any alignment is aligned up inside its slack.
TEST(FftPow2, InPlaceOutOfPlaceAndCallerWorkAgreeBitForBit) {
    for (int order = 5; order <= 17; ++order) {
        const int64_t n = int64_t{1} << order;
        const Signal x = randomSignal(n, 99u + static_cast<uint64_t>(order));
        const Pow2Plan owner(order);
        ASSERT_NE(owner.get(), nullptr);
        std::vector<char> work(owner.get()->workBytes + 8);
        for (const bool forward : {true, false}) {
            auto run = forward ? planForward : planBackward;
            Signal in = x, out(x.size()), shifted(x.size());
            ASSERT_EQ(run(owner.get(), in.data(), out.data(), nullptr), kPlanOk);
            EXPECT_EQ(std::memcmp(in.data(), x.data(), sizeof(x[0]) * x.size()), 0) << order;
            ASSERT_EQ(run(owner.get(), in.data(), shifted.data(), work.data() + 8), kPlanOk);
            EXPECT_EQ(std::memcmp(shifted.data(), out.data(), sizeof(x[0]) * x.size()), 0) << order;
            ASSERT_EQ(run(owner.get(), in.data(), in.data(), nullptr), kPlanOk);
            EXPECT_EQ(std::memcmp(in.data(), out.data(), sizeof(x[0]) * x.size()), 0) << order;
        }
    }
}

TEST(FftPow2, CreateRejectsLengthsOutsideTheKind) {
    for (const int64_t n : {int64_t{16}, int64_t{48}, int64_t{1} << 27, int64_t{3} << 20}) {
        DftPlan1D plan{PlanKind::FftPow2, n, false, 0, &fftPow2PlanOps, &genericVariant, nullptr};
        EXPECT_EQ(fftPow2PlanOps.create(&plan), kPlanBadLength) << n;
        EXPECT_EQ(plan.kindData, nullptr) << n;
    }
}
