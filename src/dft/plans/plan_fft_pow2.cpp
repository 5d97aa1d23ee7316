// Power-of-two plans of order m (N = 2^m, 5 <= m <= 26): the split levels,
// the bit-reversal table and the twiddle tables the kernels' schedules read
// (kernels/fft_pow2.inl describes the schedules).
#include <new>

#include "plan_1d.h"

namespace regviafft::dft {

namespace {

constexpr int32_t kBlockOrder = 4;  // blocks of 16: blocks of 32 spill their registers

// The split s of an order m >= 12: the first factor P = 2^s of N.
int32_t splitFor(int32_t order)
{
    static const int8_t kSplit[] = {4, 5, 6, 7, 7, 8, 9, 9, 9, 8, 8};  // orders 12..22
    return order <= 22 ? kSplit[order - kFftFirstSplitOrder] : 9;
}

// The split levels, the order of the innermost blocks, and the order the
// twiddle table must cover (the largest transform the stages run).
void planLevels(FftPow2Tables* f)
{
    int32_t order = f->order;
    int32_t largest = 0;
    f->levelCount = 0;
    while (order >= kFftFirstSplitOrder) {
        const int32_t s = splitFor(order);
        const int64_t q = int64_t{1} << (order - s);
        f->levelOrder[f->levelCount] = order;
        f->levelSplit[f->levelCount] = s;
        const int64_t group = kFftColumnBufferElements >> s;
        f->levelGroup[f->levelCount] = q < group ? q : group;
        ++f->levelCount;
        largest = s > largest ? s : largest;
        order -= s;
    }
    f->coreOrder = order;
    f->tableOrder = order > largest ? order : largest;
    f->tileBits = f->order / 2 < kFftTileBits ? f->order / 2 : kFftTileBits;
    f->reversalBits = largest > f->tileBits ? largest : f->tileBits;
    f->blockOrder = 0;
    if (f->levelCount == 0 && f->order > kFftMinOrder) {
        f->blockOrder = kBlockOrder;
        const int32_t blockBits = f->order - f->blockOrder;
        f->reversalBits = blockBits > f->reversalBits ? blockBits : f->reversalBits;
    }
}

// Fills the split triples (w^k, w^2k, w^3k), w = exp(-2*pi*i/2^T). The 1024-point
// sine table serves T <= 10; order 11 gets a computed quarter-wave table.
void fillTwiddles(Complex* tw, int32_t tableOrder)
{
    double computed[(int64_t{1} << kFftLargestTableOrder) / 4 + 1];
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
        for (int64_t e = 1; e <= 3; ++e)
            splitRoot(rootFromQuarter(sines, quarterOrder, e * k * step),
                      tw + kSplitEntries * (3 * k + e - 1));
    }
}

// Bytes of each table in the plan's single allocation, in this order after
// the header; every part starts kPlanAlignment-aligned.
struct FftLayout {
    int64_t reversal;
    int64_t twiddles;
    int64_t columns;  // all levels' column twiddles
    int64_t sines;
};

FftLayout layoutOf(const FftPow2Tables& shape)
{
    const int64_t n = int64_t{1} << shape.order;
    FftLayout l{0, 0, 0, 0};
    if (shape.order > kFftMinOrder) {
        l.reversal = roundUpToPlanAlignment((int64_t{1} << shape.reversalBits) *
                                            int64_t{sizeof(uint32_t)});
        const int64_t triples = (int64_t{1} << shape.tableOrder) / 4 + 1;
        l.twiddles =
            roundUpToPlanAlignment(3 * kSplitEntries * triples * int64_t{sizeof(Complex)});
    }
    if (shape.levelCount > 0) {
        l.columns = shape.levelCount * kFftColumnBufferElements * int64_t{sizeof(Complex)};
        l.sines = (n / 4 + 1) * int64_t{sizeof(double)};
    }
    return l;
}

void fillReversal(uint32_t* reversal, int32_t bits)
{
    for (uint32_t i = 0; i < (1u << bits); ++i) {
        uint32_t r = 0;
        for (int32_t bit = 0; bit < bits; ++bit)
            r |= ((i >> bit) & 1u) << (bits - 1 - bit);
        reversal[i] = r;
    }
}

void fillColumnTwiddles(FftPow2Tables* f, Complex* columns)
{
    for (int32_t level = 0; level < f->levelCount; ++level) {
        const int64_t p = int64_t{1} << f->levelSplit[level];
        const int64_t g = f->levelGroup[level];
        const int32_t scale = f->order - f->levelOrder[level];
        Complex* table = columns + level * kFftColumnBufferElements;
        for (int64_t j1 = 0; j1 < p; ++j1) {
            for (int64_t i = 0; i < g; ++i)
                table[j1 * g + i] = rootFromQuarter(f->quarterSines, f->order, (j1 * i) << scale);
        }
        f->levelTwiddles[level] = table;
    }
}

// Work of one call at the widest lanes: the gathered columns of the split
// orders, or a copy of the input for the blocked orders in place.
size_t kindWorkBytes(const FftPow2Tables& f, const DftPlan1D* plan)
{
    if (f.levelCount > 0)
        return groupVectorBytes(plan, kFftColumnBufferElements);
    if (f.blockOrder > 0)
        return groupVectorBytes(plan, int64_t{1} << f.order);
    return 0;
}

int32_t createFft(DftPlan1D* plan)
{
    const int64_t n = plan->length;
    int32_t order = kFftMinOrder;
    while (order < kFftMaxOrder && (int64_t{1} << order) < n)
        ++order;
    if ((int64_t{1} << order) != n)
        return kPlanBadLength;
    FftPow2Tables shape{};
    shape.order = order;
    planLevels(&shape);
    const FftLayout l = layoutOf(shape);
    const int64_t header = roundUpToPlanAlignment(int64_t{sizeof(FftPow2Tables)});
    const int64_t bytes = header + l.reversal + l.twiddles + l.columns + l.sines;
    char* block = static_cast<char*>(planAllocate(bytes));
    if (block == nullptr)
        return kPlanNoMemory;
    auto* f = new (block) FftPow2Tables(shape);
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
    plan->kindData = f;
    plan->kindWorkBytes = kindWorkBytes(*f, plan);
    return kPlanOk;
}

template <bool Forward>
int32_t computeFft(const DftPlan1D* plan, const PlanLines& lines, void* work)
{
    const FftPow2Kernel kernel = planLaneKernels(plan, lines.count)->fftPow2[directionIndex(Forward)];
    kernel(static_cast<const FftPow2Tables*>(plan->kindData), lines.src, lines.srcDist, lines.dst,
           lines.dstDist, static_cast<Complex*>(work));
    return kPlanOk;
}

void releaseFft(DftPlan1D* plan)
{
    planRelease(plan->kindData);
    plan->kindData = nullptr;
}

}  // namespace

const PlanKindOps fftPow2PlanOps = {
    "fft_pow2", createFft, computeFft<true>, computeFft<false>, releaseFft,
};

}  // namespace regviafft::dft
