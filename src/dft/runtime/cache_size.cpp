// Data and unified cache sizes, from the processor's cache-parameter leaf.
#include <atomic>

#include "runtime.h"
#include "platform.h"

namespace regviafft::dft {

namespace {

constexpr uint32_t kCacheLeaf = 4;
constexpr uint32_t kMaxSubLeaves = 32;
constexpr uint32_t kInstructionCache = 2;

// Sizes of the data and unified levels in enumeration order; written once
// under the engine lock, then read only.
struct CacheTable {
    int32_t count;
    int64_t size[kMaxSubLeaves];
};
CacheTable table;
std::atomic<bool> tableBuilt{false};

void buildTable()
{
    table.count = 0;
    // Without the leaf (no identification instruction, or a maximum basic
    // leaf below 4) no level is known and the last-level size is 0. Vendors
    // that do not enumerate the leaf return zeros, which end the enumeration
    // at once, so the vendor is not checked.
    if (!platform::cpuidAvailable() || platform::cpuid(0, 0).a < kCacheLeaf)
        return;
    for (uint32_t i = 0; i < kMaxSubLeaves; ++i) {
        platform::CpuidRegisters r = platform::cpuid(kCacheLeaf, i);
        int64_t size = cacheLevelSize(r.a, r.b, r.c);
        if (size == kCacheEnumerationEnd)
            break;
        if (size != kCacheLevelSkipped)
            table.size[table.count++] = size;
    }
}

void buildTableOnce()
{
    if (tableBuilt.load(std::memory_order_acquire))
        return;
    engineLock();
    if (!tableBuilt.load(std::memory_order_relaxed)) {
        buildTable();
        tableBuilt.store(true, std::memory_order_release);
    }
    engineUnlock();
}

}  // namespace

int64_t cacheLevelSize(uint32_t a, uint32_t b, uint32_t c)
{
    uint32_t type = a & 0x1Fu;
    if (type == 0 || b == 0 || c == 0)
        return kCacheEnumerationEnd;
    if (type == kInstructionCache)
        return kCacheLevelSkipped;
    int64_t ways = (b >> 22) + 1;
    int64_t partitions = ((b >> 12) & 0x3FFu) + 1;
    int64_t lineSize = (b & 0xFFFu) + 1;
    int64_t sets = int64_t{c} + 1;
    return ways * partitions * lineSize * sets;
}

int32_t cacheLevelCount()
{
    buildTableOnce();
    return table.count;
}

int64_t lastLevelCacheSize(int32_t level)
{
    buildTableOnce();
    if (level == 0)
        return table.count > 0 ? table.size[table.count - 1] : 0;
    if (level >= 1 && level <= table.count)
        return table.size[level - 1];
    return -1;
}

}  // namespace regviafft::dft
