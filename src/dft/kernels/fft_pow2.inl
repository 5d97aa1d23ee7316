// Power-of-two transforms of order m (N = 2^m, 5 <= m <= 26), decimation in
// time, on interleaved vectors (element e at a[e*d]):
// - order 5: the 32-point codelet;
// - orders 6 to 11: the bit-reversed array's blocks of L = 16 are each the
//   transform of input rev(b) + j*N/L, j < L, so a strided codelet computes
//   them straight from the input, permutation and first stages in one; a
//   radix-2 stage when m is odd and radix-4 stages join the blocks up to N;
// - orders 12 and up: one bit-reversal permutation of the whole array, then
//   N = P*Q with P = 2^s. The bit-reversed array is then P bit-reversed
//   blocks of Q, transformed in place (recursively), followed by P-point
//   transforms across the blocks, a few adjacent columns at a time gathered
//   with their twiddles into the work buffer.

// Joins four quarter-length transforms stored in bit-reversed order, residues
// 0, 2, 1, 3 at p0..p3, into natural order.
template <bool Forward, class V>
inline void butterfly4(Complex* p0, Complex* p1, Complex* p2, Complex* p3, V y0, V y2, V y1, V y3)
{
    const V t0 = y0 + y2;
    const V t1 = y0 - y2;
    const V t2 = y1 + y3;
    const V t3 = quarterTurn<Forward>(y1 - y3);
    storeVec(p0, t0 + t2);
    storeVec(p1, t1 + t3);
    storeVec(p2, t0 - t2);
    storeVec(p3, t1 - t3);
}

template <class V, bool Forward>
void radix4First(Complex* a, int64_t n, ptrdiff_t d)
{
    for (int64_t i = 0; i < n; i += 4) {
        Complex* p = a + i * d;
        butterfly4<Forward>(p, p + d, p + 2 * d, p + 3 * d, loadVec<V>(p), loadVec<V>(p + d),
                            loadVec<V>(p + 2 * d), loadVec<V>(p + 3 * d));
    }
}

// Radix-4 stage joining blocks of q into blocks of 4q; twiddle k of the stage
// is triple k*stride of the table.
template <class V, bool Forward>
void radix4Stage(Complex* a, int64_t n, int64_t q, const Complex* tw, int64_t stride, ptrdiff_t d)
{
    const ptrdiff_t qd = q * d;
    const int64_t triple = 3 * kSplitEntries * stride;
    for (int64_t base = 0; base < n; base += 4 * q) {
        Complex* p = a + base * d;
        butterfly4<Forward>(p, p + qd, p + 2 * qd, p + 3 * qd, loadVec<V>(p), loadVec<V>(p + qd),
                            loadVec<V>(p + 2 * qd), loadVec<V>(p + 3 * qd));
        const Complex* w = tw + triple;
        for (int64_t k = 1; k < q; ++k, w += triple) {
            Complex* r = p + k * d;
            const Complex* w2 = w + kSplitEntries;
            const Complex* w3 = w2 + kSplitEntries;
            butterfly4<Forward>(r, r + qd, r + 2 * qd, r + 3 * qd, loadVec<V>(r),
                                rotateSplit<Forward>(loadVec<V>(r + qd), w2),
                                rotateSplit<Forward>(loadVec<V>(r + 2 * qd), w),
                                rotateSplit<Forward>(loadVec<V>(r + 3 * qd), w3));
        }
    }
}

template <bool Forward, class V>
inline void butterfly2(Complex* p0, Complex* p1, V re, V im)
{
    const V x = loadVec<V>(p0);
    const V y = rotateSplit<Forward>(loadVec<V>(p1), re, im);
    storeVec(p0, x + y);
    storeVec(p1, x - y);
}

// Radix-2 stage joining blocks of q into blocks of 2q. Twiddle k is w^t with
// t = k*2^T/(2q), in the table up to k = q/2; beyond, it is -i times the
// twiddle of k - q/2.
template <class V, bool Forward>
void radix2Stage(Complex* a, int64_t n, int64_t q, const Complex* tw, int32_t tableOrder,
                 ptrdiff_t d)
{
    const int64_t step = 3 * kSplitEntries * ((int64_t{1} << tableOrder) / (2 * q));
    const int64_t half = q / 2;
    const ptrdiff_t qd = q * d;
    for (int64_t base = 0; base < n; base += 2 * q) {
        Complex* p = a + base * d;
        for (int64_t k = 0; k <= half; ++k) {
            const Complex* w = tw + k * step;
            butterfly2<Forward>(p + k * d, p + qd + k * d, broadcastVec<V>(w),
                                broadcastVec<V>(w + 1));
        }
        for (int64_t k = half + 1; k < q; ++k) {
            // -i*w = (w.imag, -w.real), split: (w.imag, w.imag), (w.real, -w.real).
            const Complex* w = tw + (k - half) * step;
            butterfly2<Forward>(p + k * d, p + qd + k * d, negateReal(broadcastVec<V>(w + 1)),
                                negateImag(broadcastVec<V>(w)));
        }
    }
}

