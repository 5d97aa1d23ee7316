// The descriptor layer of the transform engine: the descriptor record, its
// commit methods, compute drivers and processor variants, grouped by
// defining file. It sits on the plans, which sit on the kernels and the
// runtime services.
#ifndef REGVIAFFT_DFT_DESCRIPTOR_H
#define REGVIAFFT_DFT_DESCRIPTOR_H

#include <cstddef>
#include <cstdint>

#include "dft.h"
#include "plan_1d.h"
#include "runtime.h"

namespace regviafft::dft {

struct ProcessorVariant;

constexpr uint32_t kDescriptorMagic = 0x544644;  // "DFT\0" in memory order
constexpr int32_t kMethodDoesNotApply = 100;     // tryCommit: try the next method
constexpr int32_t kMaxDimension = 7;
constexpr int32_t kLastParameter = DFT_NUMBER_OF_USER_THREADS;

// Descriptor flag bits.
constexpr uint32_t kFlagContiguous1D = 1u << 0;   // one contiguous 1-D transform, one thread
constexpr uint32_t kFlagSingle2D = 1u << 1;       // one 2-D transform, one thread
constexpr uint32_t kFlagOneUserThread1D = 1u << 2;  // bit 0 with one user thread

// One dimension, or one batch level: count and distances.
struct DftDimension {
    int32_t length;        // or number of transforms in a batch list
    int32_t inputStride;   // or input distance, elements
    int32_t outputStride;  // or output distance, elements
};

struct DftDimensionList {
    int32_t count;
    DftDimension* entries;  // owned by the descriptor, plain allocator
};

// Compute routine: descriptor plus up to four data pointers.
using DftComputeRoutine = int32_t (*)(DftDescriptor*, void*, void*, void*, void*);
// One 1-D pass of a member over the lines (source and destination may
// coincide), scaled by the member's pass scale.
using DftPassRoutine = int32_t (*)(const PlanLines& lines, DftDescriptor* member, void* workspace);
// Two-dimensional driver.
using DftDriver2D = int32_t (*)(const Complex* in, Complex* out, const int32_t inStride[2],
                                const int32_t outStride[2], DftPassRoutine pass0,
                                DftPassRoutine pass1, DftDescriptor* head, void* workspace);

// tryCommit sees the working lists before any length is validated (a length
// may be negative or beyond every limit): a method checks a length's range
// before it computes with it.
struct DftMethod {
    const char* name;
    int32_t (*tryCommit)(const DftMethod*, DftDescriptor*);  // 0, kMethodDoesNotApply or a status
    int32_t (*release)(const DftMethod*, DftDescriptor*);
};

// Configuration operations, in slot order; null slots are not provided.
struct DftMethodTable {
    int32_t (*commit)(DftDescriptor*);
    int32_t (*commitMember)(DftDescriptor*);
    int32_t (*getInputStrides)(DftDescriptor*, int32_t*);
    int32_t (*getOutputStrides)(DftDescriptor*, int32_t*);
    int32_t (*setInputStrides)(DftDescriptor*, const int32_t*);
    int32_t (*setOutputStrides)(DftDescriptor*, const int32_t*);
    int32_t (*getLengths)(DftDescriptor*, int32_t*);
    int32_t (*getName)(DftDescriptor*, char*);
    int32_t (*setName)(DftDescriptor*, const char*);
    int32_t (*getScale)(DftDescriptor*, int32_t, double*);
    int32_t (*setScale)(DftDescriptor*, int32_t, double);
    int32_t (*copyDescriptor)(DftDescriptor*, DftDescriptor**);
    int32_t (*getInputDistance)(DftDescriptor*, int32_t*);
    int32_t (*getOutputDistance)(DftDescriptor*, int32_t*);
    int32_t (*getNumberOfTransforms)(DftDescriptor*, int32_t*);
    int32_t (*setInputDistance)(DftDescriptor*, int32_t);
    int32_t (*setOutputDistance)(DftDescriptor*, int32_t);
    int32_t (*setNumberOfTransforms)(DftDescriptor*, int32_t);
};

// The fields of a descriptor; DftDescriptor below is the record itself.
struct DescriptorFields {
    DftComputeRoutine computeForward;   // null while uncommitted
    DftComputeRoutine computeBackward;
    const DftMethod* committedMethod;   // method owning methodData, or null
    void* methodData;
    const DftMethod* const* methodList; // null-terminated, fixed at create
    int32_t dataArgumentCount;
    uint32_t flags;
    uint32_t magic;
    int32_t commitStatus;
    DftDimensionList dimensions;        // entry 0 is the fastest-varying dimension
    DftDimensionList batch;
    int32_t dimension;
    int32_t rank;
    DftDimensionList workDimensions;    // normalised copies built by commit
    DftDimensionList workBatch;
    void (*releasePlan)(DftDescriptor*);
    void (*destroy)(DftDescriptor*);
    const DftMethodTable* methods;
    DftThreadServices* threadServices;
    char name[10];                      // not terminated
    int32_t domain;
    int32_t precision;
    int32_t transformCount;
    int32_t complexStorage;
    int32_t realStorage;
    int32_t conjugateEvenStorage;
    int32_t placement;
    int32_t packedFormat;
    int32_t ordering;
    int32_t transpose;
    double passForwardScale;            // applied by this descriptor's own pass
    double passBackwardScale;
    float passForwardScaleF;
    float passBackwardScaleF;
    double forwardScale;
    double backwardScale;
    int32_t inputOffset;
    int32_t outputOffset;
    int32_t inputDistance;
    int32_t outputDistance;
    DftDescriptor* next;                // member chain of a split transform
    DftDescriptor* previous;

