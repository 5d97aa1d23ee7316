// The defining sum over n <= kMaxDirectLength points, for the odd primes too
// large for a codelet and the odd radices of the mixed-radix stages. A
// mirrored pair (q, n-q) of inputs contributes c*(x_q + x_{n-q}) +
// i*s*(x_q - x_{n-q}) to output p and the same with -s to output n-p, so
// each root is read once for two outputs; four outputs run side by side so
// that their sums do not wait on each other.

constexpr int32_t kDirectOutputsAtOnce = 4;

// Outputs p and n-p for p = first..first+count-1 (count <= 4).
template <class V, bool Forward>
inline void directOutputs(const Complex* roots, int32_t n, int32_t half, const V* sum,
                          const V* diff, V x0, V middle, int32_t first, int32_t count, Complex* dst,
                          ptrdiff_t dd)
{
    V c[kDirectOutputsAtOnce];
    V s[kDirectOutputsAtOnce];
    int32_t index[kDirectOutputsAtOnce];
    for (int32_t k = 0; k < count; ++k) {
        c[k] = zeroVec<V>();
        s[k] = zeroVec<V>();
        index[k] = 0;
    }
    for (int32_t q = 1; q <= half; ++q) {
        for (int32_t k = 0; k < count; ++k) {
            index[k] += first + k;
            if (index[k] >= n)
                index[k] -= n;
            const Complex w = roots[index[k]];
            c[k] = mulAdd(splatVec<V>(w.real), sum[q], c[k]);
            s[k] = mulAdd(splatVec<V>(w.imag), diff[q], s[k]);
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
void directTransform(const Complex* roots, int32_t n, const Complex* src, ptrdiff_t sd,
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
        directOutputs<V, Forward>(roots, n, half, sum, diff, x0, middle, p, count, dst, dd);
    }
    if (n % 2 == 0 && n > 1) {
        V alternating = zeroVec<V>();
        for (int32_t q = 1; q <= half; ++q)
            alternating = (q % 2 == 0) ? alternating + sum[q] : alternating - sum[q];
        const V m = ((n / 2) % 2 == 0) ? middle : zeroVec<V>() - middle;
        storeVec(dst + (n / 2) * dd, x0 + (alternating + m));
    }
}
