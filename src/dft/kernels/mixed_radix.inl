// Mixed-radix transforms: decimation in time over the factor list. The input
// is read in digit-reversed order by the first stage (or by one strided
// codelet per block when the first factors multiply to a short even length
// L: block b is then the transform of input gather[b*L] + j*N/L, j < L), and
// every further stage joins its sub-transforms in place with tabulated
// twiddles.

// First stage (m = 1, no twiddles): reads the input in permuted order.
template <class V, bool Forward, int R>
void firstStage(const Complex* in, ptrdiff_t sd, const int32_t* gather, Complex* out,
                ptrdiff_t dd, int64_t n)
{
    for (int64_t b = 0; b < n; b += R) {
        V a[R];
        for (int q = 0; q < R; ++q)
            a[q] = loadVec<V>(in + gather[b + q] * sd);
        butterfly<Forward, R>(a);
        for (int q = 0; q < R; ++q)
            storeVec(out + (b + q) * dd, a[q]);
    }
}

// Joins R sub-transforms of length m into one of length m*R, in place.
template <class V, bool Forward, int R>
void radixStage(Complex* data, ptrdiff_t d, int64_t n, int64_t m, const Complex* tw)
{
    const int64_t span = m * R;
    const ptrdiff_t md = m * d;
    for (int64_t b = 0; b < n; b += span) {
        Complex* block = data + b * d;
        V a[R];
        for (int q = 0; q < R; ++q)
            a[q] = loadVec<V>(block + q * md);
        butterfly<Forward, R>(a);
        for (int q = 0; q < R; ++q)
            storeVec(block + q * md, a[q]);
        for (int64_t j = 1; j < m; ++j) {
            const Complex* w = tw + j * (R - 1) * kSplitEntries;
            Complex* p = block + j * d;
            a[0] = loadVec<V>(p);
            for (int q = 1; q < R; ++q)
                a[q] = rotateSplit<Forward>(loadVec<V>(p + q * md), w + (q - 1) * kSplitEntries);
            butterfly<Forward, R>(a);
            for (int q = 0; q < R; ++q)
                storeVec(p + q * md, a[q]);
        }
    }
}

template <class V, bool Forward>
void oddFirstStage(const Complex* in, ptrdiff_t sd, const int32_t* gather, Complex* out,
                   ptrdiff_t dd, int64_t n, int32_t r, const Complex* roots)
{
    constexpr ptrdiff_t w = V::kLanes;
    Complex a[kMaxDirectLength * w];
    for (int64_t b = 0; b < n; b += r) {
        for (int32_t q = 0; q < r; ++q)
            storeVec(a + q * w, loadVec<V>(in + gather[b + q] * sd));
        directTransform<V, Forward>(roots, r, a, w, out + b * dd, dd);
    }
}

template <class V, bool Forward>
void oddRadixStage(Complex* data, ptrdiff_t d, int64_t n, int64_t m, int32_t r, const Complex* tw,
                   const Complex* roots)
{
    constexpr ptrdiff_t w = V::kLanes;
    Complex a[kMaxDirectLength * w];
    Complex y[kMaxDirectLength * w];
    const int64_t span = m * r;
    for (int64_t b = 0; b < n; b += span) {
        for (int64_t j = 0; j < m; ++j) {
            const Complex* t = tw + j * (r - 1) * kSplitEntries;
            Complex* p = data + (b + j) * d;
            storeVec(a, loadVec<V>(p));
            for (int32_t q = 1; q < r; ++q) {
                const V x = loadVec<V>(p + q * m * d);
                storeVec(a + q * w, rotateSplit<Forward>(x, t + (q - 1) * kSplitEntries));
            }
            directTransform<V, Forward>(roots, r, a, w, y, w);
            for (int32_t q = 0; q < r; ++q)
                storeVec(p + q * m * d, loadVec<V>(y + q * w));
        }
    }
}

template <class V, bool Forward>
void runFirstStage(const MixedRadixTables* t, const Complex* in, ptrdiff_t sd, Complex* out,
                   ptrdiff_t dd, int64_t n)
{
    switch (t->factors.factor[0]) {
    case 2:
        firstStage<V, Forward, 2>(in, sd, t->gather, out, dd, n);
        break;
    case 3:
        firstStage<V, Forward, 3>(in, sd, t->gather, out, dd, n);
        break;
    case 4:
        firstStage<V, Forward, 4>(in, sd, t->gather, out, dd, n);
        break;
    case 5:
        firstStage<V, Forward, 5>(in, sd, t->gather, out, dd, n);
        break;
    default:
        oddFirstStage<V, Forward>(in, sd, t->gather, out, dd, n, t->factors.factor[0],
                                  t->oddTables[0]);
    }
}

template <class V, bool Forward>
void runStage(const MixedRadixTables* t, int32_t s, Complex* data, ptrdiff_t d, int64_t n,
              int64_t m)
{
    const Complex* tw = t->twiddles + (m - 1) * kSplitEntries;
    switch (t->factors.factor[s]) {
    case 2:
        radixStage<V, Forward, 2>(data, d, n, m, tw);
        break;
    case 3:
        radixStage<V, Forward, 3>(data, d, n, m, tw);
        break;
    case 4:
        radixStage<V, Forward, 4>(data, d, n, m, tw);
        break;
    case 5:
        radixStage<V, Forward, 5>(data, d, n, m, tw);
        break;
    default:
        oddRadixStage<V, Forward>(data, d, n, m, t->factors.factor[s], tw, t->oddTables[s]);
    }
}

// The block codelets of the even lengths that make good blocks (mixed-radix
// plans choose among 2, 4, 6, 8, 10, 12, 14 and 16).
template <class V, bool Forward>
void blockCodelet(int64_t length, const Complex* src, ptrdiff_t sd, Complex* dst, ptrdiff_t dd)
{
    switch (length) {
    case 2: codelet<V, 2, Forward>(src, sd, dst, dd); break;
    case 4: codelet<V, 4, Forward>(src, sd, dst, dd); break;
    case 6: codelet<V, 6, Forward>(src, sd, dst, dd); break;
    case 8: codelet<V, 8, Forward>(src, sd, dst, dd); break;
    case 10: codelet<V, 10, Forward>(src, sd, dst, dd); break;
    case 12: codelet<V, 12, Forward>(src, sd, dst, dd); break;
    case 14: codelet<V, 14, Forward>(src, sd, dst, dd); break;
    default: codelet<V, 16, Forward>(src, sd, dst, dd); break;
    }
}

// src and dst must not overlap.
template <class V, bool Forward>
void mixedRadix(const MixedRadixTables* t, int64_t n, const Complex* src, ptrdiff_t sd,
                Complex* dst, ptrdiff_t dd)
{
    int32_t s = 1;
    int64_t m = t->factors.factor[0];
    if (t->blockFactors > 0) {
        const int64_t length = t->blockLength;
        const ptrdiff_t stride = (n / length) * sd;
        for (int64_t b = 0; b < n; b += length)
            blockCodelet<V, Forward>(length, src + t->gather[b] * sd, stride, dst + b * dd, dd);
        s = t->blockFactors;
        m = length;
    } else {
        runFirstStage<V, Forward>(t, src, sd, dst, dd, n);
    }
    for (; s < t->factors.count; ++s) {
        runStage<V, Forward>(t, s, dst, dd, n, m);
        m *= t->factors.factor[s];
    }
}
