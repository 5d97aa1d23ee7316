// Shared pieces of the engine tests: owned descriptors and plans, descriptors
// configured as the registration object uses them, and test data.
#ifndef REGVIAFFT_TEST_DFT_PLANS_H
#define REGVIAFFT_TEST_DFT_PLANS_H

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "descriptor.h"
#include "dft.h"
#include "naive_dft.h"
#include "plan_1d.h"

namespace regviafft::dft {

using Signal = std::vector<Complex>;

// Every kernel set this processor can run, the scalar reference first.
inline std::vector<const KernelSet*> runnableKernelSets()
{
    std::vector<const KernelSet*> sets;
    for (int32_t i = 0; i < kernelSetCount(); ++i) {
        if (canRun(kernelSetAt(i), processorFeatures()))
            sets.push_back(kernelSetAt(i));
    }
    return sets;
}

// The kernel sets a test runs: the one the forced class selects when
// REGVIAFFT_DEBUG_CPU_TYPE is set (the per-class registrations), else every
// runnable one.
inline std::vector<const KernelSet*> kernelSetsUnderTest()
{
    if (std::getenv("REGVIAFFT_DEBUG_CPU_TYPE") != nullptr)
        return {variantKernels(activeVariant())};
    return runnableKernelSets();
}

// A descriptor freed with its owner.
struct Descriptor {
    DFT_DESCRIPTOR_HANDLE h = nullptr;
    ~Descriptor() { DftFreeDescriptor(&h); }
};

// A plan of the given kernels (the scalar ones by default), destroyed with its owner.
struct PlanOwner {
    DftPlan1D* plan = nullptr;
    ~PlanOwner() { planDestroy(plan); }
    int32_t create(int64_t n, const KernelSet* kernels = &scalarKernelSet)
    {
        return planCreate(&plan, kernels, n, fullPlanUse(kernels));
    }
};

// The plan's transform of x, out of place.
inline Signal runPlan(const DftPlan1D* plan, const Signal& x, bool forward)
{
    Signal y(x.size());
    EXPECT_EQ((forward ? planForward : planBackward)(plan, x.data(), y.data(), nullptr), kPlanOk);
    return y;
}

inline bool sameBits(const Signal& a, const Signal& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(a[0])) == 0;
}

// Lane t of a multi-lane run carries x times this factor, so its transform is
// X times the factor: a lane read from or written to another lane's place
// is off by order one.
inline Complex laneFactor(int32_t t)
{
    return {1.0 + 0.5 * t, -0.25 * t};
}

inline Signal timesFactor(const Signal& x, Complex c)
{
    Signal y(x.size());
    for (size_t i = 0; i < x.size(); ++i)
        y[i] = {x[i].real * c.real - x[i].imag * c.imag, x[i].real * c.imag + x[i].imag * c.real};
    return y;
}

// Where element i of lane t lies: interleaved lines with a gap after the
// lanes (dist = lanes + 1), or rows with a gap after each row.
struct LaneLayout {
    int32_t lanes;
    bool rows;
    int64_t n;
    ptrdiff_t dist() const { return rows ? n + 3 : lanes + 1; }
    size_t at(int32_t t, int64_t i) const
    {
        return static_cast<size_t>(rows ? t * dist() + i : i * dist() + t);
    }
    size_t size() const { return at(lanes - 1, n - 1) + 1; }
};

// The plan run once on `lanes` lines of x times laneFactor(t) laid out as
// `layout` says, out of place or in place; the lanes' results, whether every
// element outside the lines kept its sentinel, and (out of place) whether the
// input is as it was.
struct LaneRun {
    std::vector<Signal> lanes;
    bool gapsKept;
    bool inputKept;
};

inline LaneRun runLanes(const DftPlan1D* plan, const Signal& x, bool forward, LaneLayout layout,
                        bool inPlace)
{
    const Complex sentinel = {-9.5, 9.25};
    Signal src(layout.size(), sentinel);
    for (int32_t t = 0; t < layout.lanes; ++t) {
        const Signal lane = timesFactor(x, laneFactor(t));
        for (int64_t i = 0; i < layout.n; ++i)
            src[layout.at(t, i)] = lane[i];
    }
    Signal dst(inPlace ? 0 : layout.size(), sentinel);
    Signal& out = inPlace ? src : dst;
    const Signal original = src;
    const PlanLines lines{src.data(), layout.dist(), out.data(), layout.dist(), layout.lanes,
                          layout.rows};
    EXPECT_EQ(planCompute(plan, forward, lines, nullptr), kPlanOk);
    LaneRun run{std::vector<Signal>(layout.lanes, Signal(layout.n)), true,
                inPlace || sameBits(src, original)};
    for (int32_t t = 0; t < layout.lanes; ++t) {
        for (int64_t i = 0; i < layout.n; ++i) {
            run.lanes[t][i] = out[layout.at(t, i)];
            out[layout.at(t, i)] = sentinel;
        }
    }
    for (const Complex& v : out)
        run.gapsKept = run.gapsKept && std::memcmp(&v, &sentinel, sizeof v) == 0;
    return run;
}

