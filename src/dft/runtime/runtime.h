// Runtime services of the transform engine: processor class and features,
// cache size, the engine lock, the allocators, the per-thread buffer cache and
// the thread services. They know nothing of plans or descriptors, and they
// alone use platform.h: everything above them reaches the machine through
// this header.
#ifndef REGVIAFFT_DFT_RUNTIME_H
#define REGVIAFFT_DFT_RUNTIME_H

#include <cstddef>
#include <cstdint>

namespace regviafft::dft {

// ---- Shared arithmetic ------------------------------------------------------
// Static: the kernel units, compiled for newer instruction sets, include this
// header too, and each must keep its own copy of every function it compiles.

static constexpr bool isPowerOfTwo(uint64_t n) { return n != 0 && (n & (n - 1)) == 0; }

// Plans, their tables and their work buffers start on this boundary. The
// kernels move vectors unaligned, so wider vectors need no wider boundary.
constexpr int64_t kPlanAlignment = 32;
static constexpr int64_t roundUpToPlanAlignment(int64_t bytes)
{
    return (bytes + kPlanAlignment - 1) & ~(kPlanAlignment - 1);
}
// The first address at or above `address` on a boundary of `alignment` (a power of two).
static constexpr uintptr_t alignAddressUp(uintptr_t address, uintptr_t alignment)
{
    return (address + alignment - 1) & ~(alignment - 1);
}

// ---- lock.cpp -----------------------------------------------------------------

// One process-wide spin lock for one-time initialisations.
void engineLock();
void engineUnlock();

// ---- cpu_class.cpp --------------------------------------------------------------

// Processor classes, in the order of their codes; code 1 is never produced.
enum ProcessorClass : int32_t {
    kClassGeneric = 0,
    kClassSse2 = 2,
    kClassSse3 = 3,
    kClassSsse3 = 4,
    kClassSse42 = 5,
    kClassAvx = 6,
};
constexpr int32_t kProcessorClassCount = 7;  // codes 0 to 6
// "generic", "SSE2", ... by code; "unused" for 1, "unknown" outside 0 to 6.
const char* processorClassName(int32_t processorClass);

int32_t classifyProcessor();       // effective class: forced or detected
int32_t detectedProcessorClass();  // what the processor supports, whatever is forced
bool processorClassForced();       // REGVIAFFT_DEBUG_CPU_TYPE named a class
// Class forced by a value of REGVIAFFT_DEBUG_CPU_TYPE, or -1 if the value is ignored.
int32_t parseForcedClass(const char* value);
// Class from leaf-0 vendor registers, leaf-1 feature registers and XCR0.
int32_t classFromFeatures(uint32_t vendorB, uint32_t vendorC, uint32_t vendorD,
                          uint32_t featuresC, uint32_t featuresD, uint64_t xcr0);

// What the processor and the operating system let this process execute,
// whatever its vendor: the class decides which variant serves a descriptor,
// these decide which of that variant's kernels can actually run.
struct ProcessorFeatures {
    bool sse2;
    bool avx;      // AVX instructions and the OS saves the 256-bit registers
    bool avx2Fma;  // AVX2 and FMA3 on top of avx
    bool avx512;   // AVX-512 F, DQ and VL, and the OS saves the 512-bit state
};
const ProcessorFeatures& processorFeatures();  // read once
// Features from leaf-1 registers C and D, leaf-7 register B and XCR0 (0 when
// the OS does not enable XSAVE).
ProcessorFeatures featuresFromRegisters(uint32_t leaf1C, uint32_t leaf1D, uint32_t leaf7B,
                                        uint64_t xcr0);

// ---- cache_size.cpp ---------------------------------------------------------------

int64_t lastLevelCacheSize(int32_t level);  // level 0: last found; -1 for an unknown level
int32_t cacheLevelCount();                  // data and unified levels found
constexpr int64_t kCacheEnumerationEnd = -1;
constexpr int64_t kCacheLevelSkipped = 0;   // instruction cache
// Bytes of the level one cache-parameter sub-leaf describes (registers A, B, C),
// or one of the two markers above.
int64_t cacheLevelSize(uint32_t a, uint32_t b, uint32_t c);

// ---- allocators.cpp ---------------------------------------------------------------

[[nodiscard]] void* plainAllocate(size_t size, size_t alignment);
[[nodiscard]] void* plainAllocateZeroed(size_t count, size_t size, size_t alignment);
void plainRelease(void* p);
// Alignment rule of both allocators: below 4 none (0), a power of two kept, else 64.
[[nodiscard]] size_t effectiveAlignment(size_t alignment);
[[nodiscard]] void* planAllocate(int64_t size);  // kPlanAlignment-aligned
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

// ---- buffer_cache.cpp -------------------------------------------------------------

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

// ---- thread_services.cpp ----------------------------------------------------------

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
DftThreadServices* sharedThreadServices();
void fillSequentialThreadServices(DftThreadServices* services);
void fillCacheSizeService(DftThreadServices* services);

// ---- thread_settings.cpp ----------------------------------------------------------

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

}  // namespace regviafft::dft

#endif
