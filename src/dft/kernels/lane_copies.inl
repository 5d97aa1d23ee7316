// Element-wise kernels: the transposing copies between rows and interleaved
// lanes, scaling, and products with a split table.

template <class V>
void rowsToLanes(const Complex* rows, ptrdiff_t rowStride, int64_t n, Complex* lanes)
{
    constexpr int64_t w = V::kLanes;
    V block[w];
    int64_t i = 0;
    for (; i + w <= n; i += w) {
        loadRowBlock(rows + i, rowStride, block);
        for (int64_t k = 0; k < w; ++k)
            storeVec(lanes + (i + k) * w, block[k]);
    }
    for (; i < n; ++i)
        storeVec(lanes + i * w, loadRowElement<V>(rows + i, rowStride));
}

template <class V>
void lanesToRows(const Complex* lanes, int64_t n, Complex* rows, ptrdiff_t rowStride)
{
    constexpr int64_t w = V::kLanes;
    V block[w];
    int64_t i = 0;
    for (; i + w <= n; i += w) {
        for (int64_t k = 0; k < w; ++k)
            block[k] = loadVec<V>(lanes + (i + k) * w);
        storeRowBlock(rows + i, rowStride, block);
    }
    for (; i < n; ++i)
        storeRowElement(rows + i, rowStride, loadVec<V>(lanes + i * w));
}

template <class V>
void scaleLanes(Complex* data, ptrdiff_t dist, int64_t n, double scale)
{
    for (int64_t i = 0; i < n; ++i)
        storeVec(data + i * dist, scale * loadVec<V>(data + i * dist));
}

template <class V>
void splitProduct(const Complex* src, ptrdiff_t sd, const Complex* split, Complex* dst,
                  ptrdiff_t dd, int64_t n)
{
    for (int64_t i = 0; i < n; ++i) {
        const V x = loadVec<V>(src + i * sd);
        storeVec(dst + i * dd, rotateSplit<true>(x, split + i * kSplitEntries));
    }
}
