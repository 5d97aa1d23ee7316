// The defining sum over n <= kMaxDirectLength points, for the odd primes too
// large for a codelet and the odd radices of the mixed-radix stages. A
// mirrored pair (q, n-q) of inputs contributes c*(x_q + x_{n-q}) +
// i*s*(x_q - x_{n-q}) to output p and the same with -s to output n-p, so
// each root serves two outputs. The roots come from a table of
// exp(-2*pi*i*p*q/n) by p and q (1 to (n-1)/2), so the sums need no index
// arithmetic, and several outputs run side by side so that their sums do not
// wait on each other.

// Outputs at once: all the accumulators stay in registers (32 of them with
// AVX-512, 16 below); a divisor of the table's row block.
#if defined(__AVX512F__)
constexpr int32_t kDirectOutputsAtOnce = 8;
#else
constexpr int32_t kDirectOutputsAtOnce = 4;
#endif
static_assert(kDirectRowBlock % kDirectOutputsAtOnce == 0, "whole blocks of table rows");

// Outputs p and n-p for p = first..first+count-1 (count <= the block).
template <class V, bool Forward>
inline void directOutputs(const Complex* table, int32_t n, int32_t half, const V* sum,
                          const V* diff, V x0, V middle, int32_t first, int32_t count, Complex* dst,
                          ptrdiff_t dd)
{
    V c[kDirectOutputsAtOnce];
    V s[kDirectOutputsAtOnce];
    for (int32_t k = 0; k < kDirectOutputsAtOnce; ++k) {
        c[k] = zeroVec<V>();
        s[k] = zeroVec<V>();
    }
    // Every output of the block is summed (rows past the last are zeros):
    // a constant trip count keeps the sums in registers.
    const Complex* rows = table + static_cast<ptrdiff_t>(first - 1) * half;
    for (int32_t q = 0; q < half; ++q) {
        const V a = sum[q + 1];
        const V b = diff[q + 1];
        for (int32_t k = 0; k < kDirectOutputsAtOnce; ++k) {
            const Complex w = rows[k * half + q];
            c[k] = mulAdd(splatVec<V>(w.real), a, c[k]);
            s[k] = mulAdd(splatVec<V>(w.imag), b, s[k]);
        }
    }
    for (int32_t k = 0; k < count; ++k) {
        const int32_t p = first + k;
        // An even length adds the middle input with sign (-1)^p.
        const V m = (p % 2 == 0) ? middle : zeroVec<V>() - middle;
        const V sIm = Forward ? s[k] : zeroVec<V>() - s[k];
        storeVec(dst + p * dd, x0 + (plusI(c[k], sIm) + m));
        storeVec(dst + (n - p) * dd, x0 + (minusI(c[k], sIm) + m));
    }
}

// src and dst must not overlap.
template <class V, bool Forward>
void directTransform(const Complex* table, int32_t n, const Complex* src, ptrdiff_t sd,
                     Complex* dst, ptrdiff_t dd)
{
    V sum[kMaxDirectLength / 2 + 1];
    V diff[kMaxDirectLength / 2 + 1];
    const int32_t half = (n - 1) / 2;
    const V x0 = loadVec<V>(src);
    const V middle = (n % 2 == 0) ? loadVec<V>(src + (n / 2) * sd) : zeroVec<V>();
    V total = zeroVec<V>();
    for (int32_t q = 1; q <= half; ++q) {
        const V a = loadVec<V>(src + q * sd);
        const V b = loadVec<V>(src + (n - q) * sd);
        sum[q] = a + b;
        diff[q] = a - b;
        total = total + sum[q];
    }
    storeVec(dst, x0 + (total + middle));
    for (int32_t p = 1; p <= half; p += kDirectOutputsAtOnce) {
        const int32_t count = half - p + 1 < kDirectOutputsAtOnce ? half - p + 1
                                                                  : kDirectOutputsAtOnce;
        directOutputs<V, Forward>(table, n, half, sum, diff, x0, middle, p, count, dst, dd);
    }
    if (n % 2 == 0 && n > 1) {
        V alternating = zeroVec<V>();
        for (int32_t q = 1; q <= half; ++q)
            alternating = (q % 2 == 0) ? alternating + sum[q] : alternating - sum[q];
        const V m = ((n / 2) % 2 == 0) ? middle : zeroVec<V>() - middle;
        storeVec(dst + (n / 2) * dd, x0 + (alternating + m));
    }
}