// The largest error over the lanes of a run, each against `expected` (the
// transform of x) times its lane factor, relative to that lane's largest value.
inline double laneError(const LaneRun& run, const Signal& expected)
{
    double worst = 0.0;
    for (size_t t = 0; t < run.lanes.size(); ++t) {
        const Signal lane = timesFactor(expected, laneFactor(static_cast<int32_t>(t)));
        worst = std::fmax(worst, relativeError(run.lanes[t].data(), lane.data(), int64_t(lane.size())));
    }
    return worst;
}

// Memory hooks for the owner's lifetime: they fill each new block with
// garbage, record the last request, block and release, count the blocks still
// held, and fail the failAt-th allocation (none for 0).
struct RecordingHooks {
    static inline int64_t countdown = 0, live = 0;
    static inline size_t requested = 0;
    static inline char* raw = nullptr;
    static inline void* freed = nullptr;
    explicit RecordingHooks(int64_t failAt = 0)
    {
        countdown = failAt;
        live = 0;
        requested = 0;
        raw = nullptr;
        const MemoryHooks hooks{allocate, std::calloc, std::realloc, release};
        setMemoryHooks(&hooks);
    }
    ~RecordingHooks() { setMemoryHooks(nullptr); }
    static void* allocate(size_t size)
    {
        if (--countdown == 0)
            return nullptr;
        ++live;
        requested = size;
        raw = static_cast<char*>(std::malloc(size));
        return raw != nullptr ? std::memset(raw, 0xAB, size) : nullptr;
    }
    static void release(void* p)
    {
        live -= (p != nullptr);
        freed = p;
        std::free(p);
    }
};

// Placement and strides (null: the dense defaults) set and the descriptor
// committed, one call after another as the registration object does it: the
// sum of the statuses.
inline int32_t configure(DFT_DESCRIPTOR_HANDLE h, int32_t placement, const int32_t* inStrides = nullptr,
                         const int32_t* outStrides = nullptr)
{
    int32_t status = DftSetValue(h, DFT_PLACEMENT, placement);
    if (inStrides != nullptr)
        status += DftSetValue(h, DFT_INPUT_STRIDES, inStrides);
    if (outStrides != nullptr)
        status += DftSetValue(h, DFT_OUTPUT_STRIDES, outStrides);
    return status + DftCommitDescriptor(h);
}

// A double-precision complex descriptor of the given lengths, slowest first,
// configured as above.
inline int32_t commitWith(Descriptor& d, const std::vector<int32_t>& lengths, int32_t placement,
                          const int32_t* inStrides = nullptr, const int32_t* outStrides = nullptr)
{
    const int32_t dimension = static_cast<int32_t>(lengths.size());
    const int32_t status = DftCreateDescriptor_d_md(&d.h, DFT_COMPLEX, dimension, lengths.data());
    return status != 0 ? status : configure(d.h, placement, inStrides, outStrides);
}

// n1 rows of n2, out of place, with the dense strides given explicitly as the
// registration object gives them.
inline int32_t commitOutOfPlace(Descriptor& d, int32_t n1, int32_t n2)
{
    const int32_t dense[3] = {0, n2, 1};
    return commitWith(d, {n1, n2}, DFT_NOT_INPLACE, dense, dense);
}

// Deterministic, irregular test data.
inline Signal testSignal(size_t count, double seed)
{
    Signal x(count);
    for (size_t i = 0; i < count; ++i)
        x[i] = {std::sin(seed * (i + 1)) + 0.25, std::cos(seed * 1.7 * (i + 3))};
    return x;
}

// Random values in [-1, 1), cheap enough for millions of elements.
inline Signal randomSignal(int64_t n, uint64_t seed) {
    Signal x(static_cast<size_t>(n));
    for (auto& v : x) {
        seed = seed * 6364136223846793005u + 1442695040888963407u;
        v.real = static_cast<double>(seed >> 11) * 0x1p-52 - 1.0;
        seed = seed * 6364136223846793005u + 1442695040888963407u;
        v.imag = static_cast<double>(seed >> 11) * 0x1p-52 - 1.0;
    }
    return x;
}

}  // namespace regviafft::dft

#endif
