// Power-of-two plan of order m (N = 2^m, 5 <= m <= 26), decimation in time:
// - orders 6 to 11: the bit-reversed array's blocks of L = 16 are each the
//   transform of input rev(b) + j*N/L, j < L, so a strided codelet computes
//   them straight from the input, permutation and first stages in one; a
//   radix-2 stage when m is odd and radix-4 stages join the blocks up to N;
// - orders 12 and up: one bit-reversal permutation of the whole array, then
//   N = P*Q with P = 2^s. The bit-reversed array is then P
//   bit-reversed blocks of Q, transformed in place (recursively), followed by
//   P-point transforms across the blocks, a few adjacent columns at a time
//   gathered with their twiddles into the work buffer.
#include <cstdint>
#include <cstring>
#include <new>

#include "complex_vec.h"
#include "plan_1d.h"

namespace {

constexpr int32_t kMinOrder = 5;
constexpr int32_t kMaxOrder = 26;
constexpr int32_t kFirstSplitOrder = 12;
constexpr int32_t kMaxLevels = 4;
constexpr int32_t kLargestTableOrder = 11;
constexpr int32_t kTileBits = 4;
constexpr int32_t kLargestColumnCodelet = 5;
// Elements of gathered columns, P * G of them: 64 KiB, which measured better
// than 32 or 128 for large orders.
constexpr int64_t kColumnBufferElements = 4096;

struct DftFftPlan {
    int32_t order;                     // m
    int32_t levelCount;                // splits, outermost first
    int32_t levelOrder[kMaxLevels];    // order of the transform split at each level
    int32_t levelSplit[kMaxLevels];    // s: P = 2^s points per column at each level
    int64_t levelGroup[kMaxLevels];    // G: columns gathered together, P*G <= 4096
    // w_(PQ)^(j1*i) at [j1*G + i], j1 < P, i < G: the column twiddles within a group.
    const Complex* levelTwiddles[kMaxLevels];
    int32_t coreOrder;                 // order of the innermost blocks, 6 to 11
    int32_t tableOrder;                // T: triples cover w = exp(-2*pi*i/2^T)
    int32_t tileBits;                  // g: the permutation moves 2^g x 2^g tiles
    int32_t blockOrder;                // orders 6 to 11: log2 L = 4, else 0
    int32_t reversalBits;              // width of the reversal table: g, s or m - log2 L
    const uint32_t* reversal;          // bit reversal of reversalBits-bit numbers
    const Complex* twiddles;           // split (w^k, w^2k, w^3k) for k = 0..2^T/4
    const double* quarterSines;        // orders >= 12: sin(2*pi*k/N), k = 0..N/4
    // Codelets of orders 4 and 5: the order-5 plan, and columns of 16 and 32.
    CodeletRoutine codeletForward[6];
    CodeletRoutine codeletBackward[6];
    StridedCodeletRoutine blockForward;   // length L, orders 6 to 11
    StridedCodeletRoutine blockBackward;
    size_t workBytes;                  // orders >= 12: gathered columns; else an input copy
};

// The split s of an order m >= 12: the first factor P = 2^s of N.
int32_t splitFor(int32_t order) {
    static const int8_t kSplit[] = {4, 5, 6, 7, 7, 8, 9, 9, 9, 8, 8};  // orders 12..22
    return order <= 22 ? kSplit[order - kFirstSplitOrder] : 9;
}

// exp(-2*pi*i*t/n), n = 2^order, 0 <= t < n, from a table of sin(2*pi*k/n)
// for k = 0..n/4.
inline Complex rootFromQuarter(const double* sines, int32_t order, int64_t t) {
    const int64_t quarter = int64_t{1} << (order - 2);
    const int64_t r = t & (quarter - 1);
    const double s = sines[r];
    const double c = sines[quarter - r];
    switch (t >> (order - 2)) {
        case 0: return {c, -s};
        case 1: return {-s, -c};
        case 2: return {-c, s};
        default: return {s, c};
    }
}

// Table roots are split into the pair (re, re), (-im, im), so rotating by one
// needs no shuffle of the root; the lanes round as in multiply.
constexpr int64_t kSplitEntries = 2;

template <bool Forward>
inline ComplexVec rotateSplit(ComplexVec a, ComplexVec re, ComplexVec im) {
    const ComplexVec direct = lanewise(a, re);
    const ComplexVec cross = lanewise(swapParts(a), im);
    return Forward ? direct + cross : direct - cross;
}

template <bool Forward>
inline ComplexVec rotateSplit(ComplexVec a, const Complex* root) {
    return rotateSplit<Forward>(a, loadComplex(root), loadComplex(root + 1));
}

// Joins four quarter-length transforms stored in bit-reversed order, residues
// 0, 2, 1, 3 at p0..p3, into natural order.
template <bool Forward>
inline void butterfly4(Complex* p0, Complex* p1, Complex* p2, Complex* p3, ComplexVec y0,
                       ComplexVec y2, ComplexVec y1, ComplexVec y3) {
    const ComplexVec t0 = y0 + y2;
    const ComplexVec t1 = y0 - y2;
    const ComplexVec t2 = y1 + y3;
    const ComplexVec t3 = quarterTurn<Forward>(y1 - y3);
    storeComplex(p0, t0 + t2);
    storeComplex(p1, t1 + t3);
    storeComplex(p2, t0 - t2);
    storeComplex(p3, t1 - t3);
}

template <bool Forward>
void radix4First(Complex* a, int64_t n) {
    for (int64_t i = 0; i < n; i += 4) {
        Complex* p = a + i;
        butterfly4<Forward>(p, p + 1, p + 2, p + 3, loadComplex(p), loadComplex(p + 1),
                            loadComplex(p + 2), loadComplex(p + 3));
    }
}

// Radix-4 stage joining blocks of q into blocks of 4q; twiddle k of the stage
// is triple k*stride of the table.
template <bool Forward>
void radix4Stage(Complex* a, int64_t n, int64_t q, const Complex* tw, int64_t stride) {
    for (int64_t base = 0; base < n; base += 4 * q) {
        Complex* p = a + base;
        butterfly4<Forward>(p, p + q, p + 2 * q, p + 3 * q, loadComplex(p), loadComplex(p + q),
                            loadComplex(p + 2 * q), loadComplex(p + 3 * q));
        const int64_t triple = 3 * kSplitEntries * stride;
        const Complex* w = tw + triple;
        for (int64_t k = 1; k < q; ++k, w += triple) {
            Complex* r = p + k;
            const Complex* w2 = w + kSplitEntries;
            const Complex* w3 = w2 + kSplitEntries;
            butterfly4<Forward>(r, r + q, r + 2 * q, r + 3 * q, loadComplex(r),
                                rotateSplit<Forward>(loadComplex(r + q), w2),
                                rotateSplit<Forward>(loadComplex(r + 2 * q), w),
                                rotateSplit<Forward>(loadComplex(r + 3 * q), w3));
        }
    }
}

template <bool Forward>
inline void butterfly2(Complex* p0, Complex* p1, ComplexVec re, ComplexVec im) {
    const ComplexVec x = loadComplex(p0);
    const ComplexVec y = rotateSplit<Forward>(loadComplex(p1), re, im);
    storeComplex(p0, x + y);
    storeComplex(p1, x - y);
}

// Radix-2 stage joining blocks of q into blocks of 2q. Twiddle k is w^t with
// t = k*2^T/(2q), in the table up to k = q/2; beyond, it is -i times the
// twiddle of k - q/2.
template <bool Forward>
void radix2Stage(Complex* a, int64_t n, int64_t q, const Complex* tw, int32_t tableOrder) {
    const int64_t step = 3 * kSplitEntries * ((int64_t{1} << tableOrder) / (2 * q));
    const int64_t half = q / 2;
    for (int64_t base = 0; base < n; base += 2 * q) {
        Complex* p = a + base;
        for (int64_t k = 0; k <= half; ++k) {
            const Complex* w = tw + k * step;
            butterfly2<Forward>(p + k, p + q + k, loadComplex(w), loadComplex(w + 1));
        }
        for (int64_t k = half + 1; k < q; ++k) {
            // -i*w = (w.imag, -w.real), split: (w.imag, w.imag), (w.real, -w.real).
            const Complex* w = tw + (k - half) * step;
            butterfly2<Forward>(p + k, p + q + k, negateReal(loadComplex(w + 1)),
                                negateImag(loadComplex(w)));
        }
    }
}

// Stages of a transform of order 2..11 on bit-reversed input, in place.
template <bool Forward>
void coreStages(Complex* a, int32_t order, const DftFftPlan* f) {
    const int64_t n = int64_t{1} << order;
    if (order == kLargestTableOrder) {
        const int64_t half = n / 2;
        coreStages<Forward>(a, order - 1, f);
        coreStages<Forward>(a + half, order - 1, f);
        radix2Stage<Forward>(a, n, half, f->twiddles, f->tableOrder);
        return;
    }
    radix4First<Forward>(a, n);
    int64_t q = 4;
    if (order % 2 == 1) {
        radix2Stage<Forward>(a, n, q, f->twiddles, f->tableOrder);
        q = 8;
    }
    const int64_t tableQuarter = int64_t{1} << (f->tableOrder - 2);
    for (; q < n; q *= 4) {
        radix4Stage<Forward>(a, n, q, f->twiddles, tableQuarter / q);
    }
}

template <bool Forward>
void splitStages(Complex* a, int32_t level, const DftFftPlan* f, Complex* work);

template <bool Forward>
void blockStages(Complex* a, int32_t level, const DftFftPlan* f, Complex* work) {
    if (level == f->levelCount) {
        coreStages<Forward>(a, f->coreOrder, f);
    } else {
        splitStages<Forward>(a, level, f, work);
    }
}

// Columns c0..c0+g-1 of the P x Q array (block b is row j1 = reverse(b)):
// gather with twiddle w_(PQ)^(j1*c), transform each, scatter back in natural
// order. Columns of 16 and 32 are gathered in natural order for the codelets,
// longer ones in bit-reversed order for the stages.
template <bool Forward>
void columnGroup(Complex* a, int32_t level, const DftFftPlan* f, Complex* work, int64_t c0) {
    const int32_t s = f->levelSplit[level];
    const int64_t p = int64_t{1} << s;
    const int64_t q = int64_t{1} << (f->levelOrder[level] - s);
    const int32_t scale = f->order - f->levelOrder[level];  // to whole-length angle units
    const int32_t reversalShift = f->reversalBits - s;
    const int64_t g = f->levelGroup[level];
    const CodeletRoutine codelet = s > kLargestColumnCodelet ? nullptr
                                   : Forward ? f->codeletForward[s] : f->codeletBackward[s];
    for (int64_t b = 0; b < p; ++b) {
        const int64_t j1 = f->reversal[b] >> reversalShift;
        const Complex* row = a + b * q + c0;
        Complex* column = work + (codelet != nullptr ? j1 : b);
        // w^(j1*c) = w^(j1*c0) * w^(j1*i): one table read per row and group.
        const ComplexVec base =
            toVec(rootFromQuarter(f->quarterSines, f->order, (j1 * c0) << scale));
        const Complex* within = f->levelTwiddles[level] + j1 * g;
        for (int64_t i = 0; i < g; ++i) {
            const ComplexVec w = rotate<true>(loadComplex(within + i), base);
            storeComplex(column + i * p, rotate<Forward>(loadComplex(row + i), w));
        }
    }
    for (int64_t i = 0; i < g; ++i) {
        if (codelet != nullptr) {
            codelet(work + i * p, work + i * p);
        } else {
            coreStages<Forward>(work + i * p, s, f);
        }
    }
    for (int64_t k1 = 0; k1 < p; ++k1) {
        Complex* row = a + k1 * q + c0;
        for (int64_t i = 0; i < g; ++i) row[i] = work[i * p + k1];
    }
}

template <bool Forward>
void splitStages(Complex* a, int32_t level, const DftFftPlan* f, Complex* work) {
    const int32_t s = f->levelSplit[level];
    const int64_t p = int64_t{1} << s;
    const int64_t q = int64_t{1} << (f->levelOrder[level] - s);
    for (int64_t b = 0; b < p; ++b) {
        blockStages<Forward>(a + b * q, level + 1, f, work);
    }
    for (int64_t c0 = 0; c0 < q; c0 += f->levelGroup[level]) {
        columnGroup<Forward>(a, level, f, work, c0);
    }
}

constexpr int64_t kTileElements = int64_t{1} << (2 * kTileBits);

// Copies tile rows a < 2^g of 2^g elements into tile[a*2^g + b].
void loadTile(const Complex* from, int64_t stride, int64_t side, Complex* tile) {
    for (int64_t a = 0; a < side; ++a) {
        for (int64_t b = 0; b < side; ++b) tile[a * side + b] = from[a * stride + b];
    }
}

// to[reverse(b)*stride + reverse(a)] = tile[a*2^g + b]; each row is written
// whole.
void storeTile(const DftFftPlan* f, const Complex* tile, Complex* to, int64_t stride) {
    const int32_t shift = f->reversalBits - f->tileBits;
    const int64_t side = int64_t{1} << f->tileBits;
    for (int64_t b = 0; b < side; ++b) {
        Complex* out = to + static_cast<int64_t>(f->reversal[b] >> shift) * stride;
        for (int64_t a = 0; a < side; ++a) {
            out[f->reversal[a] >> shift] = tile[a * side + b];
        }
    }
}

// Index a*2^(m-g) + mid*2^g + b goes to reverse(b)*2^(m-g) + reverse(mid)*2^g
// + reverse(a): tiles of 2^g x 2^g move whole through a local copy, so the
// strided rows are read and written one at a time and in full. In place,
// tiles mid and reverse(mid) swap.
void bitReverse(const DftFftPlan* f, const Complex* src, Complex* dst) {
    const int32_t g = f->tileBits;
    const int64_t side = int64_t{1} << g;
    const int64_t stride = int64_t{1} << (f->order - g);
    const int64_t midCount = int64_t{1} << (f->order - 2 * g);
    Complex tile[kTileElements];
    Complex partner[kTileElements];
    int64_t rmid = 0;
    for (int64_t mid = 0; mid < midCount; ++mid) {
        if (src != dst || mid <= rmid) {
            loadTile(src + mid * side, stride, side, tile);
            if (src == dst && mid < rmid) {
                loadTile(src + rmid * side, stride, side, partner);
                storeTile(f, partner, dst + mid * side, stride);
            }
            storeTile(f, tile, dst + rmid * side, stride);
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
template <bool Forward>
void blockedTransform(const DftFftPlan* f, const Complex* in, Complex* dst) {
    const int64_t n = int64_t{1} << f->order;
    const int64_t length = int64_t{1} << f->blockOrder;
    const int64_t blocks = n / length;
    const int32_t shift = f->reversalBits - (f->order - f->blockOrder);
    const StridedCodeletRoutine block = Forward ? f->blockForward : f->blockBackward;
    for (int64_t b = 0; b < blocks; ++b) {
        block(in + (f->reversal[b] >> shift), static_cast<ptrdiff_t>(blocks), dst + b * length, 1);
    }
    int64_t q = length;
    if ((f->order - f->blockOrder) % 2 == 1) {
        radix2Stage<Forward>(dst, n, q, f->twiddles, f->tableOrder);
        q *= 2;
    }
    const int64_t tableQuarter = int64_t{1} << (f->tableOrder - 2);
    for (; q < n; q *= 4) {
        radix4Stage<Forward>(dst, n, q, f->twiddles, tableQuarter / q);
    }
}

template <bool Forward>
int32_t computeFft(const DftPlan1D* plan, const Complex* src, Complex* dst, void* work) {
    const auto* f = static_cast<const DftFftPlan*>(plan->kindData);
    if (f->order == kMinOrder) {
        (Forward ? f->codeletForward : f->codeletBackward)[kMinOrder](src, dst);
        return kPlanOk;
    }
    if (f->levelCount == 0) {
        // The blocks read the whole input before the stages finish: in place,
        // they read a copy.
        const Complex* in = src;
        if (src == dst) {
            std::memcpy(work, src, sizeof(Complex) * (size_t{1} << f->order));
            in = static_cast<const Complex*>(work);
        }
        blockedTransform<Forward>(f, in, dst);
        return kPlanOk;
    }
    bitReverse(f, src, dst);
    splitStages<Forward>(dst, 0, f, static_cast<Complex*>(work));
    return kPlanOk;
}

int64_t roundUp32(int64_t bytes) { return (bytes + 31) & ~int64_t{31}; }

// The split levels, the order of the innermost blocks, and the order the
// twiddle table must cover (the largest transform the stages run).
void planLevels(DftFftPlan* f) {
    int32_t order = f->order;
    int32_t largest = 0;
    f->levelCount = 0;
    while (order >= kFirstSplitOrder) {
        const int32_t s = splitFor(order);
        const int64_t q = int64_t{1} << (order - s);
        f->levelOrder[f->levelCount] = order;
        f->levelSplit[f->levelCount] = s;
        const int64_t group = kColumnBufferElements >> s;
        f->levelGroup[f->levelCount] = q < group ? q : group;
        ++f->levelCount;
        largest = s > largest ? s : largest;
        order -= s;
    }
    f->coreOrder = order;
    f->tableOrder = order > largest ? order : largest;
    f->tileBits = f->order / 2 < kTileBits ? f->order / 2 : kTileBits;
    f->reversalBits = largest > f->tileBits ? largest : f->tileBits;
    f->blockOrder = 0;
    if (f->levelCount == 0 && f->order > kMinOrder) {
        // Blocks of 32 measured no faster: their codelet spills its registers.
        f->blockOrder = 4;
        const int32_t blockBits = f->order - f->blockOrder;
        f->reversalBits = blockBits > f->reversalBits ? blockBits : f->reversalBits;
    }
}

// Fills the split triples (w^k, w^2k, w^3k), w = exp(-2*pi*i/2^T). The 1024-point
// sine table serves T <= 10; order 11 gets a computed quarter-wave table.
void fillTwiddles(Complex* tw, int32_t tableOrder) {
    double computed[(int64_t{1} << kLargestTableOrder) / 4 + 1];
    const double* sines = kSineTable1024;
    int32_t quarterOrder = 10;
    if (tableOrder > quarterOrder) {
        quarterOrder = tableOrder;
        fillQuarterWaveSines(computed, int64_t{1} << quarterOrder);
        sines = computed;
    }
    const int64_t step = int64_t{1} << (quarterOrder - tableOrder);
    const int64_t count = (int64_t{1} << tableOrder) / 4;
    for (int64_t k = 0; k <= count; ++k) {
        for (int64_t e = 1; e <= 3; ++e) {
            const Complex w = rootFromQuarter(sines, quarterOrder, e * k * step);
            Complex* split = tw + kSplitEntries * (3 * k + e - 1);
            split[0] = {w.real, w.real};
            split[1] = {-w.imag, w.imag};
        }
    }
}

// Bytes of each table in the plan's single allocation, in this order after
// the header; every part starts 32-byte aligned.
struct FftLayout {
    int64_t reversal;
    int64_t twiddles;
    int64_t columns;  // all levels' column twiddles
    int64_t sines;
};

FftLayout layoutOf(const DftFftPlan& shape) {
    const int64_t n = int64_t{1} << shape.order;
    FftLayout l{0, 0, 0, 0};
    if (shape.order > kMinOrder) {
        l.reversal = roundUp32((int64_t{1} << shape.reversalBits) * int64_t{sizeof(uint32_t)});
        const int64_t triples = (int64_t{1} << shape.tableOrder) / 4 + 1;
        l.twiddles = roundUp32(3 * kSplitEntries * triples * int64_t{sizeof(Complex)});
    }
    if (shape.levelCount > 0) {
        l.columns = shape.levelCount * kColumnBufferElements * int64_t{sizeof(Complex)};
        l.sines = (n / 4 + 1) * int64_t{sizeof(double)};
    }
    return l;
}

void fillReversal(uint32_t* reversal, int32_t bits) {
    for (uint32_t i = 0; i < (1u << bits); ++i) {
        uint32_t r = 0;
        for (int32_t bit = 0; bit < bits; ++bit) r |= ((i >> bit) & 1u) << (bits - 1 - bit);
        reversal[i] = r;
    }
}

void fillColumnTwiddles(DftFftPlan* f, Complex* columns) {
    for (int32_t level = 0; level < f->levelCount; ++level) {
        const int64_t p = int64_t{1} << f->levelSplit[level];
        const int64_t g = f->levelGroup[level];
        const int32_t scale = f->order - f->levelOrder[level];
        Complex* table = columns + level * kColumnBufferElements;
        for (int64_t j1 = 0; j1 < p; ++j1) {
            for (int64_t i = 0; i < g; ++i) {
                table[j1 * g + i] = rootFromQuarter(f->quarterSines, f->order, (j1 * i) << scale);
            }
        }
        f->levelTwiddles[level] = table;
    }
}

int32_t createFft(DftPlan1D* plan) {
    const int64_t n = plan->length;
    int32_t order = kMinOrder;
    while (order < kMaxOrder && (int64_t{1} << order) < n) ++order;
    if ((int64_t{1} << order) != n) {
        return kPlanBadLength;
    }
    DftFftPlan shape{};
    shape.order = order;
    planLevels(&shape);
    const FftLayout l = layoutOf(shape);
    const int64_t header = roundUp32(int64_t{sizeof(DftFftPlan)});
    const int64_t bytes = header + l.reversal + l.twiddles + l.columns + l.sines;
    char* block = static_cast<char*>(planAllocate(bytes));
    if (block == nullptr) {
        return kPlanNoMemory;
    }
    auto* f = new (block) DftFftPlan(shape);
    char* next = block + header;
    if (l.reversal > 0) {
        fillReversal(reinterpret_cast<uint32_t*>(next), f->reversalBits);
        f->reversal = reinterpret_cast<uint32_t*>(next);
        fillTwiddles(reinterpret_cast<Complex*>(next + l.reversal), f->tableOrder);
        f->twiddles = reinterpret_cast<Complex*>(next + l.reversal);
    }
    next += l.reversal + l.twiddles;
    if (l.sines > 0) {
        auto* sines = reinterpret_cast<double*>(next + l.columns);
        fillQuarterWaveSines(sines, n);
        f->quarterSines = sines;
        fillColumnTwiddles(f, reinterpret_cast<Complex*>(next));
    }
    for (int32_t o = 4; o <= kLargestColumnCodelet; ++o) {
        f->codeletForward[o] = codeletRoutine(int64_t{1} << o, true);
        f->codeletBackward[o] = codeletRoutine(int64_t{1} << o, false);
    }
    if (f->levelCount > 0) {
        f->workBytes = kColumnBufferElements * sizeof(Complex) + kPlanWorkAlignment;
    } else if (f->blockOrder > 0) {
        f->workBytes = sizeof(Complex) * static_cast<size_t>(n) + kPlanWorkAlignment;
        f->blockForward = stridedCodeletRoutine(int64_t{1} << f->blockOrder, true);
        f->blockBackward = stridedCodeletRoutine(int64_t{1} << f->blockOrder, false);
    }
    plan->kindData = f;
    plan->workBytes = f->workBytes;
    return kPlanOk;
}

void releaseFft(DftPlan1D* plan) {
    planRelease(plan->kindData);
    plan->kindData = nullptr;
}

}  // namespace

const PlanKindOps fftPow2PlanOps = {
    "fft_pow2",
    createFft,
    computeFft<true>,
    computeFft<false>,
    releaseFft,
};