// Stages of a transform of order 2..11 on bit-reversed input, in place.
template <class V, bool Forward>
void coreStages(Complex* a, int32_t order, const FftPow2Tables* f, ptrdiff_t d)
{
    const int64_t n = int64_t{1} << order;
    if (order == kFftLargestTableOrder) {
        const int64_t half = n / 2;
        coreStages<V, Forward>(a, order - 1, f, d);
        coreStages<V, Forward>(a + half * d, order - 1, f, d);
        radix2Stage<V, Forward>(a, n, half, f->twiddles, f->tableOrder, d);
        return;
    }
    radix4First<V, Forward>(a, n, d);
    int64_t q = 4;
    if (order % 2 == 1) {
        radix2Stage<V, Forward>(a, n, q, f->twiddles, f->tableOrder, d);
        q = 8;
    }
    const int64_t tableQuarter = int64_t{1} << (f->tableOrder - 2);
    for (; q < n; q *= 4)
        radix4Stage<V, Forward>(a, n, q, f->twiddles, tableQuarter / q, d);
}

template <class V, bool Forward>
void splitStages(Complex* a, int32_t level, const FftPow2Tables* f, Complex* work, ptrdiff_t d);

template <class V, bool Forward>
void blockStages(Complex* a, int32_t level, const FftPow2Tables* f, Complex* work, ptrdiff_t d)
{
    if (level == f->levelCount)
        coreStages<V, Forward>(a, f->coreOrder, f, d);
    else
        splitStages<V, Forward>(a, level, f, work, d);
}

// Columns c0..c0+g-1 of the P x Q array (block b is row j1 = reverse(b)):
// gather with twiddle w_(PQ)^(j1*c), transform each, scatter back in natural
// order. Columns of 16 and 32 are gathered in natural order for the codelets,
// longer ones in bit-reversed order for the stages. The work buffer holds
// the gathered columns densely, one vector per element.
template <class V, bool Forward>
void columnGroup(Complex* a, int32_t level, const FftPow2Tables* f, Complex* work, int64_t c0,
                 ptrdiff_t d)
{
    constexpr ptrdiff_t w = V::kLanes;
    const int32_t s = f->levelSplit[level];
    const int64_t p = int64_t{1} << s;
    const int64_t q = int64_t{1} << (f->levelOrder[level] - s);
    const int32_t scale = f->order - f->levelOrder[level];  // to whole-length angle units
    const int32_t reversalShift = f->reversalBits - s;
    const int64_t g = f->levelGroup[level];
    const bool byCodelet = s <= kFftLargestColumnCodelet;
    for (int64_t b = 0; b < p; ++b) {
        const int64_t j1 = f->reversal[b] >> reversalShift;
        const Complex* row = a + (b * q + c0) * d;
        Complex* column = work + (byCodelet ? j1 : b) * w;
        // w^(j1*c) = w^(j1*c0) * w^(j1*i): one table read per row and group.
        const Complex base = rootFromQuarter(f->quarterSines, f->order, (j1 * c0) << scale);
        const Complex* within = f->levelTwiddles[level] + j1 * g;
        for (int64_t i = 0; i < g; ++i) {
            const Complex t = {base.real * within[i].real - base.imag * within[i].imag,
                               base.real * within[i].imag + base.imag * within[i].real};
            const V x = loadVec<V>(row + i * d);
            const V rotated = Forward ? multiplyBy(x, t.real, t.imag)
                                      : multiplyBy(x, t.real, -t.imag);
            storeVec(column + i * p * w, rotated);
        }
    }
    for (int64_t i = 0; i < g; ++i) {
        Complex* column = work + i * p * w;
        if (s == 4)
            codelet<V, 16, Forward>(column, w, column, w);
        else if (s == 5)
            codelet<V, 32, Forward>(column, w, column, w);
        else
            coreStages<V, Forward>(column, s, f, w);
    }
    for (int64_t k1 = 0; k1 < p; ++k1) {
        Complex* row = a + (k1 * q + c0) * d;
        for (int64_t i = 0; i < g; ++i)
            storeVec(row + i * d, loadVec<V>(work + (i * p + k1) * w));
    }
}

template <class V, bool Forward>
void splitStages(Complex* a, int32_t level, const FftPow2Tables* f, Complex* work, ptrdiff_t d)
{
    const int32_t s = f->levelSplit[level];
    const int64_t p = int64_t{1} << s;
    const int64_t q = int64_t{1} << (f->levelOrder[level] - s);
    for (int64_t b = 0; b < p; ++b)
        blockStages<V, Forward>(a + b * q * d, level + 1, f, work, d);
    for (int64_t c0 = 0; c0 < q; c0 += f->levelGroup[level])
        columnGroup<V, Forward>(a, level, f, work, c0, d);
}

constexpr int64_t kTileElements = int64_t{1} << (2 * kFftTileBits);

