#include <gtest/gtest.h>

#include <cstring>

#include "dft_plans.h"
#include "runtime.h"

namespace regviafft::dft {

namespace {

uintptr_t wordBefore(const void* p, size_t words)
{
    uintptr_t w;
    std::memcpy(&w, static_cast<const char*>(p) - words * sizeof(uintptr_t), sizeof w);
    return w;
}

}  // namespace

TEST(PlainAllocator, AlignmentRuleHeaderWordsCountersAndNullRequests)
{
    RecordingHooks hooks;
    const size_t header = 2 * sizeof(uintptr_t);
    // Requested alignment, then the one used: below 4 none, non-powers of two 64.
    const size_t rule[][2] = {{48, 64}, {100, 64}, {2, 0}, {3, 0}, {4, 4}, {4096, 4096}};
    for (const auto& r : rule) {
        const int64_t bytes = plainAllocatedBytes(), blocks = plainLiveBlocks();
        auto* p = static_cast<char*>(plainAllocate(100, r[0]));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(hooks.requested, r[1] + 100 + header) << r[0];
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % (r[1] == 0 ? 1 : r[1]), 0u) << r[0];
        EXPECT_TRUE(p >= hooks.raw + header && (r[1] != 0 || p == hooks.raw + header));
        EXPECT_LE(p + 100, hooks.raw + hooks.requested);
        EXPECT_TRUE(wordBefore(p, 2) == reinterpret_cast<uintptr_t>(hooks.raw) &&
                    wordBefore(p, 1) == hooks.requested) << "header: raw pointer, total";
        EXPECT_TRUE(plainAllocatedBytes() == bytes + static_cast<int64_t>(hooks.requested) &&
                    plainLiveBlocks() == blocks + 1);
        plainRelease(p);
        EXPECT_EQ(hooks.freed, hooks.raw);
        EXPECT_TRUE(plainAllocatedBytes() == bytes && plainLiveBlocks() == blocks);
    }
    // Zeroed blocks are clear; empty, overflowing or failed requests give null.
    auto* p = static_cast<unsigned char*>(plainAllocateZeroed(7, 9, 16));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(hooks.requested, 16 + 63 + 2 * sizeof(uintptr_t));
    for (int i = 0; i < 63; ++i)
        ASSERT_EQ(p[i], 0) << i;
    plainRelease(p);

    hooks.raw = nullptr;
    const int64_t blocks = plainLiveBlocks();
    EXPECT_EQ(plainAllocate(0, 16), nullptr);
    EXPECT_EQ(plainAllocateZeroed(0, 9, 16), nullptr);
    EXPECT_EQ(plainAllocateZeroed(SIZE_MAX / 2, 3, 16), nullptr);
    EXPECT_EQ(plainAllocate(SIZE_MAX - 8, 16), nullptr);
    EXPECT_EQ(planAllocate(0), nullptr);
    EXPECT_EQ(planAllocate(-5), nullptr);
    EXPECT_EQ(hooks.raw, nullptr);
    hooks.countdown = 1;
    EXPECT_EQ(plainAllocate(64, 16), nullptr);
    EXPECT_EQ(plainLiveBlocks(), blocks);
}

TEST(PlanAllocator, BlocksAre32ByteAlignedAndStoreTheRawPointer)
{
    RecordingHooks hooks;
    for (int64_t size = 1; size <= 100; ++size) {
        auto* p = static_cast<char*>(planAllocate(size));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(hooks.requested, static_cast<size_t>(size) + sizeof(void*) + 32);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 32, 0u) << size;
        EXPECT_LE(p + size, hooks.raw + hooks.requested) << size;
        EXPECT_EQ(wordBefore(p, 1), reinterpret_cast<uintptr_t>(hooks.raw)) << size;
        planRelease(p);
        EXPECT_EQ(hooks.freed, hooks.raw);
    }
}

}  // namespace regviafft::dft
