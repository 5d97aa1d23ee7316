// One-dimensional plans against the defining sum, the choice of kind by length,
// the mixed-radix factor list and the chirp convolution length.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "dft_plans.h"
#include "naive_dft.h"
#include "plan_1d.h"
#include "variant/variant.h"

namespace {

// A fast transform rounds through O(log2 N) stages, so its error relative to
// the largest output is about eps*log2(N) < 1e-14 here; 1e-13 keeps a margin
// while a wrong root, index or sign errs by far more than 1e-3.
constexpr double kBound = 1e-13;

using Signal = std::vector<Complex>;

struct PlanOwner {
    DftPlan1D* plan = nullptr;
    ~PlanOwner() { planDestroy(plan); }
};

Signal run(const DftPlan1D* plan, const Signal& x, bool forward, bool inPlace = false) {
    Signal y = inPlace ? x : Signal(x.size());
    const Complex* src = inPlace ? y.data() : x.data();
    EXPECT_EQ(forward ? planForward(plan, src, y.data(), nullptr)
                      : planBackward(plan, src, y.data(), nullptr),
              kPlanOk);
    return y;
}

// The forward sum in long double over a root table indexed by j*k mod n,
// with plain real arithmetic (std::complex<long double> products are slow).
std::vector<LongComplex> referenceForward(const Signal& x) {
    const auto n = static_cast<int64_t>(x.size());
    const std::vector<LongComplex> roots = naiveRoots(n, true);
    std::vector<LongComplex> out(x.size());
    for (int64_t k = 0; k < n; ++k) {
        long double re = 0.0L, im = 0.0L;
        int64_t t = 0;
        for (int64_t j = 0; j < n; ++j) {
            const long double wr = roots[t].real(), wi = roots[t].imag();
            re += x[j].real * wr - x[j].imag * wi;
            im += x[j].real * wi + x[j].imag * wr;
            t += k;
            if (t >= n) t -= n;
        }
        out[k] = {re, im};
    }
    return out;
}

// Both directions against one reference: backward(x)[k] = forward(x)[-k].
void expectMatchesDefinition(const DftPlan1D* plan, const Signal& x) {
    const int64_t n = static_cast<int64_t>(x.size());
    const Signal expectForward = toDouble(referenceForward(x));
    Signal expectBackward(x.size());
    for (int64_t k = 0; k < n; ++k) expectBackward[k] = expectForward[(n - k) % n];
    EXPECT_LE(relativeError(run(plan, x, true).data(), expectForward.data(), n), kBound)
        << "forward, length " << n << ", " << plan->ops->name;
    EXPECT_LE(relativeError(run(plan, x, false).data(), expectBackward.data(), n), kBound)
        << "backward, length " << n << ", " << plan->ops->name;
}

class Plan1d : public testing::TestWithParam<int64_t> {};

TEST_P(Plan1d, MatchesDefinition) {
    PlanOwner owner;
    ASSERT_EQ(planCreate(&owner.plan, &genericVariant, GetParam()), kPlanOk);
    expectMatchesDefinition(owner.plan, testSignal(static_cast<size_t>(GetParam()), 0.37));
}

std::string lengthName(const testing::TestParamInfo<int64_t>& info) {
    return "N" + std::to_string(info.param);
}

INSTANTIATE_TEST_SUITE_P(Every, Plan1d, testing::Range<int64_t>(1, 1101), lengthName);
// Twice the prime 1031, odd prime powers, every radix at once, two FFTs.
INSTANTIATE_TEST_SUITE_P(Factored, Plan1d,
                         testing::Values<int64_t>(2062, 2187, 3125, 7200, 2048, 4096), lengthName);

class Plan1dLong : public testing::TestWithParam<int64_t> {};

// Too long for the full sum: a few bins summed directly, and the round trip.
TEST_P(Plan1dLong, BinsMatchDefinitionAndRoundTripScalesByLength) {
    const int64_t n = GetParam();
    PlanOwner owner;
    ASSERT_EQ(planCreate(&owner.plan, &genericVariant, n), kPlanOk);
    const Signal x = testSignal(static_cast<size_t>(n), 0.61);
    for (const bool forward : {true, false}) {
        const Signal y = run(owner.plan, x, forward);
        double largest = 0.0;
        for (const Complex& c : y) largest = std::fmax(largest, std::hypot(c.real, c.imag));
        for (const int64_t k : {int64_t{0}, int64_t{1}, int64_t{7}, n / 3, n / 2, n - 1}) {
            const LongComplex expect = naiveBin(x.data(), n, k, forward);
            const double error = std::hypot(y[k].real - static_cast<double>(expect.real()),
                                            y[k].imag - static_cast<double>(expect.imag()));
            EXPECT_LE(error / largest, kBound) << "bin " << k << (forward ? " forward" : " backward");
        }
    }
    Signal back = run(owner.plan, run(owner.plan, x, true), false);
    for (Complex& c : back) c = {c.real / static_cast<double>(n), c.imag / static_cast<double>(n)};
    EXPECT_LE(relativeError(back.data(), x.data(), n), kBound);
}

// Two FFT schedules, and a prime whose convolution length is past the table.
INSTANTIATE_TEST_SUITE_P(Lengths, Plan1dLong, testing::Values(16384, 65536, 65537), lengthName);

TEST(Plan1dKind, ChosenByLength) {
    using K = PlanKind;
    const std::pair<int64_t, PlanKind> cases[] = {
        {16, K::Codelet},     {17, K::Direct},      {73, K::Direct},      {64, K::FftPow2},
        {1024, K::FftPow2},   {75, K::MixedRadix},  {76, K::MixedRadix},  {146, K::MixedRadix},
        {5329, K::MixedRadix}, {79, K::Chirp},      {158, K::Chirp},      {6241, K::Chirp}};
    for (const auto& c : cases) EXPECT_EQ(choosePlanKind(c.first), c.second) << c.first;
}

TEST(Plan1dMixedRadix, FactorListPutsTwoFirstThenFoursThenOddFactors) {
    // An empty list: rejected. 17: nothing taken out; 79, 158, 3*5*79: a rest
    // above 75; 6241 = 79^2, 6557 = 79*83: the trial divisor passes 75.
    const std::pair<int64_t, std::vector<int32_t>> cases[] = {
        {7200, {2, 4, 4, 3, 3, 5, 5}}, {24, {2, 4, 3}}, {76, {4, 19}}, {146, {2, 73}},
        {5329, {73, 73}}, {1001, {7, 11, 13}}, {64, {4, 4, 4}}, {1, {}}, {17, {}}, {79, {}},
        {158, {}}, {1185, {}}, {6241, {}}, {6557, {}}};
    for (const auto& c : cases) {
        RadixFactors f;
        EXPECT_EQ(factoriseMixedRadix(c.first, &f), !c.second.empty()) << c.first;
        EXPECT_EQ(std::vector<int32_t>(f.factor, f.factor + f.count), c.second) << c.first;
    }
}

TEST(Plan1dChirp, Length79UsesConvolutionLength160) {
    EXPECT_EQ(chirpConvolutionLength(79), 160);
    // The first table entry of at least 2N-1, then powers of two past 8192.
    const int64_t cases[][2] = {{1, 128},      {64, 128},      {65, 144},    {100, 200},
                                {101, 256},    {4096, 8192},   {4097, 16384}, {8192, 16384},
                                {8193, 32768}, {65537, 262144}};
    for (const auto& c : cases) EXPECT_EQ(chirpConvolutionLength(c[0]), c[1]) << c[0];
}

// Every kind must also be right at lengths the choice never gives it: the
// even lengths of the direct sum, short chirps, powers of two in mixed radix.
TEST(Plan1dKinds, EachKindMatchesDefinitionOverAllItsLengths) {
    const std::tuple<PlanKind, const PlanKindOps*, int64_t> kinds[] = {
        {PlanKind::Direct, &directPlanOps, kMaxDirectLength},
        {PlanKind::MixedRadix, &mixedRadixPlanOps, 300},
        {PlanKind::Chirp, &chirpPlanOps, 100}};
    for (const auto& [kind, ops, last] : kinds) {
        for (int64_t n = 1; n <= last; ++n) {
            RadixFactors f;
            if (kind == PlanKind::MixedRadix && !factoriseMixedRadix(n, &f)) continue;
            DftPlan1D plan{kind, n, false, 0, ops, &genericVariant, nullptr};
            ASSERT_EQ(ops->create(&plan), kPlanOk) << ops->name << " " << n;
            expectMatchesDefinition(&plan, testSignal(static_cast<size_t>(n), 1.3));
            ops->release(&plan);
        }
    }
}

TEST(Plan1d, InPlaceEqualsOutOfPlaceForEveryKind) {
    for (const int64_t n : {16, 17, 64, 75, 76, 79, 1024, 2062}) {
        PlanOwner owner;
        ASSERT_EQ(planCreate(&owner.plan, &genericVariant, n), kPlanOk);
        const Signal x = testSignal(static_cast<size_t>(n), 2.1);
        for (const bool forward : {true, false}) {
            const Signal inPlace = run(owner.plan, x, forward, true);
            EXPECT_EQ(std::memcmp(inPlace.data(), run(owner.plan, x, forward).data(),
                                  sizeof(Complex) * n), 0)
                << "length " << n << (forward ? " forward" : " backward");
        }
    }
}

// Fails the k-th allocation and counts blocks still held.
struct FailingHooks {
    static inline int64_t countdown = 0, live = 0;
    static void* allocate(size_t size) {
        if (--countdown == 0) return nullptr;
        ++live;
        return std::malloc(size);
    }
    static void release(void* p) {
        live -= (p != nullptr);
        std::free(p);
    }
};

// Every allocation of a plan (a chirp: its tables, its sub-plan, the sub-plan's
// tables and the buffer of the kernel transform) may fail; each failure must
// report memory and free what was built.
TEST(Plan1dCreate, EveryFailedAllocationReportsMemoryAndLeaksNothing) {
    const MemoryHooks hooks{FailingHooks::allocate, std::calloc, std::realloc,
                            FailingHooks::release};
    for (const int64_t n : {17, 76, 79}) {
        int32_t status = kPlanNoMemory;
        for (int64_t failAt = 1; status == kPlanNoMemory && failAt < 20; ++failAt) {
            FailingHooks::countdown = failAt;
            FailingHooks::live = 0;
            setMemoryHooks(&hooks);
            DftPlan1D* plan = nullptr;
            status = planCreate(&plan, &genericVariant, n);
            if (status == kPlanOk) {
                EXPECT_GT(failAt, 1) << "length " << n;
                planDestroy(plan);
            }
            setMemoryHooks(nullptr);
            EXPECT_EQ(FailingHooks::live, 0) << "length " << n << ", failing allocation " << failAt;
        }
        EXPECT_EQ(status, kPlanOk) << "length " << n;
    }
}

}  // namespace
