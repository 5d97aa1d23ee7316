// Mixed-radix plan: decimation in time over the factor list. The input is read
// in digit-reversed order by the first stage, then every further stage joins
// its sub-transforms in place with tabulated twiddles. When the first factors
// multiply to a short even codelet length L, one strided codelet per block
// replaces their stages: block b is the transform of input gather[b*L] + j*N/L, j < L.
#include <cstring>

#include "butterflies.h"
#include "complex_vec.h"
#include "plan_1d.h"

namespace {

// Tables of one plan, carved from one allocation after this header.
struct MixedRadixData {
    RadixFactors factors;
    // Stage s with span L = m*r holds w_L^(j*q) at [(m-1) + j*(r-1) + q-1],
    // j < m, 0 < q < r: N-1 entries over all stages.
    Complex* twiddles;
    // r roots exp(-2*pi*i*k/r) for each stage of odd radix 7 and more.
    Complex* oddRoots[kMaxRadixFactors];
    int32_t* gather;  // position p of the first stage reads input gather[p]
    int32_t blockFactors;  // leading factors done by the block codelet, 0 if none
    int64_t blockLength;   // L, their product
    StridedCodeletRoutine blockForward;
    StridedCodeletRoutine blockBackward;
};

constexpr int64_t kLargestBlock = 16;

bool isSpecialisedRadix(int32_t r) { return r == 2 || r == 3 || r == 4 || r == 5; }

// In-place small transforms of R points; the backward ones conjugate the roots.
template <bool Forward, int R>
inline void butterfly(ComplexVec* a) {
    static_assert(R >= 2 && R <= 5, "specialised radices are 2, 3, 4 and 5");
    if constexpr (R == 2) {
        const ComplexVec t = a[1];
        a[1] = a[0] - t;
        a[0] = a[0] + t;
    } else if constexpr (R == 3) {
        dft3<Forward>(a);
    } else if constexpr (R == 4) {
        dft4<Forward>(a);
    } else {
        dft5<Forward>(a);
    }
}

// First stage (m = 1, no twiddles): reads the input in permuted order.
template <bool Forward, int R>
void firstStage(const Complex* in, const int32_t* gather, Complex* out, int64_t n) {
    for (int64_t b = 0; b < n; b += R) {
        ComplexVec a[R];
        for (int q = 0; q < R; ++q) a[q] = loadComplex(in + gather[b + q]);
        butterfly<Forward, R>(a);
        for (int q = 0; q < R; ++q) storeComplex(out + b + q, a[q]);
    }
}

// Joins R sub-transforms of length m into one of length m*R, in place.
template <bool Forward, int R>
void radixStage(Complex* data, int64_t n, int64_t m, const Complex* tw) {
    const int64_t span = m * R;
    for (int64_t b = 0; b < n; b += span) {
        Complex* block = data + b;
        ComplexVec a[R];
        for (int q = 0; q < R; ++q) a[q] = loadComplex(block + q * m);
        butterfly<Forward, R>(a);
        for (int q = 0; q < R; ++q) storeComplex(block + q * m, a[q]);
        for (int64_t j = 1; j < m; ++j) {
            const Complex* w = tw + j * (R - 1);
            Complex* p = block + j;
            a[0] = loadComplex(p);
            for (int q = 1; q < R; ++q) {
                a[q] = rotate<Forward>(loadComplex(p + q * m), loadComplex(w + q - 1));
            }
            butterfly<Forward, R>(a);
            for (int q = 0; q < R; ++q) storeComplex(p + q * m, a[q]);
        }
    }
}

template <bool Forward>
void oddFirstStage(const Complex* in, const int32_t* gather, Complex* out, int64_t n, int32_t r,
                   const Complex* roots) {
    Complex a[kMaxDirectLength];
    for (int64_t b = 0; b < n; b += r) {
        for (int32_t q = 0; q < r; ++q) a[q] = in[gather[b + q]];
        directTransform(roots, r, a, out + b, Forward);
    }
}

template <bool Forward>
void oddRadixStage(Complex* data, int64_t n, int64_t m, int32_t r, const Complex* tw,
                   const Complex* roots) {
    Complex a[kMaxDirectLength];
    Complex y[kMaxDirectLength];
    const int64_t span = m * r;
    for (int64_t b = 0; b < n; b += span) {
        for (int64_t j = 0; j < m; ++j) {
            const Complex* w = tw + j * (r - 1);
            Complex* p = data + b + j;
            a[0] = p[0];
            for (int32_t q = 1; q < r; ++q) {
                const ComplexVec x = loadComplex(p + q * m);
                storeComplex(a + q, rotate<Forward>(x, loadComplex(w + q - 1)));
            }
            directTransform(roots, r, a, y, Forward);
            for (int32_t q = 0; q < r; ++q) p[q * m] = y[q];
        }
    }
}

template <bool Forward>
void runFirstStage(const MixedRadixData* d, const Complex* in, Complex* out, int64_t n) {
    switch (d->factors.factor[0]) {
        case 2: firstStage<Forward, 2>(in, d->gather, out, n); break;
        case 3: firstStage<Forward, 3>(in, d->gather, out, n); break;
        case 4: firstStage<Forward, 4>(in, d->gather, out, n); break;
        case 5: firstStage<Forward, 5>(in, d->gather, out, n); break;
        default:
            oddFirstStage<Forward>(in, d->gather, out, n, d->factors.factor[0], d->oddRoots[0]);
    }
}

template <bool Forward>
void runStage(const MixedRadixData* d, int32_t s, Complex* data, int64_t n, int64_t m) {
    const Complex* tw = d->twiddles + (m - 1);
    const int32_t r = d->factors.factor[s];
    switch (r) {
        case 2: radixStage<Forward, 2>(data, n, m, tw); break;
        case 3: radixStage<Forward, 3>(data, n, m, tw); break;
        case 4: radixStage<Forward, 4>(data, n, m, tw); break;
        case 5: radixStage<Forward, 5>(data, n, m, tw); break;
        default: oddRadixStage<Forward>(data, n, m, r, tw, d->oddRoots[s]);
    }
}

template <bool Forward>
int32_t mixedRadixCompute(const DftPlan1D* plan, const Complex* src, Complex* dst, void* work) {
    const auto* d = static_cast<const MixedRadixData*>(plan->kindData);
    const int64_t n = plan->length;
    const Complex* in = src;
    if (src == dst) {
        // The permuted first stage cannot run in place; read from a copy.
        std::memcpy(work, src, sizeof(Complex) * static_cast<size_t>(n));
        in = static_cast<const Complex*>(work);
    }
    int32_t s = 1;
    int64_t m = d->factors.factor[0];
    if (d->blockFactors > 0) {
        const StridedCodeletRoutine block = Forward ? d->blockForward : d->blockBackward;
        const ptrdiff_t stride = static_cast<ptrdiff_t>(n / d->blockLength);
        for (int64_t b = 0; b < n; b += d->blockLength) {
            block(in + d->gather[b], stride, dst + b, 1);
        }
        s = d->blockFactors;
        m = d->blockLength;
    } else {
        runFirstStage<Forward>(d, in, dst, n);
    }
    for (; s < d->factors.count; ++s) {
        runStage<Forward>(d, s, dst, n, m);
        m *= d->factors.factor[s];
    }
    return kPlanOk;
}

// Position of input k after the first stage: the digit of the last factor is
// the most significant, as each stage splits its input by residue.
void fillGather(const RadixFactors& f, int64_t n, int32_t* gather) {
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

void fillTables(MixedRadixData* d, int64_t n, const Complex* w, Complex* roots) {
    int64_t m = 1;
    for (int32_t s = 0; s < d->factors.count; ++s) {
        const int32_t r = d->factors.factor[s];
        const int64_t step = n / (m * r);
        Complex* tw = d->twiddles + (m - 1);
        for (int64_t j = 0; j < m; ++j) {
            for (int32_t q = 1; q < r; ++q) tw[j * (r - 1) + q - 1] = w[j * q * step];
        }
        d->oddRoots[s] = nullptr;
        if (!isSpecialisedRadix(r)) {
            for (int32_t k = 0; k < r; ++k) roots[k] = w[k * (n / r)];
            d->oddRoots[s] = roots;
            roots += r;
        }
        m *= r;
    }
    fillGather(d->factors, n, d->gather);
}

// Measured: blocks of even length up to 16 beat the stages they replace; the
// 32-point and the odd blocks spill and lose to the stages.
bool isGoodBlock(int64_t length) {
    return length <= kLargestBlock && length % 2 == 0 &&
           stridedCodeletRoutine(length, true) != nullptr;
}

// The longest run of leading factors whose product makes a good block.
void chooseBlock(MixedRadixData* d) {
    d->blockFactors = 0;
    d->blockLength = 1;
    int64_t product = 1;
    for (int32_t s = 0; s < d->factors.count; ++s) {
        product *= d->factors.factor[s];
        if (!isGoodBlock(product)) break;
        d->blockFactors = s + 1;
        d->blockLength = product;
    }
    d->blockForward = stridedCodeletRoutine(d->blockLength, true);
    d->blockBackward = stridedCodeletRoutine(d->blockLength, false);
}

constexpr int64_t roundUp32(int64_t bytes) { return (bytes + 31) & ~int64_t{31}; }

int32_t mixedRadixCreate(DftPlan1D* plan) {
    const int64_t n = plan->length;
    RadixFactors factors;
    if (!factoriseMixedRadix(n, &factors)) return kPlanBadLength;
    int64_t rootCount = 0;
    for (int32_t s = 0; s < factors.count; ++s) {
        if (!isSpecialisedRadix(factors.factor[s])) rootCount += factors.factor[s];
    }
    const int64_t header = roundUp32(sizeof(MixedRadixData));
    const int64_t complexBytes = static_cast<int64_t>(sizeof(Complex)) * (n - 1 + rootCount);
    auto* block = static_cast<char*>(
        planAllocate(header + complexBytes + static_cast<int64_t>(sizeof(int32_t)) * n));
    auto* circle = static_cast<Complex*>(planAllocate(static_cast<int64_t>(sizeof(Complex)) * n));
    if (block == nullptr || circle == nullptr) {
        planRelease(block);
        planRelease(circle);
        return kPlanNoMemory;
    }
    auto* d = reinterpret_cast<MixedRadixData*>(block);
    d->factors = factors;
    d->twiddles = reinterpret_cast<Complex*>(block + header);
    d->gather = reinterpret_cast<int32_t*>(block + header + complexBytes);
    fillFullCircleRoots(circle, n);
    fillTables(d, n, circle, d->twiddles + (n - 1));
    chooseBlock(d);
    planRelease(circle);
    plan->kindData = d;
    plan->workBytes = sizeof(Complex) * static_cast<size_t>(n) + kPlanWorkAlignment;
    return kPlanOk;
}

void mixedRadixRelease(DftPlan1D* plan) {
    planRelease(plan->kindData);
    plan->kindData = nullptr;
}

bool pushFactor(RadixFactors* f, int64_t factor) {
    if (f->count == kMaxRadixFactors) return false;
    f->factor[f->count++] = static_cast<int32_t>(factor);
    return true;
}

bool reject(RadixFactors* f) {
    f->count = 0;
    return false;
}

}  // namespace

bool factoriseMixedRadix(int64_t n, RadixFactors* factors) {
    factors->count = 0;
    if (n < 2) return false;
    int64_t rest = n;
    int32_t fours = 0;
    while (rest % 4 == 0) {
        rest /= 4;
        ++fours;
    }
    // A single factor 2 runs first, on the permuted input, before the 4s.
    if (rest % 2 == 0) {
        rest /= 2;
        if (!pushFactor(factors, 2)) return reject(factors);
    }
    for (int32_t i = 0; i < fours; ++i) {
        if (!pushFactor(factors, 4)) return reject(factors);
    }
    if (rest >= 9) {
        for (int64_t d = 3; d * d <= rest;) {
            if (rest % d == 0) {
                rest /= d;
                if (!pushFactor(factors, d)) return reject(factors);
            } else if ((d += 2) > kMaxDirectLength) {
                return reject(factors);
            }
        }
    }
    if (factors->count == 0 || rest > kMaxDirectLength) return reject(factors);
    if (rest > 1 && !pushFactor(factors, rest)) return reject(factors);
    return true;
}

const PlanKindOps mixedRadixPlanOps = {"mixed-radix", mixedRadixCreate,
                                       mixedRadixCompute<true>, mixedRadixCompute<false>,
                                       mixedRadixRelease};
