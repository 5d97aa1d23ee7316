#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "platform.h"
#include "runtime.h"

namespace regviafft::dft {

namespace {

// Each case runs on a fresh thread, which starts without a record.
class BufferCache : public ::testing::Test {
    void SetUp() override
    {
        if (!bufferCacheEnabled())
            GTEST_SKIP() << "the environment turns the buffer cache off";
    }
};

BufferCacheRecordInfo ownRecordInfo(int32_t index = bufferCacheFindRecord(platform::currentThreadId()))
{
    BufferCacheRecordInfo info{};
    EXPECT_TRUE(bufferCacheRecordInfo(index, &info));
    return info;
}

TEST_F(BufferCache, RepeatedRequestGetsTheSameBlockWhoeverReleasedItAndAlignmentFollowsTheRule)
{
    std::thread([] {
        void* p = bufferAllocate(1000, 16);
        bufferRelease(p);
        void* held = bufferAllocate(1000, 16);
        EXPECT_EQ(held, p);
        // 48 counts as 64: capacity 1064, which an unaligned request of 1064
        // bytes matches, getting the raw start of the same block.
        auto* p48 = static_cast<char*>(bufferAllocate(1000, 48));
        bufferRelease(p48);
        auto* raw = static_cast<char*>(bufferAllocate(1064, 0));
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p48) % 64, 0u);
        EXPECT_TRUE(p48 >= raw && p48 - raw < 64);
        // 2 means none: capacity 500 matches exactly, ahead of larger free entries.
        void* p2 = bufferAllocate(500, 2);
        bufferRelease(p2);
        bufferRelease(held);
        bufferRelease(raw);
        EXPECT_EQ(bufferAllocate(500, 1), p2);
        // Released by another thread, the block is found under the lock and
        // returns to this thread's record rather than to the plain allocator.
        const int64_t before = plainLiveBlocks();
        std::thread([p2] { bufferRelease(p2); }).join();
        EXPECT_EQ(plainLiveBlocks(), before);
        EXPECT_EQ(bufferAllocate(500, 1), p2);
        bufferRelease(p2);
    }).join();
}

TEST_F(BufferCache, SixthBufferAndBlocksAbove40MiBComeFromThePlainAllocator)
{
    std::thread([] {
        const int64_t before = plainLiveBlocks();
        void* held[6];
        for (int i = 0; i < 6; ++i)
            held[i] = bufferAllocate(256 * (i + 1), 16);
        EXPECT_EQ(plainLiveBlocks(), before + 1);
        bufferRelease(held[0]);
        void* largestCached = bufferAllocate(41943040, 0);  // replaces the freed smaller block
        void* big = bufferAllocate(41943041, 64);
        EXPECT_EQ(plainLiveBlocks(), before + 2);
        EXPECT_EQ(ownRecordInfo().blocksInUse, 5);
        bufferRelease(big);
        bufferRelease(largestCached);
        for (int i = 1; i < 6; ++i)
            bufferRelease(held[i]);
        EXPECT_EQ(plainLiveBlocks(), before);
        EXPECT_EQ(ownRecordInfo().blocksInUse, 0);
    }).join();
}

TEST_F(BufferCache, EndedThreadsRecordIsDeadFreedAndNeverTakenAgain)
{
    uint32_t endedId = 0;
    int32_t endedIndex = 0;
    void* stillHeld = nullptr;
    std::thread([&] {
        bufferRelease(bufferAllocate(100, 16));
        stillHeld = bufferAllocate(200, 16);
        endedId = platform::currentThreadId();
        endedIndex = bufferCacheFindRecord(endedId);
    }).join();
    ASSERT_NE(endedIndex, 0);
    EXPECT_TRUE(ownRecordInfo(endedIndex).dead);
    EXPECT_EQ(ownRecordInfo(endedIndex).blocks, 1);  // the idle block is freed, the held one kept
    EXPECT_EQ(bufferCacheFindRecord(endedId), 0);     // a thread inheriting the id starts afresh

    const int64_t before = plainLiveBlocks();
    bufferRelease(stillHeld);
    EXPECT_EQ(plainLiveBlocks(), before);
    EXPECT_EQ(ownRecordInfo(endedIndex).blocks, 0);
    std::thread([&] {
        bufferRelease(bufferAllocate(100, 16));
        EXPECT_GT(bufferCacheFindRecord(platform::currentThreadId()), endedIndex);
    }).join();
}

// Registered with a switch variable set and REGVIAFFT_TEST_EXPECT_CACHE=off.
TEST(BufferCacheSwitchProcess, EitherVariableTurnsTheCacheOffEvenWhenEmpty)
{
    if (std::getenv("REGVIAFFT_TEST_EXPECT_CACHE") == nullptr)
        GTEST_SKIP() << "runs from the switch registrations only";
    ASSERT_TRUE(std::getenv("REGVIAFFT_MM_DISABLE") || std::getenv("REGVIAFFT_DISABLE_FAST_MM"));
    EXPECT_FALSE(bufferCacheEnabled());
    const int64_t before = plainLiveBlocks();
    void* p = bufferAllocate(1000, 16);
    EXPECT_EQ(plainLiveBlocks(), before + 1);
    bufferRelease(p);
    EXPECT_EQ(plainLiveBlocks(), before);
    EXPECT_EQ(bufferCacheRecordCount(), 0);
}

}  // namespace

}  // namespace regviafft::dft
