// Mixed-radix plans: the factor list, the per-stage twiddle tables (split),
// the roots of the odd radices, the input permutation, and the choice of a
// block codelet for the leading factors (kernels/mixed_radix.inl computes).
#include <new>

#include "plan_1d.h"

namespace regviafft::dft {

namespace {

// Measured: blocks of even length up to 16 beat the stages they replace; the
// 32-point and the odd blocks spill and lose to the stages.
constexpr int64_t kLargestBlock = 16;

bool isSpecialisedRadix(int32_t r)
{
    return r == 2 || r == 3 || r == 4 || r == 5;
}

// Position of input k after the first stage: the digit of the last factor is
// the most significant, as each stage splits its input by residue.
void fillGather(const RadixFactors& f, int64_t n, int32_t* gather)
{
    for (int64_t k = 0; k < n; ++k) {
        int64_t rest = k;
        int64_t weight = n;
        int64_t position = 0;
        for (int32_t s = f.count - 1; s >= 0; --s) {
            weight /= f.factor[s];
            position += (rest % f.factor[s]) * weight;
            rest /= f.factor[s];
        }
        gather[position] = static_cast<int32_t>(k);
    }
}

void fillTables(MixedRadixTables* t, Complex* twiddles, Complex* directTables, int64_t n,
                const Complex* w)
{
    int64_t m = 1;
    for (int32_t s = 0; s < t->factors.count; ++s) {
        const int32_t r = t->factors.factor[s];
        const int64_t step = n / (m * r);
        Complex* tw = twiddles + (m - 1) * kSplitEntries;
        for (int64_t j = 0; j < m; ++j) {
            for (int32_t q = 1; q < r; ++q)
                splitRoot(w[j * q * step], tw + (j * (r - 1) + q - 1) * kSplitEntries);
        }
        t->oddTables[s] = nullptr;
        if (!isSpecialisedRadix(r)) {
            fillDirectTable(directTables, r, w, n / r);
            t->oddTables[s] = directTables;
            directTables += directTableEntries(r);
        }
        m *= r;
    }
}

bool isGoodBlock(int64_t length)
{
    return length <= kLargestBlock && length % 2 == 0;
}

// The longest run of leading factors whose product makes a good block.
void chooseBlock(MixedRadixTables* t)
{
    t->blockFactors = 0;
    t->blockLength = 1;
    int64_t product = 1;
    for (int32_t s = 0; s < t->factors.count; ++s) {
        product *= t->factors.factor[s];
        if (!isGoodBlock(product))
            break;
        t->blockFactors = s + 1;
        t->blockLength = product;
    }
}

int32_t mixedRadixCreate(DftPlan1D* plan)
{
    const int64_t n = plan->length;
    RadixFactors factors;
    if (!factoriseMixedRadix(n, &factors))
        return kPlanBadLength;
    int64_t tableEntries = 0;
    for (int32_t s = 0; s < factors.count; ++s) {
        if (!isSpecialisedRadix(factors.factor[s]))
            tableEntries += directTableEntries(factors.factor[s]);
    }
    const int64_t header = roundUpToPlanAlignment(sizeof(MixedRadixTables));
    const int64_t twiddleBytes = int64_t{sizeof(Complex)} * kSplitEntries * (n - 1);
    const int64_t tableBytes = int64_t{sizeof(Complex)} * tableEntries;
    auto* block = static_cast<char*>(
        planAllocate(header + twiddleBytes + tableBytes + int64_t{sizeof(int32_t)} * n));
    auto* circle = static_cast<Complex*>(planAllocate(int64_t{sizeof(Complex)} * n));
    if (block == nullptr || circle == nullptr) {
        planRelease(block);
        planRelease(circle);
        return kPlanNoMemory;
    }
    auto* t = new (block) MixedRadixTables{};
    t->factors = factors;
    auto* twiddles = reinterpret_cast<Complex*>(block + header);
    auto* gather = reinterpret_cast<int32_t*>(block + header + twiddleBytes + tableBytes);
    fillFullCircleRoots(circle, n);
    fillTables(t, twiddles, twiddles + kSplitEntries * (n - 1), n, circle);
    fillGather(factors, n, gather);
    t->twiddles = twiddles;
    t->gather = gather;
    chooseBlock(t);
    planRelease(circle);
    plan->kindData = t;
    // In place, the permuted first stage reads a copy of the input.
    plan->kindWorkBytes = groupVectorBytes(plan, n);
    return kPlanOk;
}

template <bool Forward>
int32_t mixedRadixCompute(const DftPlan1D* plan, const PlanLines& lines, void* work)
{
    const auto* t = static_cast<const MixedRadixTables*>(plan->kindData);
    const int64_t n = plan->length;
    const Complex* src = lines.src;
    ptrdiff_t srcDist = lines.srcDist;
    if (src == lines.dst) {
        copyLines(src, srcDist, static_cast<Complex*>(work), lines.count, n, lines.count);
        src = static_cast<const Complex*>(work);
        srcDist = lines.count;
    }
    planLaneKernels(plan, lines.count)->mixedRadix[directionIndex(Forward)](
        t, n, src, srcDist, lines.dst, lines.dstDist);
    return kPlanOk;
}

void mixedRadixRelease(DftPlan1D* plan)
{
    planRelease(plan->kindData);
    plan->kindData = nullptr;
}

bool pushFactor(RadixFactors* f, int64_t factor)
{
    if (f->count == kMaxRadixFactors)
        return false;
    f->factor[f->count++] = static_cast<int32_t>(factor);
    return true;
}

bool reject(RadixFactors* f)
{
    f->count = 0;
    return false;
}

}  // namespace

bool factoriseMixedRadix(int64_t n, RadixFactors* factors)
{
    factors->count = 0;
    if (n < 2)
        return false;
    int64_t rest = n;
    int32_t fours = 0;
    while (rest % 4 == 0) {
        rest /= 4;
        ++fours;
    }
    // A single factor 2 runs first, on the permuted input, before the 4s.
    if (rest % 2 == 0) {
        rest /= 2;
        if (!pushFactor(factors, 2))
            return reject(factors);
    }
    for (int32_t i = 0; i < fours; ++i) {
        if (!pushFactor(factors, 4))
            return reject(factors);
    }
    if (rest >= 9) {
        for (int64_t d = 3; d * d <= rest;) {
            if (rest % d == 0) {
                rest /= d;
                if (!pushFactor(factors, d))
                    return reject(factors);
            } else if ((d += 2) > kMaxDirectLength) {
                return reject(factors);
            }
        }
    }
    if (factors->count == 0 || rest > kMaxDirectLength)
        return reject(factors);
    if (rest > 1 && !pushFactor(factors, rest))
        return reject(factors);
    return true;
}

const PlanKindOps mixedRadixPlanOps = {
    "mixed-radix", mixedRadixCreate, mixedRadixCompute<true>, mixedRadixCompute<false>,
    mixedRadixRelease,
};

}  // namespace regviafft::dft
