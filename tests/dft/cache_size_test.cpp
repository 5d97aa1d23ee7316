#include <gtest/gtest.h>

#include "runtime/runtime.h"

namespace {

constexpr uint32_t kData = 1, kInstruction = 2, kUnified = 3;

// Register B of the cache-parameter leaf from its three fields (each minus one).
uint32_t geometry(uint32_t ways, uint32_t partitions, uint32_t lineSize)
{
    return ((ways - 1) << 22) | ((partitions - 1) << 12) | (lineSize - 1);
}

TEST(CacheLevelDecoding, SizeIsTheProductOfFieldsPlusOneAndStopRulesHold)
{
    // 8 ways x 64-byte lines x 64 sets: a 32 KiB first-level data cache.
    EXPECT_EQ(cacheLevelSize(kData | (1u << 5), geometry(8, 1, 64), 63), 32768);
    // The largest field values, so no field is truncated or shifted wrongly.
    EXPECT_EQ(cacheLevelSize(kUnified, geometry(1024, 1024, 4096), 1023), int64_t{1} << 42);
    EXPECT_EQ(cacheLevelSize(kUnified, geometry(2, 1, 1), 0xFFFFFFFFu), int64_t{1} << 33);
    EXPECT_EQ(cacheLevelSize(kUnified, geometry(16, 2, 64), 1023), 16 * 2 * 64 * 1024);
    EXPECT_EQ(cacheLevelSize(kInstruction, geometry(8, 1, 64), 63), kCacheLevelSkipped);
    EXPECT_EQ(cacheLevelSize(0x20 /* level 1, type 0 */, geometry(8, 1, 64), 63), kCacheEnumerationEnd);
    EXPECT_EQ(cacheLevelSize(kData, 0, 63), kCacheEnumerationEnd);
    EXPECT_EQ(cacheLevelSize(kData, geometry(8, 1, 64), 0), kCacheEnumerationEnd);
}

TEST(CacheLevelTable, LevelZeroIsTheLastLevelAndUnknownLevelsGiveMinusOne)
{
    const int32_t levels = cacheLevelCount();
    EXPECT_EQ(lastLevelCacheSize(levels + 1), -1);
    EXPECT_EQ(lastLevelCacheSize(-1), -1);
    EXPECT_EQ(lastLevelCacheSize(0), levels > 0 ? lastLevelCacheSize(levels) : 0);
    for (int32_t level = 1; level <= levels; ++level)
        EXPECT_GT(lastLevelCacheSize(level), 0) << "level " << level;
}

}  // namespace
