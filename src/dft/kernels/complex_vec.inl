// Vector-of-complex types for the kernels. ComplexVec<W> holds W complex
// doubles, real part first, in one register of 128*W bits (W = 1, 2 or 4);
// the scalar unit gets a plain two-double struct instead. Every operation
// rounds each lane exactly as the scalar formula it stands for (a - b as
// a + (-b), a sign flip as a negation); products are fused only by mulAdd and
// negMulAdd, and only where the unit's instruction set has FMA.
//
// Included once per kernel unit, inside that unit's anonymous namespace and
// after the system headers: each unit owns its copy, compiled for its own
// instruction set, and no inline function is shared between units.

#if defined(REGVIAFFT_SCALAR_KERNELS)

template <int W>
struct ComplexVec;

// The scalar fallback: no vector registers at all.
template <>
struct ComplexVec<1> {
    static constexpr int kLanes = 1;
    double re;
    double im;
};
using Scalar1 = ComplexVec<1>;

inline Scalar1 operator+(Scalar1 a, Scalar1 b) { return {a.re + b.re, a.im + b.im}; }
inline Scalar1 operator-(Scalar1 a, Scalar1 b) { return {a.re - b.re, a.im - b.im}; }
inline Scalar1 operator*(double s, Scalar1 a) { return {s * a.re, s * a.im}; }
inline Scalar1 lanewise(Scalar1 a, Scalar1 b) { return {a.re * b.re, a.im * b.im}; }
inline Scalar1 swapParts(Scalar1 a) { return {a.im, a.re}; }
inline Scalar1 negateReal(Scalar1 a) { return {-a.re, a.im}; }
inline Scalar1 negateImag(Scalar1 a) { return {a.re, -a.im}; }
inline Scalar1 mulAdd(Scalar1 a, Scalar1 b, Scalar1 c) { return lanewise(a, b) + c; }
inline Scalar1 negMulAdd(Scalar1 a, Scalar1 b, Scalar1 c) { return c - lanewise(a, b); }

template <class V>
inline V loadVec(const Complex* p) { return {p->real, p->imag}; }
template <class V>
inline V broadcastVec(const Complex* p) { return {p->real, p->imag}; }
template <class V>
inline V makeVec(double re, double im) { return {re, im}; }
template <class V>
inline V splatVec(double s) { return {s, s}; }
inline void storeVec(Complex* p, Scalar1 a) { *p = {a.re, a.im}; }

#else

template <int W>
struct LaneRegisters {
    typedef double Reals __attribute__((vector_size(16 * W)));
    typedef int64_t Bits __attribute__((vector_size(16 * W)));
};

template <int W>
struct ComplexVec {
    static constexpr int kLanes = W;
    using Reals = typename LaneRegisters<W>::Reals;
    using Bits = typename LaneRegisters<W>::Bits;
    Reals v;
};

template <int W>
inline ComplexVec<W> operator+(ComplexVec<W> a, ComplexVec<W> b) { return {a.v + b.v}; }
template <int W>
inline ComplexVec<W> operator-(ComplexVec<W> a, ComplexVec<W> b) { return {a.v - b.v}; }
template <int W>
inline ComplexVec<W> operator*(double s, ComplexVec<W> a) { return {s * a.v}; }
// Lane-wise product: (a.re * b.re, a.im * b.im) in every complex slot.
template <int W>
inline ComplexVec<W> lanewise(ComplexVec<W> a, ComplexVec<W> b) { return {a.v * b.v}; }

inline ComplexVec<1> swapParts(ComplexVec<1> a) { return {__builtin_shufflevector(a.v, a.v, 1, 0)}; }
inline ComplexVec<2> swapParts(ComplexVec<2> a)
{
    return {__builtin_shufflevector(a.v, a.v, 1, 0, 3, 2)};
}
inline ComplexVec<4> swapParts(ComplexVec<4> a)
{
    return {__builtin_shufflevector(a.v, a.v, 1, 0, 3, 2, 5, 4, 7, 6)};
}

// Sign flips by xor: exact negations, one cheap instruction.
template <int W>
inline typename ComplexVec<W>::Bits signBits(bool real)
{
    typename ComplexVec<W>::Bits bits{};
    for (int k = 0; k < 2 * W; k += 2)
        bits[real ? k : k + 1] = INT64_MIN;
    return bits;
}
template <int W>
inline ComplexVec<W> negateReal(ComplexVec<W> a)
{
    using Vec = ComplexVec<W>;
    return {(typename Vec::Reals)((typename Vec::Bits)a.v ^ signBits<W>(true))};
}
template <int W>
inline ComplexVec<W> negateImag(ComplexVec<W> a)
{
    using Vec = ComplexVec<W>;
    return {(typename Vec::Reals)((typename Vec::Bits)a.v ^ signBits<W>(false))};
}