    // Per-pass data; commit copies working dimension 0 and batch entry 0 here,
    // and the general method fills the rest for every member.
    int32_t passDimensionIndex;
    int32_t passLength;
    int32_t passHalfLength;             // real domain only
    int64_t passLengthProduct;          // running products up to this member
    int64_t passHalfLengthProduct;
    int32_t passInputStride;
    int32_t passOutputStride;
    int32_t passCount;
    int32_t passInputDistance;
    int32_t passOutputDistance;
    int32_t passMaxLength;              // largest length of the chain
    bool passLengthNotPowerOfTwo;
    int32_t passLog2Length;             // floor(log2(length))
    DftPlan1D* plan;                    // owned, freed by releasePlan
    DftPassRoutine passForward;
    DftPassRoutine passBackward;
    size_t planWorkSize;                // bytes the plan's compute needs

    DftDriver2D driver2D;               // chosen at commit for rank 2
    const ProcessorVariant* variant;    // processor variant that built this descriptor
    void* workspace;                    // commit-time workspace shared by the passes
    size_t workspaceSize;
    void* perThreadSlots;               // 2*userThreads+1 slots with several user threads
    int32_t userThreads;
    int32_t threads;
};

}  // namespace regviafft::dft

// The record behind the public handle. dft.h declares its tag in the global
// namespace, where C callers see it, so it is completed there; everything
// in it is the engine's own.
struct DftDescriptor : regviafft::dft::DescriptorFields {};

