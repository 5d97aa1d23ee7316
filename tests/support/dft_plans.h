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

#include "dft.h"
#include "plan_1d.h"
#include "variant/variant.h"

using Signal = std::vector<_DFT_Complex16>;

// A descriptor freed with its owner.
struct Descriptor {
    DFT_DESCRIPTOR_HANDLE h = nullptr;
    ~Descriptor() { DftFreeDescriptor(&h); }
};

// A generic-variant plan, destroyed with its owner.
struct PlanOwner {
    DftPlan1D* plan = nullptr;
    ~PlanOwner() { planDestroy(plan); }
    int32_t create(int64_t n) { return planCreate(&plan, &genericVariant, n); }
};

// The plan's transform of x, out of place or in place on a copy.
inline Signal runPlan(const DftPlan1D* plan, const Signal& x, bool forward, bool inPlace = false)
{
    Signal y = inPlace ? x : Signal(x.size());
    const Complex* src = inPlace ? y.data() : x.data();
    EXPECT_EQ((forward ? planForward : planBackward)(plan, src, y.data(), nullptr), kPlanOk);
    return y;
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

// Placement, strides of rows of n2 elements, commit: the sum of the statuses.
inline int32_t configureOutOfPlace(DFT_DESCRIPTOR_HANDLE h, int32_t n2)
{
    int32_t strides[3] = {0, n2, 1};
    return DftSetValue(h, DFT_PLACEMENT, DFT_NOT_INPLACE) + DftSetValue(h, DFT_INPUT_STRIDES, strides) +
           DftSetValue(h, DFT_OUTPUT_STRIDES, strides) + DftCommitDescriptor(h);
}

inline int32_t createOutOfPlace(DFT_DESCRIPTOR_HANDLE* h, int32_t n1, int32_t n2)
{
    int32_t lengths[2] = {n1, n2};
    int32_t status = DftCreateDescriptor_d_md(h, DFT_COMPLEX, 2, lengths);
    return status != 0 ? status : configureOutOfPlace(*h, n2);
}

// Deterministic, irregular test data.
inline Signal testSignal(size_t count, double seed)
{
    Signal x(count);
    for (size_t i = 0; i < count; ++i)
        x[i] = {std::sin(seed * (i + 1)) + 0.25, std::cos(seed * 1.7 * (i + 3))};
    return x;
}

inline bool sameBits(const Signal& a, const Signal& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(a[0])) == 0;
}

#endif
