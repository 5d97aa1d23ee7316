// The kernels of one instruction set, as a table. Every kernel is written
// once, over a vector of 1, 2 or 4 complex doubles, and compiled in one thin
// unit per instruction set (scalar.cpp, sse2.cpp, avx.cpp, avx2.cpp,
// avx512.cpp); each unit exports one KernelSet.
//
// Kernels transform `lanes` sequences at once, one per complex slot of the
// vector. Two layouts:
// - interleaved: element i of sequence t at data[i*dist + t] (dist >= lanes);
//   with one lane this is a plain strided sequence;
// - rows: element i of sequence t at data[t*rowStride + i], for the rows of a
//   two-dimensional array; the row kernels transpose in registers.
// Source and destination may coincide only where a kernel says so; the
// backward kernels compute the transform with exp(+2*pi*i*jk/N).
#ifndef REGVIAFFT_DFT_KERNEL_SET_H
#define REGVIAFFT_DFT_KERNEL_SET_H

#include <cstddef>
#include <cstdint>

#include "plan_tables.h"
#include "runtime.h"

namespace regviafft::dft {

constexpr int kCodeletSlots = 33;          // indexed by length: 1 to 16, and 32
constexpr int64_t kLargestCodelet = 16;    // every length up to here, then 32
constexpr int kLaneWidthCount = 3;         // 1, 2 and 4 complex numbers per vector
constexpr int kMaxLanes = 4;

// Functions here are static: every kernel unit includes this header and must
// keep its own copy, compiled for its own instruction set.
static constexpr int directionIndex(bool forward) { return forward ? 0 : 1; }
// Index of a vector width (1, 2 or 4 complex numbers) in KernelSet::byWidth, or -1.
static constexpr int laneWidthIndex(int32_t lanes)
{
    return lanes == 1 ? 0 : lanes == 2 ? 1 : lanes == 4 ? 2 : -1;
}

// Lines per kernel call: the widest vector, halved while it would run past
// the lines left.
static constexpr int32_t lanesFor(int64_t linesLeft, int32_t widest)
{
    int32_t lanes = widest;
    while (lanes > linesLeft)
        lanes /= 2;
    return lanes;
}

// Whole transform of a codelet length; may run in place (equal pointers and
// distances): every codelet loads its whole input before it stores.
using CodeletKernel = void (*)(const Complex* src, ptrdiff_t srcDist, Complex* dst,
                               ptrdiff_t dstDist);
using RowCodeletKernel = void (*)(const Complex* src, ptrdiff_t srcRowStride, Complex* dst,
                                  ptrdiff_t dstRowStride);
// Plan-kind kernels on interleaved data; work holds what the plan's work size
// says, kPlanAlignment-aligned. The power-of-two kernel may run in place
// (equal pointers and distances); for the others src and dst must not overlap.
using FftPow2Kernel = void (*)(const FftPow2Tables* tables, const Complex* src, ptrdiff_t srcDist,
                               Complex* dst, ptrdiff_t dstDist, Complex* work);
using MixedRadixKernel = void (*)(const MixedRadixTables* tables, int64_t n, const Complex* src,
                                  ptrdiff_t srcDist, Complex* dst, ptrdiff_t dstDist);
// The defining sum over n <= kMaxDirectLength points, from a direct table
// (plan_tables.h).
using DirectKernel = void (*)(const Complex* table, int32_t n, const Complex* src,
                              ptrdiff_t srcDist, Complex* dst, ptrdiff_t dstDist);
// dst[i] = src[i] * factor i of a split table (the same factor for every
// lane), i < n; may run in place.
using SplitProductKernel = void (*)(const Complex* src, ptrdiff_t srcDist, const Complex* split,
                                    Complex* dst, ptrdiff_t dstDist, int64_t n);
// Transposing copies between `lanes` rows and n interleaved elements (dist = lanes).
using RowsToLanesKernel = void (*)(const Complex* rows, ptrdiff_t rowStride, int64_t n,
                                   Complex* lanes);
using LanesToRowsKernel = void (*)(const Complex* lanes, int64_t n, Complex* rows,
                                   ptrdiff_t rowStride);
// data[i*dist] *= scale for i < n, on interleaved data.
using ScaleKernel = void (*)(Complex* data, ptrdiff_t dist, int64_t n, double scale);

struct LaneKernels {
    int32_t lanes;  // complex numbers per vector; 0 when the set has no such width
    CodeletKernel codelet[2][kCodeletSlots];        // [directionIndex][length], null elsewhere
    RowCodeletKernel rowCodelet[2][kCodeletSlots];  // for more than one lane only
    FftPow2Kernel fftPow2[2];
    MixedRadixKernel mixedRadix[2];
    DirectKernel direct[2];
    SplitProductKernel splitProduct;
    RowsToLanesKernel rowsToLanes;
    LanesToRowsKernel lanesToRows;
    ScaleKernel scale;
};

// What a set needs to run, from the least to the most demanding.
enum class KernelRequirement : int32_t { None, Sse2, Avx, Avx2Fma, Avx512 };

struct KernelSet {
    const char* name;
    KernelRequirement requirement;
    int32_t widestLanes;
    LaneKernels byWidth[kLaneWidthCount];  // 1, 2 and 4 lanes
};

// kernel_sets.cpp
enum class KernelFamily : int32_t { Scalar, Sse2, Avx, Avx2Fma, Avx512 };
// The set of a family, or null when this build has none (other architectures).
const KernelSet* kernelSetOf(KernelFamily family);
[[nodiscard]] bool canRun(const KernelSet* set, const ProcessorFeatures& features);
// Every set this build has, by index from 0, the scalar one first.
int32_t kernelSetCount();
const KernelSet* kernelSetAt(int32_t index);
// The kernels for `lanes` (1, 2 or 4) of a set, or null when it has none.
static inline const LaneKernels* laneKernels(const KernelSet* set, int32_t lanes)
{
    const int index = laneWidthIndex(lanes);
    if (set == nullptr || index < 0 || set->byWidth[index].lanes != lanes)
        return nullptr;
    return &set->byWidth[index];
}

// scalar.cpp, sse2.cpp, avx.cpp, avx2.cpp, avx512.cpp
extern const KernelSet scalarKernelSet;
extern const KernelSet sse2KernelSet;
extern const KernelSet avxKernelSet;
extern const KernelSet avx2FmaKernelSet;
extern const KernelSet avx512KernelSet;

}  // namespace regviafft::dft

#endif