namespace regviafft::dft {

// ---- descriptor.cpp -------------------------------------------------------------

[[nodiscard]] bool isDescriptor(const DftDescriptor* d);
// The constructor every variant shares: the record with its defaults, and
// the variant's candidate methods for this precision and domain.
[[nodiscard]] int32_t constructDescriptor(DftDescriptor** out, const ProcessorVariant* variant,
                                          int32_t precision, int32_t domain, int32_t dimension,
                                          const int32_t* internalLengths);
void makeUncommitted(DftDescriptor* d);
// releasePlan frees `workspace` and `perThreadSlots` with plainRelease, each
// member's plan with planDestroy, and destroys the members after the head.

// ---- commit.cpp -------------------------------------------------------------------

[[nodiscard]] int32_t commitDescriptor(DftDescriptor* d);
// Commit of a member whose working lists are already set: pass fields and methods.
[[nodiscard]] int32_t commitWorkingDescriptor(DftDescriptor* d);
// Working-list normalisation, in commit order.
void sortByInputStride(DftDimensionList* list);  // stable: equal strides keep their order
void removeUnitLengths(DftDimensionList* list);  // keeps at least one entry
void mergeContiguousBatch(DftDimensionList* list);
// The release of a method that builds no data: the ownership check and the uncommit.
int32_t releaseMethodWithoutData(const DftMethod* method, DftDescriptor* d);
// Candidates for separate real and imaginary arrays: not applicable unless
// complexStorage is DFT_REAL_REAL, then DFT_UNIMPLEMENTED.
extern const DftMethod splitStorage1DMethod;
extern const DftMethod splitStorage2DMethod;
extern const DftMethod splitStorageNDMethod;

// ---- general_commit.cpp -----------------------------------------------------------

extern const DftMethod generalMethod;
// Transforms in the working batch list.
int64_t transformsInBatch(const DftDescriptor* d);

// ---- general_compute.cpp ----------------------------------------------------------

// The pass routine of a member: its plan, then its pass scale unless that is 1.
DftPassRoutine passRoutine(bool forward, bool scaled);
// The compute routine the head's path flags call for.
DftComputeRoutine generalComputeRoutine(bool forward, uint32_t flags);
// The base pointers of a compute call with the descriptor's offsets; false
// when a data pointer is missing. In place the output is the input.
struct DataBases {
    const Complex* in;
    Complex* out;
};
[[nodiscard]] bool resolveBases(const DftDescriptor* head, void* first, void* second,
                                DataBases* bases);

// ---- cube_method.cpp --------------------------------------------------------------

// Three-dimensional cubes of one length below 11, contiguous, one transform,
// unit scales: three codelet passes. Not applicable to anything else.
extern const DftMethod cubeMethod;

// ---- driver_2d.cpp ----------------------------------------------------------------

int32_t driver2DOutOfPlace(const Complex* in, Complex* out, const int32_t inStride[2],
                           const int32_t outStride[2], DftPassRoutine pass0, DftPassRoutine pass1,
                           DftDescriptor* head, void* workspace);
int32_t driver2DInPlace(const Complex* in, Complex* out, const int32_t inStride[2],
                        const int32_t outStride[2], DftPassRoutine pass0, DftPassRoutine pass1,
                        DftDescriptor* head, void* workspace);

// ---- variants.cpp -------------------------------------------------------------------

// What a processor class gets: its candidate methods, the alignment of its
// workspaces and buffers, and its kernels.
struct ProcessorVariant {
    const char* name;
    int32_t processorClass;
    size_t workspaceAlignment;                     // commit-time workspace and driver buffers
    const DftMethod* const* doubleComplexMethods;  // null-terminated
    // Kernel families in order of preference: the first the processor can
    // execute serves, so that a forced class never runs an instruction the
    // processor lacks.
    const KernelFamily* kernelPreference;
    int32_t kernelPreferenceCount;
};
// A class's variant with the class's own kernels: what a forced class runs.
const ProcessorVariant* variantForClass(int32_t processorClass);
// The same variant with the widest kernels the processor runs: what the
// detected class runs, whatever the vendor.
const ProcessorVariant* detectedVariantForClass(int32_t processorClass);
const ProcessorVariant* activeVariant();  // decided once per process
const char* activeVariantName();
// The first of a variant's kernel sets that the features let run (scalar at
// worst); a pure function of its arguments.
const KernelSet* kernelsFor(const ProcessorVariant* variant, const ProcessorFeatures& features);
// kernelsFor on this processor, decided once per variant.
const KernelSet* variantKernels(const ProcessorVariant* variant);
// The candidate methods for a precision and domain: only double complex data
// have any, so the others commit as DFT_UNIMPLEMENTED.
const DftMethod* const* variantMethods(const ProcessorVariant* variant, int32_t precision,
                                       int32_t domain);

}  // namespace regviafft::dft

#endif
