// One-dimensional plans: the transform of one length, of one of five kinds.
#ifndef REGVIAFFT_DFT_PLAN_1D_H
#define REGVIAFFT_DFT_PLAN_1D_H

#include <cstddef>
#include <cstdint>

#include "engine.h"

// Results of plan operations; planStatusToDft maps them to engine statuses.
enum PlanStatus : int32_t {
    kPlanOk = 0,
    kPlanNoMemory = 1,
    kPlanBadLength = 2,
};

enum class PlanKind : int32_t { Codelet, FftPow2, MixedRadix, Direct, Chirp };

// Every kind has the same anatomy; a processor variant supplies one record per
// kind, so a variant can replace any kind's kernels.
struct PlanKindOps {
    const char* name;
    // Builds the kind's tables into plan->kindData and sets plan->workBytes;
    // the status must be checked (an attribute cannot say so on a pointer).
    int32_t (*create)(DftPlan1D* plan);
    // Unnormalised transforms; src and dst may coincide; work holds at least
    // plan->workBytes bytes, 32-byte aligned.
    int32_t (*forward)(const DftPlan1D* plan, const Complex* src, Complex* dst, void* work);
    int32_t (*backward)(const DftPlan1D* plan, const Complex* src, Complex* dst, void* work);
    void (*release)(DftPlan1D* plan);
};

// planForward and planBackward move a caller's work buffer up to this
// boundary, so every plan's work size includes this much room.
constexpr size_t kPlanWorkAlignment = 32;

struct DftPlan1D {
    PlanKind kind;
    int64_t length;
    bool normalised;              // never set: every plan is unnormalised
    size_t workBytes;             // work buffer its compute needs
    const PlanKindOps* ops;
    const VariantOps* variant;    // for the sub-plans a kind builds
    void* kindData;               // owned by the kind, freed by ops->release
};

// plan_1d.cpp
// False below 1, for powers of two from 2^27, and for other lengths from 2^25
// that do not factor; choosePlanKind is meaningful for supported lengths only.
[[nodiscard]] bool planLengthSupported(int64_t length);
[[nodiscard]] PlanKind choosePlanKind(int64_t length);
[[nodiscard]] int32_t planCreate(DftPlan1D** out, const VariantOps* variant, int64_t length);
int32_t planForward(const DftPlan1D* plan, const Complex* src, Complex* dst, void* work);
int32_t planBackward(const DftPlan1D* plan, const Complex* src, Complex* dst, void* work);
void planDestroy(DftPlan1D* plan);
[[nodiscard]] int32_t planStatusToDft(int32_t planStatus);

// roots.cpp
constexpr int kSineTableSize = 257;
extern const double kSineTable1024[kSineTableSize];  // sin(2*pi*j/1024), j = 0..256
// W[k] = (cos(2*pi*k/n), -sin(2*pi*k/n)) for k < n, built by the symmetry rules.
void fillFullCircleRoots(Complex* roots, int64_t n);
// sin(2*pi*k/n) for k <= n/8 and cos(2*pi*(n/4-k)/n) beyond, k = 0..n/4.
void fillQuarterWaveSines(double* table, int64_t n);

// plan_mixed_radix.cpp
constexpr int kMaxRadixFactors = 64;
struct RadixFactors {
    int32_t count;
    int32_t factor[kMaxRadixFactors];  // in stage order
};
// The mixed-radix acceptance test: true when n factors as the plan requires.
[[nodiscard]] bool factoriseMixedRadix(int64_t n, RadixFactors* factors);

// plan_direct.cpp
constexpr int32_t kMaxDirectLength = 75;  // also the largest mixed-radix factor
// The defining sum over n <= kMaxDirectLength points; roots[k] = exp(-2*pi*i*k/n).
// src and dst must not overlap.
void directTransform(const Complex* roots, int32_t n, const Complex* src, Complex* dst,
                     bool forward);

// plan_chirp.cpp
// Length of the cyclic convolution that computes a transform of length n.
[[nodiscard]] int64_t chirpConvolutionLength(int64_t n);

// plan_codelet.cpp
// Unnormalised transform of a fixed length; src and dst may coincide.
using CodeletRoutine = void (*)(const Complex* src, Complex* dst);
// The routine for lengths 1 to 16 and 32, null for any other length.
[[nodiscard]] CodeletRoutine codeletRoutine(int64_t length, bool forward);
// The same transforms reading src[i*srcStride] and writing dst[i*dstStride];
// in place only with equal strides.
using StridedCodeletRoutine = void (*)(const Complex* src, ptrdiff_t srcStride, Complex* dst,
                                       ptrdiff_t dstStride);
[[nodiscard]] StridedCodeletRoutine stridedCodeletRoutine(int64_t length, bool forward);

// plan_codelet.cpp, plan_fft_pow2.cpp, plan_mixed_radix.cpp, plan_direct.cpp, plan_chirp.cpp
extern const PlanKindOps codeletPlanOps;
extern const PlanKindOps fftPow2PlanOps;
extern const PlanKindOps mixedRadixPlanOps;
extern const PlanKindOps directPlanOps;
extern const PlanKindOps chirpPlanOps;

#endif