// Copies tile rows a < 2^g of 2^g elements into tile[a*2^g + b].
template <class V>
void loadTile(const Complex* from, int64_t stride, int64_t side, ptrdiff_t d, V* tile)
{
    for (int64_t a = 0; a < side; ++a) {
        for (int64_t b = 0; b < side; ++b)
            tile[a * side + b] = loadVec<V>(from + (a * stride + b) * d);
    }
}

// to[reverse(b)*stride + reverse(a)] = tile[a*2^g + b]; each row is written
// whole.
template <class V>
void storeTile(const FftPow2Tables* f, const V* tile, Complex* to, int64_t stride, ptrdiff_t d)
{
    const int32_t shift = f->reversalBits - f->tileBits;
    const int64_t side = int64_t{1} << f->tileBits;
    for (int64_t b = 0; b < side; ++b) {
        Complex* out = to + static_cast<int64_t>(f->reversal[b] >> shift) * stride * d;
        for (int64_t a = 0; a < side; ++a)
            storeVec(out + static_cast<int64_t>(f->reversal[a] >> shift) * d, tile[a * side + b]);
    }
}

// Index a*2^(m-g) + mid*2^g + b goes to reverse(b)*2^(m-g) + reverse(mid)*2^g
// + reverse(a): tiles of 2^g x 2^g move whole through a local copy, so the
// strided rows are read and written one at a time and in full. In place,
// tiles mid and reverse(mid) swap.
template <class V>
void bitReverse(const FftPow2Tables* f, const Complex* src, ptrdiff_t sd, Complex* dst,
                ptrdiff_t dd)
{
    const int32_t g = f->tileBits;
    const int64_t side = int64_t{1} << g;
    const int64_t stride = int64_t{1} << (f->order - g);
    const int64_t midCount = int64_t{1} << (f->order - 2 * g);
    const bool inPlace = src == dst;
    V tile[kTileElements];
    V partner[kTileElements];
    int64_t rmid = 0;
    for (int64_t mid = 0; mid < midCount; ++mid) {
        if (!inPlace || mid <= rmid) {
            loadTile(src + mid * side * sd, stride, side, sd, tile);
            if (inPlace && mid < rmid) {
                loadTile(src + rmid * side * sd, stride, side, sd, partner);
                storeTile(f, partner, dst + mid * side * dd, stride, dd);
            }
            storeTile(f, tile, dst + rmid * side * dd, stride, dd);
        }
        int64_t bit = midCount >> 1;  // reversed increment of rmid
        while ((rmid & bit) != 0) {
            rmid ^= bit;
            bit >>= 1;
        }
        rmid |= bit;
    }
}

// Orders 6 to 11: the codelet blocks straight from the input, then the
// stages joining blocks of L up to N.
template <class V, bool Forward>
void blockedTransform(const FftPow2Tables* f, const Complex* in, ptrdiff_t sd, Complex* dst,
                      ptrdiff_t dd)
{
    const int64_t n = int64_t{1} << f->order;
    constexpr int64_t kLength = 16;
    const int64_t blocks = n / kLength;
    const int32_t shift = f->reversalBits - (f->order - f->blockOrder);
    for (int64_t b = 0; b < blocks; ++b) {
        codelet<V, kLength, Forward>(in + (f->reversal[b] >> shift) * sd, blocks * sd,
                                     dst + b * kLength * dd, dd);
    }
    int64_t q = kLength;
    if ((f->order - f->blockOrder) % 2 == 1) {
        radix2Stage<V, Forward>(dst, n, q, f->twiddles, f->tableOrder, dd);
        q *= 2;
    }
    const int64_t tableQuarter = int64_t{1} << (f->tableOrder - 2);
    for (; q < n; q *= 4)
        radix4Stage<V, Forward>(dst, n, q, f->twiddles, tableQuarter / q, dd);
}

// src and dst may coincide (with equal distances). Work: N vectors for the
// blocked orders, kFftColumnBufferElements vectors for the split ones.
template <class V, bool Forward>
void fftPow2(const FftPow2Tables* f, const Complex* src, ptrdiff_t sd, Complex* dst, ptrdiff_t dd,
             Complex* work)
{
    if (f->order == kFftMinOrder) {
        codelet<V, 32, Forward>(src, sd, dst, dd);
        return;
    }
    if (f->levelCount == 0) {
        // The blocks read the whole input before the stages finish: in place,
        // they read a copy.
        if (src == dst) {
            const int64_t n = int64_t{1} << f->order;
            for (int64_t i = 0; i < n; ++i)
                storeVec(work + i * V::kLanes, loadVec<V>(src + i * sd));
            src = work;
            sd = V::kLanes;
        }
        blockedTransform<V, Forward>(f, src, sd, dst, dd);
        return;
    }
    bitReverse<V>(f, src, sd, dst, dd);
    splitStages<V, Forward>(dst, 0, f, work, dd);
}
