// Internal declarations of the transform engine, grouped by defining file.
#ifndef REGVIAFFT_DFT_ENGINE_H
#define REGVIAFFT_DFT_ENGINE_H

#include <cstddef>
#include <cstdint>

#include "dft.h"

struct DftPlan1D;
struct DftDescriptor;
struct VariantOps;

using Complex = _DFT_Complex16;

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
// One 1-D pass of a member: contiguous source to destination (may coincide).
using DftPassRoutine = int32_t (*)(const Complex* src, Complex* dst, DftDescriptor* member,
                                   void* workspace);
// Two-dimensional driver.
using DftDriver2D = int32_t (*)(const Complex* in, Complex* out, const int32_t inStride[2],
                                const int32_t outStride[2], DftPassRoutine pass0,
                                DftPassRoutine pass1, DftDescriptor* head, void* workspace);

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

// Shared by all descriptors; empty slots are filled with the sequential
// defaults on first create.
struct DftThreadServices {
    int32_t (*threadLimitingActive)();
    int32_t (*maxThreadsForTransform)();
    int32_t (*threadsPerCore)();
    int32_t (*threadsAvailable)();
    int64_t (*lastLevelCacheSize)();
    int32_t (*parallelRegion)(int32_t threads, int32_t (*worker)(int32_t, int32_t, void*),
                              void* context);
};

struct DftDescriptor {
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
    const VariantOps* variant;          // processor variant that built this descriptor
    void* workspace;                    // commit-time workspace shared by the passes
    size_t workspaceSize;
    void* perThreadSlots;               // 2*userThreads+1 slots with several user threads
    int32_t userThreads;
    int32_t threads;
};

// descriptor.cpp
[[nodiscard]] bool isDescriptor(const DftDescriptor* d);
[[nodiscard]] int32_t constructDescriptor(DftDescriptor** out, const VariantOps* variant,
                                          int32_t precision, int32_t domain, int32_t dimension,
                                          const int32_t* internalLengths);
void makeUncommitted(DftDescriptor* d);
// releasePlan frees `workspace` and `perThreadSlots` with plainRelease, each
// member's plan with planDestroy, and destroys the members after the head.

// commit.cpp
[[nodiscard]] int32_t commitDescriptor(DftDescriptor* d);
// Commit of a member whose working lists are already set: pass fields and methods.
[[nodiscard]] int32_t commitWorkingDescriptor(DftDescriptor* d);
// Working-list normalisation, in commit order.
void sortByInputStride(DftDimensionList* list);  // stable: equal strides keep their order
void removeUnitLengths(DftDimensionList* list);  // keeps at least one entry
void mergeContiguousBatch(DftDimensionList* list);
// Candidates for separate real and imaginary arrays: not applicable unless
// complexStorage is DFT_REAL_REAL, then DFT_UNIMPLEMENTED.
extern const DftMethod splitStorage1DMethod;
extern const DftMethod splitStorage2DMethod;
extern const DftMethod splitStorageNDMethod;

// general_method.cpp
extern const DftMethod generalMethod;
// True when no one-dimensional plan of this length may be built: above 2^26
// for a power of two, above 2^24 otherwise (lengths compared unsigned).
[[nodiscard]] bool exceedsPlanLengthLimit(uint32_t length);

// driver_2d.cpp
int32_t driver2DOutOfPlace(const Complex* in, Complex* out, const int32_t inStride[2],
                           const int32_t outStride[2], DftPassRoutine pass0, DftPassRoutine pass1,
                           DftDescriptor* head, void* workspace);
int32_t driver2DInPlace(const Complex* in, Complex* out, const int32_t inStride[2],
                        const int32_t outStride[2], DftPassRoutine pass0, DftPassRoutine pass1,
                        DftDescriptor* head, void* workspace);