// a*b + c and c - a*b, one rounding each where the instruction set fuses.
template <int W>
inline ComplexVec<W> mulAdd(ComplexVec<W> a, ComplexVec<W> b, ComplexVec<W> c)
{
    using Reals [[maybe_unused]] = typename ComplexVec<W>::Reals;
#if defined(__FMA__)
    if constexpr (W == 1)
        return {(Reals)_mm_fmadd_pd((__m128d)a.v, (__m128d)b.v, (__m128d)c.v)};
    if constexpr (W == 2)
        return {(Reals)_mm256_fmadd_pd((__m256d)a.v, (__m256d)b.v, (__m256d)c.v)};
#endif
#if defined(__AVX512F__)
    if constexpr (W == 4)
        return {(Reals)_mm512_fmadd_pd((__m512d)a.v, (__m512d)b.v, (__m512d)c.v)};
#endif
    return {a.v * b.v + c.v};
}
template <int W>
inline ComplexVec<W> negMulAdd(ComplexVec<W> a, ComplexVec<W> b, ComplexVec<W> c)
{
    using Reals [[maybe_unused]] = typename ComplexVec<W>::Reals;
#if defined(__FMA__)
    if constexpr (W == 1)
        return {(Reals)_mm_fnmadd_pd((__m128d)a.v, (__m128d)b.v, (__m128d)c.v)};
    if constexpr (W == 2)
        return {(Reals)_mm256_fnmadd_pd((__m256d)a.v, (__m256d)b.v, (__m256d)c.v)};
#endif
#if defined(__AVX512F__)
    if constexpr (W == 4)
        return {(Reals)_mm512_fnmadd_pd((__m512d)a.v, (__m512d)b.v, (__m512d)c.v)};
#endif
    return {c.v - a.v * b.v};
}

// Unaligned moves: a Complex is only 8-byte aligned.
template <class V>
inline V loadVec(const Complex* p)
{
    V a;
    std::memcpy(&a.v, p, sizeof a.v);
    return a;
}
template <int W>
inline void storeVec(Complex* p, ComplexVec<W> a) { std::memcpy(p, &a.v, sizeof a.v); }

// One complex number in every slot: a 128-bit broadcast from memory.
template <class V>
inline V broadcastVec(const Complex* p)
{
    V a;
    if constexpr (V::kLanes == 1) {
        std::memcpy(&a.v, p, sizeof a.v);
        return a;
    }
#if defined(__AVX__)
    if constexpr (V::kLanes == 2) {
        a.v = (typename V::Reals)_mm256_broadcast_pd(reinterpret_cast<const __m128d*>(p));
        return a;
    }
#endif
#if defined(__AVX512F__)
    if constexpr (V::kLanes == 4) {
        // The masked form with every lane set is the plain broadcast; the
        // unmasked intrinsic trips GCC 12's uninitialised-value warning.
        a.v = (typename V::Reals)_mm512_maskz_broadcast_f64x2(0xFF, _mm_loadu_pd(&p->real));
        return a;
    }
#endif
    for (int k = 0; k < 2 * V::kLanes; k += 2) {
        a.v[k] = p->real;
        a.v[k + 1] = p->imag;
    }
    return a;
}
template <class V>
inline V makeVec(double re, double im)
{
    const Complex c{re, im};
    return broadcastVec<V>(&c);
}
// One real number in every part. The set1 forms compile to one broadcast;
// the lane-by-lane loop below them makes GCC merge into a masked register.
template <class V>
inline V splatVec(double s)
{
    V a;
    if constexpr (V::kLanes == 1) {
        a.v = (typename V::Reals)_mm_set1_pd(s);
        return a;
    }
#if defined(__AVX__)
    if constexpr (V::kLanes == 2) {
        a.v = (typename V::Reals)_mm256_set1_pd(s);
        return a;
    }
#endif
#if defined(__AVX512F__)
    if constexpr (V::kLanes == 4) {
        a.v = (typename V::Reals)_mm512_set1_pd(s);
        return a;
    }
#endif
    for (int k = 0; k < 2 * V::kLanes; ++k)
        a.v[k] = s;
    return a;
}

#endif

// ---- Operations on every representation -------------------------------------

template <class V>
inline V zeroVec() { return splatVec<V>(0.0); }

// i*a and -i*a.
template <class V>
inline V timesI(V a) { return negateReal(swapParts(a)); }
template <class V>
inline V timesMinusI(V a) { return negateImag(swapParts(a)); }
// -i*a forward, +i*a backward: the quarter turn of each direction.
template <bool Forward, class V>
inline V quarterTurn(V a) { return Forward ? timesMinusI(a) : timesI(a); }

// a + i*b and a - i*b.
template <class V>
inline V plusI(V a, V b) { return a + timesI(b); }
template <class V>
inline V minusI(V a, V b) { return a - timesI(b); }

