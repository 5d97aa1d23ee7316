// Fixed-size transforms of lengths 1 to 16 and 32. Each length is composed at
// compile time from butterflies of 2, 3, 4 and 5 points and direct odd-prime
// sums: coprime factors by prime-factor mapping (no twiddles), the others by
// Cooley-Tukey with constant twiddles. Every codelet loads its whole input
// before writing, so src and dst may coincide.
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "butterflies.h"
#include "complex_vec.h"
#include "plan_1d.h"

// Each codelet must compile to one straight-line body with its values in
// registers; a butterfly left out of line spills them all to memory.
#if defined(__GNUC__)
#define REGVIAFFT_FLATTEN __attribute__((flatten))
#else
#define REGVIAFFT_FLATTEN
#endif

namespace {

// cos and sin of 2*pi*k/n, correctly rounded; half turns for odd n, an octant
// for 32 (which also serves 8 and 16).
constexpr double kCos7[4] = {1.0, 0.6234898018587335, -0.2225209339563144, -0.9009688679024191};
constexpr double kSin7[4] = {0.0, 0.7818314824680298, 0.9749279121818236, 0.4338837391175581};
constexpr double kCos9[5] = {1.0, 0.766044443118978, 0.17364817766693036, -0.5,
                             -0.9396926207859084};
constexpr double kSin9[5] = {0.0, 0.6427876096865394, 0.984807753012208, 0.8660254037844386,
                             0.3420201433256687};
constexpr double kCos11[6] = {1.0, 0.8412535328311812, 0.41541501300188644,
                              -0.14231483827328514, -0.6548607339452851, -0.9594929736144974};
constexpr double kSin11[6] = {0.0, 0.5406408174555976, 0.9096319953545183,
                              0.9898214418809327, 0.7557495743542583, 0.28173255684142967};
constexpr double kCos13[7] = {1.0, 0.8854560256532099, 0.5680647467311558, 0.12053668025532305,
                              -0.3546048870425356, -0.7485107481711011, -0.970941817426052};
constexpr double kSin13[7] = {0.0, 0.46472317204376856, 0.8229838658936564, 0.992708874098054,
                              0.9350162426854148, 0.6631226582407952, 0.23931566428755777};
constexpr double kCos32[5] = {1.0, 0.9807852804032304, 0.9238795325112867, 0.8314696123025452,
                              0.7071067811865476};
constexpr double kSin32[5] = {0.0, 0.19509032201612828, 0.3826834323650898, 0.5555702330196022,
                              0.7071067811865476};

constexpr double sin32(int k) {
    k %= 32;
    if (k > 16) return -sin32(32 - k);
    if (k > 8) return sin32(16 - k);
    if (k > 4) return kCos32[8 - k];
    return kSin32[k];
}

// Half-turn tables of an odd length n: cos is even and sin odd about n/2.
constexpr double halfTurn(const double* table, int k, int n, bool odd) {
    k %= n;
    if (2 * k <= n) return table[k];
    return odd ? -table[n - k] : table[n - k];
}

constexpr double unitCos(int k, int n) {
    switch (n) {
        case 7: return halfTurn(kCos7, k, n, false);
        case 9: return halfTurn(kCos9, k, n, false);
        case 11: return halfTurn(kCos11, k, n, false);
        case 13: return halfTurn(kCos13, k, n, false);
        default: return sin32(k * (32 / n) + 8);
    }
}

constexpr double unitSin(int k, int n) {
    switch (n) {
        case 7: return halfTurn(kSin7, k, n, true);
        case 9: return halfTurn(kSin9, k, n, true);
        case 11: return halfTurn(kSin11, k, n, true);
        case 13: return halfTurn(kSin13, k, n, true);
        default: return sin32(k * (32 / n));
    }
}

// exp(-2*pi*i*k/n) forward, exp(+2*pi*i*k/n) backward.
template <bool Forward>
constexpr Complex unitRoot(int k, int n) {
    return {unitCos(k, n), Forward ? -unitSin(k, n) : unitSin(k, n)};
}

// Calls f(std::integral_constant<int, i>) for i = 0..N-1: every index is a
// compile-time constant, so local arrays stay in registers.
template <typename F, int... I>
inline void unrollOver(F&& f, std::integer_sequence<int, I...>) {
    (f(std::integral_constant<int, I>{}), ...);
}

template <int N, typename F>
inline void unroll(F&& f) {
    unrollOver(f, std::make_integer_sequence<int, N>{});
}

template <int N, bool Forward>
inline void smallDft(ComplexVec* v);


// Direct sum of an odd prime length from the symmetric and antisymmetric
// halves of the input, as in dft3 and dft5.
template <int P, bool Forward>
inline void dftOddPrime(ComplexVec* v) {
    constexpr int h = (P - 1) / 2;
    ComplexVec sum[h + 1];
    ComplexVec diff[h + 1];
    ComplexVec total = v[0];
    unroll<h>([&](auto i) {
        constexpr int j = decltype(i)::value + 1;
        sum[j] = v[j] + v[P - j];
        diff[j] = v[j] - v[P - j];
        total = total + sum[j];
    });
    ComplexVec out[P];
    out[0] = total;
    unroll<h>([&](auto ik) {
        constexpr int k = decltype(ik)::value + 1;
        ComplexVec even = v[0];
        ComplexVec odd = makeComplexVec(0.0, 0.0);
        unroll<h>([&](auto ij) {
            constexpr int j = decltype(ij)::value + 1;
            constexpr Complex w = unitRoot<Forward>(j * k, P);
            even = even + w.real * sum[j];
            odd = odd + w.imag * diff[j];
        });
        out[k] = plusI(even, odd);
        out[P - k] = minusI(even, odd);
    });
    unroll<P>([&](auto k) { v[k] = out[k]; });
}

constexpr int inverseModulo(int a, int m) {
    for (int x = 1; x < m; ++x) {
        if ((a * x) % m == 1) return x;
    }
    return 1;
}

// Prime-factor mapping for coprime n1, n2: input n1*N2 + n2*N1, output by the
// Chinese remainder theorem.
template <int N1, int N2, bool Forward>
inline void primeFactor(ComplexVec* v) {
    constexpr int n = N1 * N2;
    constexpr int out1 = N2 * inverseModulo(N2 % N1, N1);
    constexpr int out2 = N1 * inverseModulo(N1 % N2, N2);
    ComplexVec rows[N1][N2];
    unroll<N1>([&](auto i1) {
        unroll<N2>([&](auto i2) { rows[i1][i2] = v[(i1 * N2 + i2 * N1) % n]; });
        smallDft<N2, Forward>(rows[i1]);
    });
    unroll<N2>([&](auto k2) {
        ComplexVec column[N1];
        unroll<N1>([&](auto i1) { column[i1] = rows[i1][k2]; });
        smallDft<N1, Forward>(column);
        unroll<N1>([&](auto k1) { v[(k1 * out1 + k2 * out2) % n] = column[k1]; });
    });
}

// Input i1 + N1*i2, output k2 + N2*k1, twiddle w^(i1*k2) between the passes.
template <int N1, int N2, bool Forward>
inline void cooleyTukey(ComplexVec* v) {
    ComplexVec rows[N1][N2];
    unroll<N1>([&](auto i1) {
        unroll<N2>([&](auto i2) { rows[i1][i2] = v[i1 + N1 * i2]; });
        smallDft<N2, Forward>(rows[i1]);
        unroll<N2>([&](auto k2) {
            constexpr int t = decltype(i1)::value * decltype(k2)::value;
            if constexpr (t % (N1 * N2) == 0) {
                return;
            } else if constexpr (4 * t % (N1 * N2) == 0) {
                // Whole quarter turns are exact: a swap and sign flips.
                constexpr int quarters = 4 * t / (N1 * N2) % 4;
                const ComplexVec a = rows[i1][k2];
                rows[i1][k2] = quarters == 1   ? quarterTurn<Forward>(a)
                               : quarters == 2 ? negateImag(negateReal(a))
                                               : quarterTurn<!Forward>(a);
            } else {
                constexpr Complex w = unitRoot<Forward>(t, N1 * N2);
                rows[i1][k2] = multiply(rows[i1][k2], toVec(w));
            }
        });
    });
    unroll<N2>([&](auto k2) {
        ComplexVec column[N1];
        unroll<N1>([&](auto i1) { column[i1] = rows[i1][k2]; });
        smallDft<N1, Forward>(column);
        unroll<N1>([&](auto k1) { v[k2 + N2 * k1] = column[k1]; });
    });
}

template <int N, bool Forward>
inline void smallDft(ComplexVec* v) {
    if constexpr (N == 2) {
        const ComplexVec t = v[1];
        v[1] = v[0] - t;
        v[0] = v[0] + t;
    } else if constexpr (N == 3) {
        dft3<Forward>(v);
    } else if constexpr (N == 4) {
        dft4<Forward>(v);
    } else if constexpr (N == 5) {
        dft5<Forward>(v);
    } else if constexpr (N == 7 || N == 11 || N == 13) {
        dftOddPrime<N, Forward>(v);
    } else if constexpr (N == 6 || N == 10 || N == 14) {
        primeFactor<2, N / 2, Forward>(v);
    } else if constexpr (N == 12) {
        primeFactor<4, 3, Forward>(v);
    } else if constexpr (N == 15) {
        primeFactor<3, 5, Forward>(v);
    } else if constexpr (N == 8) {
        cooleyTukey<2, 4, Forward>(v);
    } else if constexpr (N == 9) {
        cooleyTukey<3, 3, Forward>(v);
    } else if constexpr (N == 16) {
        cooleyTukey<4, 4, Forward>(v);
    } else {
        static_assert(N == 32, "no codelet of this length");
        cooleyTukey<4, 8, Forward>(v);
    }
}

template <int N, bool Forward>
REGVIAFFT_FLATTEN void stridedCodelet(const Complex* src, ptrdiff_t srcStride, Complex* dst,
                                      ptrdiff_t dstStride) {
    ComplexVec v[N];
    unroll<N>([&](auto i) { v[i] = loadComplex(src + i * srcStride); });
    if constexpr (N > 1) smallDft<N, Forward>(v);
    unroll<N>([&](auto i) { storeComplex(dst + i * dstStride, v[i]); });
}

template <int N, bool Forward>
REGVIAFFT_FLATTEN void codelet(const Complex* src, Complex* dst) {
    ComplexVec v[N];
    unroll<N>([&](auto i) { v[i] = loadComplex(src + i); });
    if constexpr (N > 1) smallDft<N, Forward>(v);
    unroll<N>([&](auto i) { storeComplex(dst + i, v[i]); });
}

template <bool Forward>
constexpr CodeletRoutine kCodelets[17] = {
    nullptr,
    codelet<1, Forward>,  codelet<2, Forward>,  codelet<3, Forward>,  codelet<4, Forward>,
    codelet<5, Forward>,  codelet<6, Forward>,  codelet<7, Forward>,  codelet<8, Forward>,
    codelet<9, Forward>,  codelet<10, Forward>, codelet<11, Forward>, codelet<12, Forward>,
    codelet<13, Forward>, codelet<14, Forward>, codelet<15, Forward>, codelet<16, Forward>,
};

template <bool Forward>
constexpr StridedCodeletRoutine kStridedCodelets[17] = {
    nullptr,
    stridedCodelet<1, Forward>,  stridedCodelet<2, Forward>,  stridedCodelet<3, Forward>,
    stridedCodelet<4, Forward>,  stridedCodelet<5, Forward>,  stridedCodelet<6, Forward>,
    stridedCodelet<7, Forward>,  stridedCodelet<8, Forward>,  stridedCodelet<9, Forward>,
    stridedCodelet<10, Forward>, stridedCodelet<11, Forward>, stridedCodelet<12, Forward>,
    stridedCodelet<13, Forward>, stridedCodelet<14, Forward>, stridedCodelet<15, Forward>,
    stridedCodelet<16, Forward>,
};

int32_t createCodelet(DftPlan1D* plan) {
    if (codeletRoutine(plan->length, true) == nullptr) {
        return kPlanBadLength;
    }
    plan->kindData = nullptr;
    plan->workBytes = 0;
    return kPlanOk;
}

template <bool Forward>
int32_t computeCodelet(const DftPlan1D* plan, const Complex* src, Complex* dst, void*) {
    codeletRoutine(plan->length, Forward)(src, dst);
    return kPlanOk;
}

void releaseCodelet(DftPlan1D* plan) { plan->kindData = nullptr; }

}  // namespace

CodeletRoutine codeletRoutine(int64_t length, bool forward) {
    if (length == 32) {
        return forward ? codelet<32, true> : codelet<32, false>;
    }
    if (length < 1 || length > 16) {
        return nullptr;
    }
    return forward ? kCodelets<true>[length] : kCodelets<false>[length];
}

StridedCodeletRoutine stridedCodeletRoutine(int64_t length, bool forward) {
    if (length == 32) {
        return forward ? stridedCodelet<32, true> : stridedCodelet<32, false>;
    }
    if (length < 1 || length > 16) {
        return nullptr;
    }
    return forward ? kStridedCodelets<true>[length] : kStridedCodelets<false>[length];
}

const PlanKindOps codeletPlanOps = {
    "codelet",
    createCodelet,
    computeCodelet<true>,
    computeCodelet<false>,
    releaseCodelet,
};
