// One-dimensional plans: the transform of one length, of one of five kinds,
// with its tables built at plan time and computed by one kernel set.
#ifndef REGVIAFFT_DFT_PLAN_1D_H
#define REGVIAFFT_DFT_PLAN_1D_H

#include <cstddef>
#include <cstdint>

#include "kernel_set.h"
#include "runtime.h"

namespace regviafft::dft {

// Results of plan operations; the descriptor layer maps them to its statuses.
enum PlanStatus : int32_t {
    kPlanOk = 0,
    kPlanNoMemory = 1,
    kPlanBadLength = 2,
};

enum class PlanKind : int32_t { Codelet, FftPow2, MixedRadix, Direct, Chirp };

struct DftPlan1D;

// What one compute call transforms: `count` sequences of the plan's length.
// Interleaved (rows false): element i of sequence t at [i*dist + t]; one
// sequence is then a plain sequence at step dist. Rows: element i of
// sequence t at [t*dist + i], the rows of a two-dimensional array. src and
// dst may coincide, with equal distances. The compute front splits the
// sequences into groups of one vector's width, widest first; a kind's
// compute sees one such group, 1, 2 or 4 sequences.
struct PlanLines {
    const Complex* src;
    ptrdiff_t srcDist;
    Complex* dst;
    ptrdiff_t dstDist;
    int32_t count;
    bool rows;
};

// Every kind has the same anatomy. create builds the kind's tables into
// plan->kindData and sets plan->kindWorkBytes; compute runs interleaved lines
// (the front stages rows through the work buffer), unnormalised, with work
// holding at least the kind's own share of plan->workBytes, aligned to
// kPlanAlignment.
struct PlanKindOps {
    const char* name;
    int32_t (*create)(DftPlan1D* plan);
    int32_t (*forward)(const DftPlan1D* plan, const PlanLines& lines, void* work);
    int32_t (*backward)(const DftPlan1D* plan, const PlanLines& lines, void* work);
    void (*release)(DftPlan1D* plan);
};

// How a plan will be called, so that its work buffer is no larger than that
// needs: the most sequences one group holds (1, or its kernels' widest
// vector), and whether it is given rows, which it stages through its work.
struct PlanUse {
    int32_t maxLanes;
    bool rows;
};

struct DftPlan1D {
    PlanKind kind;
    int64_t length;
    bool normalised;             // never set: every plan is unnormalised
    size_t workBytes;            // work one compute call needs, rows included
    size_t kindWorkBytes;        // the kind's own share, at the start of the work buffer
    const PlanKindOps* ops;
    const KernelSet* kernels;    // computes this plan and the sub-plans its kind builds
    PlanUse use;
    void* kindData;              // owned by the kind, freed by ops->release
};

// ---- plan_1d.cpp ------------------------------------------------------------------

// Length limits. A descriptor refuses a one-dimensional length above 2^26
// for a power of two and above 2^24 otherwise (compared unsigned); a plan
// supports powers of two below 2^27, factorable lengths below 2^26 and any
// other length below 2^25.
[[nodiscard]] bool exceedsPlanLengthLimit(uint32_t length);
[[nodiscard]] bool planLengthSupported(int64_t length);
[[nodiscard]] PlanKind choosePlanKind(int64_t length);  // for supported lengths
[[nodiscard]] int32_t planCreate(DftPlan1D** out, const KernelSet* kernels, int64_t length,
                                 PlanUse use);
// A plan of the given kind, whether or not the choice would give it this
// length: every kind is right for every length it accepts.
[[nodiscard]] int32_t planCreateOfKind(DftPlan1D** out, const KernelSet* kernels, int64_t length,
                                       PlanKind kind, PlanUse use);
// Every use the kernels allow: groups of their widest vector, rows included.
[[nodiscard]] PlanUse fullPlanUse(const KernelSet* kernels);
// Unnormalised transforms of the lines; work may be null (the plan then
// allocates for the call) and is aligned up to kPlanAlignment.
int32_t planCompute(const DftPlan1D* plan, bool forward, const PlanLines& lines, void* work);
// dst of the lines times scale, after a compute.
void scaleLines(const DftPlan1D* plan, const PlanLines& lines, double scale);
// One contiguous sequence.
int32_t planForward(const DftPlan1D* plan, const Complex* src, Complex* dst, void* work);
int32_t planBackward(const DftPlan1D* plan, const Complex* src, Complex* dst, void* work);
void planDestroy(DftPlan1D* plan);
// The kernels a group of `lanes` sequences runs.
inline const LaneKernels* planLaneKernels(const DftPlan1D* plan, int32_t lanes)
{
    return laneKernels(plan->kernels, lanes);
}
// True when the plan's compute is one codelet, which needs no work buffer
// and transforms columns in place wherever they lie.
[[nodiscard]] bool planIsCodelet(const DftPlan1D* plan);
// Bytes of `elements` vectors of the plan's largest group.
[[nodiscard]] size_t groupVectorBytes(const DftPlan1D* plan, int64_t elements);
// n elements of `lanes` complex numbers each, between two interleaved layouts.
void copyLines(const Complex* src, ptrdiff_t srcDist, Complex* dst, ptrdiff_t dstDist, int64_t n,
               int32_t lanes);

// ---- roots.cpp ----------------------------------------------------------------------

constexpr int kSineTableSize = 257;
extern const double kSineTable1024[kSineTableSize];  // sin(2*pi*j/1024), j = 0..256
// W[k] = (cos(2*pi*k/n), -sin(2*pi*k/n)) for k < n, built by the symmetry rules.
void fillFullCircleRoots(Complex* roots, int64_t n);
// sin(2*pi*k/n) for k <= n/8 and cos(2*pi*(n/4-k)/n) beyond, k = 0..n/4.
void fillQuarterWaveSines(double* table, int64_t n);
// The direct table of length n (plan_tables.h) from roots[k*rootStep] =
// exp(-2*pi*i*k/n).
void fillDirectTable(Complex* table, int64_t n, const Complex* roots, int64_t rootStep);
// The split form (w.re, w.re), (-w.im, w.im) of w into split[0..1].
void splitRoot(Complex w, Complex* split);

// ---- plan_mixed_radix.cpp --------------------------------------------------------------

// The mixed-radix acceptance test: true when n factors as the plan requires.
[[nodiscard]] bool factoriseMixedRadix(int64_t n, RadixFactors* factors);

// ---- plan_chirp.cpp ---------------------------------------------------------------------

// Length of the cyclic convolution that computes a transform of length n.
[[nodiscard]] int64_t chirpConvolutionLength(int64_t n);

// ---- plan_codelet.cpp, plan_fft_pow2.cpp, plan_mixed_radix.cpp, plan_direct.cpp,
//      plan_chirp.cpp ---------------------------------------------------------------------

extern const PlanKindOps codeletPlanOps;
extern const PlanKindOps fftPow2PlanOps;
extern const PlanKindOps mixedRadixPlanOps;
extern const PlanKindOps directPlanOps;
extern const PlanKindOps chirpPlanOps;

}  // namespace regviafft::dft

#endif