// a*w forward, a*conj(w) backward, for w in split form (w.re, w.re) and
// (-w.im, w.im) in every slot: a*w = a*re + swap(a)*im.
template <bool Forward, class V>
inline V rotateSplit(V a, V re, V im)
{
    const V direct = lanewise(a, re);
    return Forward ? mulAdd(swapParts(a), im, direct) : negMulAdd(swapParts(a), im, direct);
}
// The same with both halves of the split root read from a table entry.
template <bool Forward, class V>
inline V rotateSplit(V a, const Complex* split)
{
    return rotateSplit<Forward>(a, broadcastVec<V>(split), broadcastVec<V>(split + 1));
}

// a*w for a constant w = (re, im) given unsplit.
template <class V>
inline V multiplyBy(V a, double re, double im)
{
    return rotateSplit<true>(a, makeVec<V>(re, re), makeVec<V>(-im, im));
}

// ---- Rows: slot t of a vector from row t ------------------------------------------

// W x W transpose of complex slots: vector t holding W elements of row t
// becomes vector i holding element i of every row, and back.
template <class V>
inline void transposeSlots(V*) {}
#if !defined(REGVIAFFT_SCALAR_KERNELS)
inline void transposeSlots(ComplexVec<2>* v)
{
    const auto a = v[0].v, b = v[1].v;
    v[0].v = __builtin_shufflevector(a, b, 0, 1, 4, 5);
    v[1].v = __builtin_shufflevector(a, b, 2, 3, 6, 7);
}
inline void transposeSlots(ComplexVec<4>* v)
{
    // Pairs of rows first (slots 0 and 2, 1 and 3), then pairs of pairs.
    const auto t0 = __builtin_shufflevector(v[0].v, v[1].v, 0, 1, 8, 9, 4, 5, 12, 13);
    const auto t1 = __builtin_shufflevector(v[0].v, v[1].v, 2, 3, 10, 11, 6, 7, 14, 15);
    const auto t2 = __builtin_shufflevector(v[2].v, v[3].v, 0, 1, 8, 9, 4, 5, 12, 13);
    const auto t3 = __builtin_shufflevector(v[2].v, v[3].v, 2, 3, 10, 11, 6, 7, 14, 15);
    v[0].v = __builtin_shufflevector(t0, t2, 0, 1, 2, 3, 8, 9, 10, 11);
    v[1].v = __builtin_shufflevector(t1, t3, 0, 1, 2, 3, 8, 9, 10, 11);
    v[2].v = __builtin_shufflevector(t0, t2, 4, 5, 6, 7, 12, 13, 14, 15);
    v[3].v = __builtin_shufflevector(t1, t3, 4, 5, 6, 7, 12, 13, 14, 15);
}
#endif

// Elements i..i+W-1 of W rows, rowStride apart, as W vectors: v[k] holds
// element i+k of every row.
template <class V>
inline void loadRowBlock(const Complex* src, ptrdiff_t rowStride, V* v)
{
    for (int t = 0; t < V::kLanes; ++t)
        v[t] = loadVec<V>(src + t * rowStride);
    transposeSlots(v);
}
template <class V>
inline void storeRowBlock(Complex* dst, ptrdiff_t rowStride, const V* v)
{
    V rows[V::kLanes];
    for (int t = 0; t < V::kLanes; ++t)
        rows[t] = v[t];
    transposeSlots(rows);
    for (int t = 0; t < V::kLanes; ++t)
        storeVec(dst + t * rowStride, rows[t]);
}

// One element of every row, for the columns left after the last whole block.
template <class V>
inline V loadRowElement(const Complex* src, ptrdiff_t rowStride)
{
    if constexpr (V::kLanes == 1) {
        return loadVec<V>(src);
    } else {
        V a;
        for (int t = 0; t < V::kLanes; ++t) {
            a.v[2 * t] = src[t * rowStride].real;
            a.v[2 * t + 1] = src[t * rowStride].imag;
        }
        return a;
    }
}
template <class V>
inline void storeRowElement(Complex* dst, ptrdiff_t rowStride, V a)
{
    if constexpr (V::kLanes == 1) {
        storeVec(dst, a);
    } else {
        for (int t = 0; t < V::kLanes; ++t)
            dst[t * rowStride] = {a.v[2 * t], a.v[2 * t + 1]};
    }
}

// N elements of every row into v[0..N), and back.
template <int N, class V>
inline void loadRows(const Complex* src, ptrdiff_t rowStride, V* v)
{
    constexpr int whole = N / V::kLanes * V::kLanes;
    for (int i = 0; i < whole; i += V::kLanes)
        loadRowBlock(src + i, rowStride, v + i);
    for (int i = whole; i < N; ++i)
        v[i] = loadRowElement<V>(src + i, rowStride);
}
template <int N, class V>
inline void storeRows(Complex* dst, ptrdiff_t rowStride, const V* v)
{
    constexpr int whole = N / V::kLanes * V::kLanes;
    for (int i = 0; i < whole; i += V::kLanes)
        storeRowBlock(dst + i, rowStride, v + i);
    for (int i = whole; i < N; ++i)
        storeRowElement(dst + i, rowStride, v[i]);
}
