// Fixed-size transforms of lengths 1 to 16 and 32, over vectors of complex
// numbers. Each length is composed at compile time from butterflies of 2, 3,
// 4 and 5 points and direct odd-prime sums: coprime factors by prime-factor
// mapping (no twiddles), the others by Cooley-Tukey with constant twiddles.
// Every codelet loads its whole input before writing, so src and dst may
// coincide.

// Each codelet must compile to one straight-line body with its values in
// registers; a butterfly left out of line spills them all to memory.
#if defined(__GNUC__)
#define REGVIAFFT_FLATTEN __attribute__((flatten))
#else
#define REGVIAFFT_FLATTEN
#endif

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
constexpr Complex unitRoot(int k, int n)
{
    return {unitCos(k, n), Forward ? -unitSin(k, n) : unitSin(k, n)};
}

// Calls f(std::integral_constant<int, i>) for i = 0..N-1: every index is a
// compile-time constant, so local arrays stay in registers.
template <typename F, int... I>
inline void unrollOver(F&& f, std::integer_sequence<int, I...>)
{
    (f(std::integral_constant<int, I>{}), ...);
}

template <int N, typename F>
inline void unroll(F&& f)
{
    unrollOver(f, std::make_integer_sequence<int, N>{});
}

template <int N, bool Forward, class V>
inline void smallDft(V* v);

// Direct sum of an odd prime length from the symmetric and antisymmetric
// halves of the input, as in dft3 and dft5.
template <int P, bool Forward, class V>
inline void dftOddPrime(V* v)
{
    constexpr int h = (P - 1) / 2;
    V sum[h + 1];
    V diff[h + 1];
    V total = v[0];
    unroll<h>([&](auto i) {
        constexpr int j = decltype(i)::value + 1;
        sum[j] = v[j] + v[P - j];
        diff[j] = v[j] - v[P - j];
        total = total + sum[j];
    });
    V out[P];
    out[0] = total;
    unroll<h>([&](auto ik) {
        constexpr int k = decltype(ik)::value + 1;
        V even = v[0];
        V odd = zeroVec<V>();
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

constexpr int inverseModulo(int a, int m)
{
    for (int x = 1; x < m; ++x) {
        if ((a * x) % m == 1)
            return x;
    }
    return 1;
}

// Prime-factor mapping for coprime n1, n2: input n1*N2 + n2*N1, output by the
// Chinese remainder theorem.
template <int N1, int N2, bool Forward, class V>
inline void primeFactor(V* v)
{
    constexpr int n = N1 * N2;
    constexpr int out1 = N2 * inverseModulo(N2 % N1, N1);
    constexpr int out2 = N1 * inverseModulo(N1 % N2, N2);
    V rows[N1][N2];
    unroll<N1>([&](auto i1) {
        unroll<N2>([&](auto i2) { rows[i1][i2] = v[(i1 * N2 + i2 * N1) % n]; });
        smallDft<N2, Forward>(rows[i1]);
    });
    unroll<N2>([&](auto k2) {
        V column[N1];
        unroll<N1>([&](auto i1) { column[i1] = rows[i1][k2]; });
        smallDft<N1, Forward>(column);
        unroll<N1>([&](auto k1) { v[(k1 * out1 + k2 * out2) % n] = column[k1]; });
    });
}

// Input i1 + N1*i2, output k2 + N2*k1, twiddle w^(i1*k2) between the passes.
template <int N1, int N2, bool Forward, class V>
inline void cooleyTukey(V* v)
{
    V rows[N1][N2];
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
                const V a = rows[i1][k2];
                rows[i1][k2] = quarters == 1   ? quarterTurn<Forward>(a)
                               : quarters == 2 ? negateImag(negateReal(a))
                                               : quarterTurn<!Forward>(a);
            } else {
                constexpr Complex w = unitRoot<Forward>(t, N1 * N2);
                rows[i1][k2] = multiplyBy(rows[i1][k2], w.real, w.imag);
            }
        });
    });
    unroll<N2>([&](auto k2) {
        V column[N1];
        unroll<N1>([&](auto i1) { column[i1] = rows[i1][k2]; });
        smallDft<N1, Forward>(column);
        unroll<N1>([&](auto k1) { v[k2 + N2 * k1] = column[k1]; });
    });
}

template <int N, bool Forward, class V>
inline void smallDft(V* v)
{
    if constexpr (N == 1) {
        return;
    } else if constexpr (N >= 2 && N <= 5) {
        butterfly<Forward, N>(v);
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

// Interleaved elements src[i*srcDist] to dst[i*dstDist].
template <class V, int N, bool Forward>
REGVIAFFT_FLATTEN void codelet(const Complex* src, ptrdiff_t srcDist, Complex* dst,
                               ptrdiff_t dstDist)
{
    V v[N];
    unroll<N>([&](auto i) { v[i] = loadVec<V>(src + i * srcDist); });
    smallDft<N, Forward>(v);
    unroll<N>([&](auto i) { storeVec(dst + i * dstDist, v[i]); });
}

// One row per slot, transposed in registers on the way in and out.
template <class V, int N, bool Forward>
REGVIAFFT_FLATTEN void rowCodelet(const Complex* src, ptrdiff_t srcRowStride, Complex* dst,
                                  ptrdiff_t dstRowStride)
{
    V v[N];
    loadRows<N>(src, srcRowStride, v);
    smallDft<N, Forward>(v);
    storeRows<N>(dst, dstRowStride, v);
}

// Codelet tables by length, for one vector type and direction. One row is
// a plain sequence, so the row forms exist for the wider vectors only.
template <class V, bool Forward, int... N>
constexpr void fillCodelets(CodeletKernel* table, RowCodeletKernel* rows,
                            std::integer_sequence<int, N...>)
{
    ((table[N + 1] = codelet<V, N + 1, Forward>), ...);
    table[32] = codelet<V, 32, Forward>;
    if constexpr (V::kLanes > 1) {
        ((rows[N + 1] = rowCodelet<V, N + 1, Forward>), ...);
        rows[32] = rowCodelet<V, 32, Forward>;
    }
}

template <class V, bool Forward>
constexpr void fillCodeletTables(LaneKernels* k)
{
    const int d = directionIndex(Forward);
    fillCodelets<V, Forward>(k->codelet[d], k->rowCodelet[d],
                             std::make_integer_sequence<int, kLargestCodelet>{});
}
