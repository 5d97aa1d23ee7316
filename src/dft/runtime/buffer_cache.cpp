// Per-thread cache of work buffers: a thread that asks again for a buffer of
// the same size and alignment gets its earlier block back without allocating.
#include <atomic>
#include <new>

#include "runtime.h"
#include "platform.h"

namespace regviafft::dft {

namespace {

constexpr size_t kLargestCachedSize = 41943040;  // 40 MiB; larger blocks bypass the cache
constexpr int32_t kMaxRecords = 1024;
constexpr int32_t kEntriesPerRecord = 5;

// One cached block. A thread releasing another thread's buffer reads raw,
// handedOut and inUse and clears inUse under the lock while the owner works
// without it, hence the atomics.
struct CacheEntry {
    std::atomic<char*> raw;        // from the allocate hook, or null
    std::atomic<char*> handedOut;  // raw aligned up to the request's alignment
    size_t size;                   // last requested size
    size_t capacity;               // requested size plus alignment when obtained
    std::atomic<bool> inUse;
};

struct ThreadRecord {
    CacheEntry entries[kEntriesPerRecord];
    int32_t used;  // entries made so far; only the owner changes it while alive
};

// Table of records, indices 1 to recordCount. threadId and record are set
// before recordCount publishes the index; dead is set once, by the exit hook.
struct RecordSlot {
    uint32_t threadId;
    std::atomic<bool> dead;
    ThreadRecord* record;  // null once a dead record holds no block
};
RecordSlot records[kMaxRecords + 1];
std::atomic<int32_t> recordCount{0};

enum CacheSwitch : int32_t { kSwitchUndecided, kSwitchOn, kSwitchOff };
std::atomic<int32_t> cacheSwitch{kSwitchUndecided};

// The thread-local slot holding each thread's record index (0: none yet).
std::atomic<bool> slotDecided{false};
bool slotAvailable = false;
uint32_t slotIndex = 0;

void decideSlotOnce()
{
    if (slotDecided.load(std::memory_order_acquire))
        return;
    engineLock();
    if (!slotDecided.load(std::memory_order_relaxed)) {
        slotAvailable = platform::allocateThreadSlot(&slotIndex);
        slotDecided.store(true, std::memory_order_release);
    }
    engineUnlock();
}

bool cacheOn()
{
    int32_t state = cacheSwitch.load(std::memory_order_acquire);
    if (state != kSwitchUndecided)
        return state == kSwitchOn;
    engineLock();
    state = cacheSwitch.load(std::memory_order_relaxed);
    if (state == kSwitchUndecided) {
        char value[2];  // only presence matters: an empty value also turns the cache off
        bool off = platform::readEnvironment("REGVIAFFT_DISABLE_FAST_MM", value, sizeof value) ||
                   platform::readEnvironment("REGVIAFFT_MM_DISABLE", value, sizeof value);
        state = off ? kSwitchOff : kSwitchOn;
        cacheSwitch.store(state, std::memory_order_release);
    }
    engineUnlock();
    return state == kSwitchOn;
}

void setSlot(int32_t index)
{
    if (slotAvailable)
        platform::setThreadSlotValue(slotIndex, static_cast<uintptr_t>(index));
}

// Highest live record of the thread, 0 if none. A dead record is skipped, so a
// new thread that inherits an ended thread's id starts afresh.
int32_t findLiveRecord(uint32_t threadId)
{
    for (int32_t i = recordCount.load(std::memory_order_acquire); i >= 1; --i) {
        if (records[i].threadId == threadId && !records[i].dead.load(std::memory_order_acquire))
            return i;
    }
    return 0;
}

int32_t ownRecordIndex(uint32_t threadId)
{
    uintptr_t index = slotAvailable ? platform::threadSlotValue(slotIndex) : 0;
    if (index != 0) {
        const RecordSlot& slot = records[index];
        if (slot.threadId == threadId && !slot.dead.load(std::memory_order_acquire))
            return static_cast<int32_t>(index);
        setSlot(0);
    }
    int32_t found = findLiveRecord(threadId);
    if (found != 0)
        setSlot(found);
    return found;
}

void releaseBlock(CacheEntry& e)
{
    memoryHooks().release(e.raw.load(std::memory_order_relaxed));
    e.raw.store(nullptr, std::memory_order_relaxed);
    e.handedOut.store(nullptr, std::memory_order_relaxed);
    e.capacity = 0;
}

// Frees a dead record once no block of it is in use any more.
void releaseRecordIfEmpty(RecordSlot& slot)
{
    for (const CacheEntry& e : slot.record->entries) {
        if (e.raw.load(std::memory_order_relaxed) != nullptr)
            return;
    }
    memoryHooks().release(slot.record);
    slot.record = nullptr;
}

// Exit hook of a thread with a record. Unlike leaving the record alone, this
// frees the ended thread's idle blocks (they would otherwise stay allocated
// for good) and marks the record dead, so a later thread with the same id
// cannot take its entries. Blocks still in use stay until they are released.
void retireRecord(void* context)
{
    RecordSlot& slot = records[reinterpret_cast<uintptr_t>(context)];
    engineLock();
    if (slot.record == nullptr) {
        engineUnlock();
        return;
    }
    slot.dead.store(true, std::memory_order_release);
    for (CacheEntry& e : slot.record->entries) {
        if (!e.inUse.load(std::memory_order_acquire))
            releaseBlock(e);
    }
    releaseRecordIfEmpty(slot);
    engineUnlock();
}

int32_t registerRecord(uint32_t threadId)
{
    int32_t index = 0;
    engineLock();
    int32_t count = recordCount.load(std::memory_order_relaxed);
    void* memory = count < kMaxRecords ? memoryHooks().allocate(sizeof(ThreadRecord)) : nullptr;
    if (memory != nullptr) {
        index = count + 1;
        records[index].threadId = threadId;
        records[index].dead.store(false, std::memory_order_relaxed);
        records[index].record = new (memory) ThreadRecord();
        recordCount.store(index, std::memory_order_release);
    }
    engineUnlock();
    if (index != 0) {
        setSlot(index);
        platform::onThreadExit(retireRecord, reinterpret_cast<void*>(static_cast<uintptr_t>(index)));
    }
    return index;
}

// Exact capacity first, then the first larger one, then a new entry, then
// the first smaller one with a new block; null when all five are in use or
// a block cannot be obtained.
CacheEntry* takeEntry(ThreadRecord* r, size_t capacity)
{
    for (int32_t i = 0; i < r->used; ++i) {
        CacheEntry& e = r->entries[i];
        if (!e.inUse.load(std::memory_order_acquire) && e.capacity == capacity)
            return &e;
    }
    for (int32_t i = 0; i < r->used; ++i) {
        CacheEntry& e = r->entries[i];
        if (!e.inUse.load(std::memory_order_acquire) && e.capacity > capacity)
            return &e;
    }
    CacheEntry* fresh = nullptr;
    if (r->used < kEntriesPerRecord) {
        fresh = &r->entries[r->used++];
    } else {
        for (int32_t i = 0; i < r->used && fresh == nullptr; ++i) {
            CacheEntry& e = r->entries[i];
            if (!e.inUse.load(std::memory_order_acquire) && e.capacity < capacity)
                fresh = &e;
        }
        if (fresh == nullptr)
            return nullptr;
        releaseBlock(*fresh);
    }
    char* block = static_cast<char*>(memoryHooks().allocate(capacity));
    if (block == nullptr)
        return nullptr;
    fresh->raw.store(block, std::memory_order_relaxed);
    fresh->capacity = capacity;
    return fresh;
}

char* alignUp(char* raw, size_t alignment)
{
    if (alignment == 0)
        return raw;
    const uintptr_t address = reinterpret_cast<uintptr_t>(raw);
    return raw + (alignAddressUp(address, alignment) - address);
}

bool releaseOwn(ThreadRecord* r, void* p)
{
    for (int32_t i = 0; i < r->used; ++i) {
        CacheEntry& e = r->entries[i];
        if (e.handedOut.load(std::memory_order_relaxed) == p) {
            e.inUse.store(false, std::memory_order_release);
            return true;
        }
    }
    return false;
}

// Another thread's buffer. Only entries in use match: an idle entry may hold
// the stale pointer of a block its owner is replacing at this moment. A
// dead record's block is freed, since no owner will take it again.
bool releaseForeign(void* p)
{
    bool found = false;
    engineLock();
    int32_t count = recordCount.load(std::memory_order_relaxed);
    for (int32_t i = 1; i <= count && !found; ++i) {
        RecordSlot& slot = records[i];
        for (int32_t k = 0; slot.record != nullptr && k < kEntriesPerRecord && !found; ++k) {
            CacheEntry& e = slot.record->entries[k];
            if (!e.inUse.load(std::memory_order_acquire) ||
                e.raw.load(std::memory_order_relaxed) == nullptr ||
                e.handedOut.load(std::memory_order_relaxed) != p)
                continue;
            found = true;
            e.inUse.store(false, std::memory_order_release);
            if (slot.dead.load(std::memory_order_relaxed)) {
                releaseBlock(e);
                releaseRecordIfEmpty(slot);
            }
        }
    }
    engineUnlock();
    return found;
}

}  // namespace

void* bufferAllocate(size_t size, size_t alignment)
{
    decideSlotOnce();
    if (size == 0)
        return nullptr;
    if (!cacheOn() || size > kLargestCachedSize)
        return plainAllocate(size, alignment);
    uint32_t threadId = platform::currentThreadId();
    int32_t index = ownRecordIndex(threadId);
    if (index == 0)
        index = registerRecord(threadId);
    if (index == 0)
        return plainAllocate(size, alignment);
    size_t a = effectiveAlignment(alignment);
    CacheEntry* e = takeEntry(records[index].record, size + a);
    if (e == nullptr)
        return plainAllocate(size, alignment);
    char* p = alignUp(e->raw.load(std::memory_order_relaxed), a);
    e->size = size;
    e->handedOut.store(p, std::memory_order_relaxed);
    e->inUse.store(true, std::memory_order_release);
    return p;
}

void bufferRelease(void* p)
{
    if (p == nullptr)
        return;
    decideSlotOnce();
    if (!cacheOn()) {
        plainRelease(p);
        return;
    }
    int32_t index = ownRecordIndex(platform::currentThreadId());
    if (index != 0 && releaseOwn(records[index].record, p))
        return;
    if (!releaseForeign(p))
        plainRelease(p);
}

bool bufferCacheEnabled()
{
    return cacheOn();
}

int32_t bufferCacheRecordCount()
{
    return recordCount.load(std::memory_order_acquire);
}

int32_t bufferCacheFindRecord(uint32_t threadId)
{
    return findLiveRecord(threadId);
}

bool bufferCacheRecordInfo(int32_t index, BufferCacheRecordInfo* info)
{
    if (index < 1 || index > recordCount.load(std::memory_order_acquire))
        return false;
    engineLock();
    const RecordSlot& slot = records[index];
    *info = BufferCacheRecordInfo{slot.threadId, slot.dead.load(std::memory_order_relaxed), 0, 0};
    for (int32_t k = 0; slot.record != nullptr && k < kEntriesPerRecord; ++k) {
        const CacheEntry& e = slot.record->entries[k];
        info->blocks += e.raw.load(std::memory_order_relaxed) != nullptr ? 1 : 0;
        info->blocksInUse += e.inUse.load(std::memory_order_acquire) ? 1 : 0;
    }
    engineUnlock();
    return true;
}

}  // namespace regviafft::dft
