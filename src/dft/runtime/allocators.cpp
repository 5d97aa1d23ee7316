// Plain allocator (aligned blocks with a header and counters), plan allocator
// (32-byte aligned blocks) and the memory hooks beneath both.
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "runtime.h"

namespace regviafft::dft {

namespace {

void* defaultAllocate(size_t size)
{
    return std::malloc(size);
}

void* defaultAllocateZeroed(size_t count, size_t size)
{
    return std::calloc(count, size);
}

void* defaultReallocate(void* p, size_t size)
{
    return std::realloc(p, size);
}

void defaultRelease(void* p)
{
    std::free(p);
}

constexpr MemoryHooks kDefaultHooks{defaultAllocate, defaultAllocateZeroed, defaultReallocate,
                                    defaultRelease};
MemoryHooks hooks = kDefaultHooks;

std::atomic<int64_t> bytesObtained{0};
std::atomic<int64_t> liveBlocks{0};

// Two header words before each plain block: the raw pointer and the total
// obtained. They are pointer-size words, so a 64-bit pointer fits.
constexpr size_t kWordBytes = sizeof(uintptr_t);
constexpr size_t kHeaderBytes = 2 * kWordBytes;

// The plan allocator keeps only the raw pointer, in the word before the block;
// a pointer-size word plus 32 bytes of slack (40 on 64-bit) guarantees that
// raw + extra - 1 rounded down to 32 leaves room for it.
constexpr int64_t kPlanExtraBytes = static_cast<int64_t>(kWordBytes) + kPlanAlignment;

void writeWord(char* at, uintptr_t value)
{
    std::memcpy(at, &value, kWordBytes);  // may be unaligned with an alignment of 4
}

uintptr_t readWord(const char* at)
{
    uintptr_t value;
    std::memcpy(&value, at, kWordBytes);
    return value;
}

}  // namespace

const MemoryHooks& memoryHooks()
{
    return hooks;
}

void setMemoryHooks(const MemoryHooks* replacement)
{
    hooks = replacement != nullptr ? *replacement : kDefaultHooks;
}

int64_t plainAllocatedBytes()
{
    return bytesObtained.load(std::memory_order_relaxed);
}

int64_t plainLiveBlocks()
{
    return liveBlocks.load(std::memory_order_relaxed);
}

size_t effectiveAlignment(size_t alignment)
{
    if (alignment < 4)
        return 0;
    if ((alignment & (alignment - 1)) == 0)
        return alignment;
    return 64;
}

void* plainAllocate(size_t size, size_t alignment)
{
    if (size == 0)
        return nullptr;
    const size_t a = effectiveAlignment(alignment);
    if (size > SIZE_MAX - a - kHeaderBytes)
        return nullptr;
    const size_t total = a + size + kHeaderBytes;
    char* raw = static_cast<char*>(hooks.allocate(total));
    if (raw == nullptr)
        return nullptr;
    const uintptr_t r = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = a != 0 ? (r + a + kHeaderBytes) & ~(uintptr_t{a} - 1)
                                     : r + kHeaderBytes;
    char* block = raw + (aligned - r);
    writeWord(block - kHeaderBytes, r);
    writeWord(block - kWordBytes, total);
    bytesObtained.fetch_add(static_cast<int64_t>(total), std::memory_order_relaxed);
    liveBlocks.fetch_add(1, std::memory_order_relaxed);
    return block;
}

void* plainAllocateZeroed(size_t count, size_t size, size_t alignment)
{
    if (count == 0 || size == 0 || count > SIZE_MAX / size)
        return nullptr;
    void* p = plainAllocate(count * size, alignment);
    if (p != nullptr)
        std::memset(p, 0, count * size);
    return p;
}

void plainRelease(void* p)
{
    if (p == nullptr)
        return;
    const char* block = static_cast<const char*>(p);
    const uintptr_t raw = readWord(block - kHeaderBytes);
    const uintptr_t total = readWord(block - kWordBytes);
    bytesObtained.fetch_sub(static_cast<int64_t>(total), std::memory_order_relaxed);
    liveBlocks.fetch_sub(1, std::memory_order_relaxed);
    hooks.release(reinterpret_cast<void*>(raw));
}

void* planAllocate(int64_t size)
{
    if (size < 1 || static_cast<uint64_t>(size) > SIZE_MAX - kPlanExtraBytes)
        return nullptr;
    char* raw = static_cast<char*>(hooks.allocate(static_cast<size_t>(size + kPlanExtraBytes)));
    if (raw == nullptr)
        return nullptr;
    const uintptr_t r = reinterpret_cast<uintptr_t>(raw);
    // raw + 39 rounded down to 32: the first boundary past the header word.
    const uintptr_t aligned = alignAddressUp(r + kWordBytes, kPlanAlignment);
    char* block = raw + (aligned - r);
    writeWord(block - kWordBytes, r);
    return block;
}

void planRelease(void* p)
{
    if (p == nullptr)
        return;
    hooks.release(reinterpret_cast<void*>(readWord(static_cast<const char*>(p) - kWordBytes)));
}

}  // namespace regviafft::dft