// runtime/allocators.cpp
[[nodiscard]] void* plainAllocate(size_t size, size_t alignment);
[[nodiscard]] void* plainAllocateZeroed(size_t count, size_t size, size_t alignment);
void plainRelease(void* p);
// Alignment rule of both allocators: below 4 none (0), a power of two kept, else 64.
[[nodiscard]] size_t effectiveAlignment(size_t alignment);
[[nodiscard]] void* planAllocate(int64_t size);  // 32-byte aligned
void planRelease(void* p);
// Process-wide memory hooks; the defaults are malloc, calloc, realloc and free.
struct MemoryHooks {
    void* (*allocate)(size_t size);
    void* (*allocateZeroed)(size_t count, size_t size);
    void* (*reallocate)(void* p, size_t size);
    void (*release)(void* p);
};
const MemoryHooks& memoryHooks();
// Replaces the hooks (null restores the defaults); not while another thread allocates.
void setMemoryHooks(const MemoryHooks* hooks);
// Plain allocator counters: bytes obtained and blocks not yet released.
int64_t plainAllocatedBytes();
int64_t plainLiveBlocks();

// runtime/buffer_cache.cpp
[[nodiscard]] void* bufferAllocate(size_t size, size_t alignment);
void bufferRelease(void* p);
// Inspection of the cache, for tests and tools.
struct BufferCacheRecordInfo {
    uint32_t threadId;
    bool dead;            // its thread has ended
    int32_t blocks;       // entries holding a block
    int32_t blocksInUse;
};
bool bufferCacheEnabled();  // decides the switch on first call
int32_t bufferCacheRecordCount();
bool bufferCacheRecordInfo(int32_t index, BufferCacheRecordInfo* info);  // index from 1
int32_t bufferCacheFindRecord(uint32_t threadId);  // live record a slotless thread would take, or 0

// runtime/thread_services.cpp
DftThreadServices* sharedThreadServices();
void fillSequentialThreadServices(DftThreadServices* services);
void fillCacheSizeService(DftThreadServices* services);

// runtime/thread_settings.cpp
int32_t threadsPerCore();    // from the processor topology
int32_t threadsAvailable();  // from the topology and the threading variables
// Thread requests from the environment; the sequential engine never acts on them.
enum ThreadDomain : int32_t {
    kDomainAll, kDomainBlas, kDomainFft, kDomainVmath, kDomainSparse, kDomainCount
};
struct ThreadSettings {
    int32_t domainThreads[kDomainCount];  // 0 when not set
    bool dynamic;                         // on unless turned off
    int32_t processesPerNode;             // 0 when not set
    int32_t threadLevel;                  // 0 to 3, -1 when the variable is absent
};
// Values of the threading variables, null when unset.
struct ThreadVariables {
    const char* numThreads;        // REGVIAFFT_NUM_THREADS
    const char* ompNumThreads;     // OMP_NUM_THREADS
    const char* domainNumThreads;  // REGVIAFFT_DOMAIN_NUM_THREADS
    const char* dynamic;           // REGVIAFFT_DYNAMIC
    const char* processesPerNode;  // REGVIAFFT_PROCESSES_PER_NODE
    const char* threadLevel;       // REGVIAFFT_THREAD_LEVEL
};
[[nodiscard]] ThreadSettings parseThreadSettings(const ThreadVariables& variables);
const ThreadSettings& threadSettings();  // read from the environment once

// runtime/cache_size.cpp
int64_t lastLevelCacheSize(int32_t level);  // level 0: last found; -1 for an unknown level
int32_t cacheLevelCount();                  // data and unified levels found
constexpr int64_t kCacheEnumerationEnd = -1;
constexpr int64_t kCacheLevelSkipped = 0;   // instruction cache
// Bytes of the level one cache-parameter sub-leaf describes (registers A, B, C),
// or one of the two markers above.
int64_t cacheLevelSize(uint32_t a, uint32_t b, uint32_t c);

// runtime/lock.cpp
void engineLock();
void engineUnlock();

// runtime/cpu_class.cpp
int32_t classifyProcessor();  // effective class: forced or detected
int32_t detectedProcessorClass();  // what the processor supports, whatever is forced
// Class forced by a value of REGVIAFFT_DEBUG_CPU_TYPE, or -1 if the value is ignored.
int32_t parseForcedClass(const char* value);
// Class from leaf-0 vendor registers, leaf-1 feature registers and XCR0.
int32_t classFromFeatures(uint32_t vendorB, uint32_t vendorC, uint32_t vendorD,
                          uint32_t featuresC, uint32_t featuresD, uint64_t xcr0);

#endif
