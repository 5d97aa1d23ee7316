// One-dimensional plans against the defining sum, the choice of kind by length,
// the mixed-radix factor list and the chirp convolution length.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "dft_plans.h"

namespace regviafft::dft {

namespace {

// A fast transform rounds through O(log2 N) stages, so its error relative to
// the largest output is about eps*log2(N) < 1e-14 here; 1e-13 keeps a margin
// while a wrong root, index or sign errs by far more than 1e-3. Two kinds are
// held tighter: a codelet (up to 16, and the 32-point one behind order 5)
// rounds only a few times into each output, each within eps of the largest
// (measured: under 1 eps), so 4 eps; a power-of-two plan of order m adds
// about one rounding of the largest magnitude per stage (measured: under
// 1.5 eps up to order 13), so m eps.
constexpr double kBound = 1e-13;

double boundFor(const DftPlan1D* plan)
{
    if (plan->kind == PlanKind::Codelet || (plan->kind == PlanKind::FftPow2 && plan->length == 32))
        return 4 * DBL_EPSILON;
    if (plan->kind == PlanKind::FftPow2)
        return std::log2(static_cast<double>(plan->length)) * DBL_EPSILON;
    return kBound;
}

// Both directions against one reference (backward(x)[k] = forward(x)[-k]),
// for one to seven sequences at once (groups of every vector width, and the
// narrower groups left over), as interleaved lines and as rows; in place, the
// same arithmetic must give the same bits, out of place the input must stay
// as it was, and nothing outside the lines may be written.
void expectMatchesDefinition(const DftPlan1D* plan, const Signal& x) {
    const int64_t n = static_cast<int64_t>(x.size());
    const Signal expectForward = naiveDft(x.data(), {n}, true);
    Signal expectBackward(x.size());
    for (int64_t k = 0; k < n; ++k) expectBackward[k] = expectForward[(n - k) % n];
    for (const int32_t count : {1, 2, 3, 4, 7}) {
        for (const bool rows : {false, true}) {
            for (const bool forward : {true, false}) {
                SCOPED_TRACE(testing::Message() << plan->kernels->name << ", " << plan->ops->name
                                                << ", length " << n << ", " << count
                                                << (rows ? " rows " : " lines ")
                                                << (forward ? "forward" : "backward"));
                const LaneRun run = runLanes(plan, x, forward, {count, rows, n}, false);
                const LaneRun inPlace = runLanes(plan, x, forward, {count, rows, n}, true);
                EXPECT_LE(laneError(run, forward ? expectForward : expectBackward), boundFor(plan));
                EXPECT_TRUE(run.gapsKept && run.inputKept && inPlace.gapsKept);
                for (int32_t t = 0; t < count; ++t)
                    EXPECT_TRUE(sameBits(inPlace.lanes[t], run.lanes[t])) << "in place, lane " << t;
            }
        }
    }
}

class Plan1d : public testing::TestWithParam<int64_t> {};

TEST_P(Plan1d, MatchesDefinition) {
    for (const KernelSet* kernels : kernelSetsUnderTest()) {
        PlanOwner owner;
        ASSERT_EQ(owner.create(GetParam(), kernels), kPlanOk) << kernels->name;
        expectMatchesDefinition(owner.plan, randomSignal(GetParam(), static_cast<uint64_t>(GetParam())));
    }
}

std::string lengthName(const testing::TestParamInfo<int64_t>& info) {
    return "N" + std::to_string(info.param);
}

INSTANTIATE_TEST_SUITE_P(Every, Plan1d, testing::Range<int64_t>(1, 1101), lengthName);
// Twice the prime 1031, odd prime powers, every radix at once, and the FFTs
// of orders 11 to 13 (12 and 13 take the split path, with columns of 16 and 32).
INSTANTIATE_TEST_SUITE_P(Factored, Plan1d,
                         testing::Values<int64_t>(2062, 2187, 3125, 7200, 2048, 4096, 8192), lengthName);

class Plan1dLong : public testing::TestWithParam<int64_t> {};

// Too long for the full sum: a few bins summed directly, and the round trip.
TEST_P(Plan1dLong, BinsMatchDefinitionAndRoundTripScalesByLength) {
    const int64_t n = GetParam();
    const Signal x = testSignal(static_cast<size_t>(n), 0.61);
    const std::vector<LongComplex> roots = naiveRoots(n, true);
    for (const KernelSet* kernels : kernelSetsUnderTest()) {
        SCOPED_TRACE(kernels->name);
        PlanOwner owner;
        ASSERT_EQ(owner.create(n, kernels), kPlanOk);
        for (const bool forward : {true, false}) {
            const Signal y = runPlan(owner.plan, x, forward);
            EXPECT_LE(binError(x, y, {0, 1, 7, n / 3, n / 2, n - 1}, forward, roots), kBound)
                << forward;
        }
        Signal back = runPlan(owner.plan, runPlan(owner.plan, x, true), false);
        for (Complex& c : back) c = {c.real / static_cast<double>(n), c.imag / static_cast<double>(n)};
        EXPECT_LE(relativeError(back.data(), x.data(), n), kBound);
    }
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

// Codelet plans (1 to 16) need no work buffer; a kind asked for a length it
// has no schedule for refuses it and leaves no plan.
TEST(Plan1dKind, CodeletsNeedNoWorkAndKindsRefuseForeignLengths) {
    const std::pair<PlanKind, int64_t> foreign[] = {
        {PlanKind::Codelet, -1},  {PlanKind::Codelet, 0},        {PlanKind::Codelet, 17},
        {PlanKind::Codelet, 31},  {PlanKind::Codelet, 33},       {PlanKind::Codelet, 64},
        {PlanKind::FftPow2, 16},  {PlanKind::FftPow2, 48},       {PlanKind::FftPow2, int64_t{1} << 27},
        {PlanKind::FftPow2, int64_t{3} << 20}};
    for (const KernelSet* kernels : runnableKernelSets()) {
        for (int64_t n = 1; n <= 16; ++n) {
            PlanOwner owner;
            ASSERT_EQ(owner.create(n, kernels), kPlanOk) << n;
            EXPECT_TRUE(owner.plan->kind == PlanKind::Codelet && owner.plan->workBytes == 0u) << n;
        }
        for (const auto& [kind, n] : foreign) {
            DftPlan1D* plan = nullptr;
            EXPECT_EQ(planCreateOfKind(&plan, kernels, n, kind, fullPlanUse(kernels)), kPlanBadLength) << n;
            EXPECT_EQ(plan, nullptr) << n;
        }
    }
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
    // The first table entry of at least 2N-1, then powers of two past 8192.
    const int64_t cases[][2] = {{79, 160},      {1, 128},      {64, 128},     {65, 144},
                                {100, 200},     {101, 256},    {4096, 8192},  {4097, 16384},
                                {8192, 16384},  {8193, 32768}, {65537, 262144}};
    for (const auto& c : cases) EXPECT_EQ(chirpConvolutionLength(c[0]), c[1]) << c[0];
}

// Every kind must also be right at lengths the choice never gives it: the
// even lengths of the direct sum, short chirps, powers of two in mixed radix.
TEST(Plan1dKinds, EachKindMatchesDefinitionOverAllItsLengths) {
    const std::pair<PlanKind, int64_t> kinds[] = {
        {PlanKind::Direct, kMaxDirectLength}, {PlanKind::MixedRadix, 300}, {PlanKind::Chirp, 100}};
    for (const KernelSet* kernels : kernelSetsUnderTest()) {
        for (const auto& [kind, last] : kinds) {
            for (int64_t n = 1; n <= last; ++n) {
                RadixFactors f;
                if (kind == PlanKind::MixedRadix && !factoriseMixedRadix(n, &f)) continue;
                DftPlan1D* plan = nullptr;
                ASSERT_EQ(planCreateOfKind(&plan, kernels, n, kind, fullPlanUse(kernels)), kPlanOk) << n;
                expectMatchesDefinition(plan, testSignal(static_cast<size_t>(n), 1.3));
                planDestroy(plan);
            }
        }
    }
}

// Every allocation of a plan (a chirp: its tables, its sub-plan, the sub-plan's
// tables and the buffer of the kernel transform) may fail; each failure must
// report memory and free what was built.
TEST(Plan1dCreate, EveryFailedAllocationReportsMemoryAndLeaksNothing) {
    for (const int64_t n : {17, 76, 79}) {
        int32_t status = kPlanNoMemory;
        for (int64_t failAt = 1; status == kPlanNoMemory && failAt < 20; ++failAt) {
            RecordingHooks hooks(failAt);
            DftPlan1D* plan = nullptr;
            status = planCreate(&plan, &scalarKernelSet, n, fullPlanUse(&scalarKernelSet));
            if (status == kPlanOk) {
                EXPECT_GT(failAt, 1) << "length " << n;
                planDestroy(plan);
            }
            EXPECT_EQ(RecordingHooks::live, 0) << "length " << n << ", failing allocation " << failAt;
        }
        EXPECT_EQ(status, kPlanOk) << "length " << n;
    }
}

}  // namespace

}  // namespace regviafft::dft
