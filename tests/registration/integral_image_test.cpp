#include <vector>

#include <gtest/gtest.h>

#include "inspector.h"
#include "kernels.h"

using regviafft::integralImage;

// Ones over columns 3..6 and rows 2..4 of a 6 x 8 array give (y - 1)(x - 2)
// inside; stale values on every side of the region must become 0.
TEST(IntegralImage, RegionStartsFromZeroClearsTheRestAndSumsInOrder)
{
    const int w = 8, h = 6;
    const std::vector<uint8_t> ones(w * h, 1);
    std::vector<int32_t> dst(w * h, -7);
    integralImage(ones.data(), dst.data(), w, h, 3, 6, 2, 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool inside = y >= 2 && y <= 4 && x >= 3 && x <= 6;
            EXPECT_EQ(dst[y * w + x], inside ? (y - 1) * (x - 2) : 0) << y << "," << x;
        }
    // 2^53 + 1 rounds back to 2^53, so the table shows the order of the sums:
    // left to right along the first row, then a running row sum added to the
    // row above. Summing right to left, or the four-term recurrence, differs.
    CRegViaFFT o;
    std::vector<double> small = {1, 2, 3, 4}, table(4);
    RegViaFFTInspector::constructIntegralImage(o, small.data(), table.data(), 2, 2);
    EXPECT_EQ(table, (std::vector<double>{1, 3, 4, 10}));
    const double big = 9007199254740992.0;  // 2^53
    std::vector<double> src = {big, 1, 1, 1, 1, 0}, sums(6);
    RegViaFFTInspector::constructIntegralImage(o, src.data(), sums.data(), 3, 2);
    EXPECT_EQ(sums, (std::vector<double>{big, big, big, big, big + 2, big + 2}));
}

// Small integers keep every sum exact, so each box must match to the bit,
// including boxes on the first row or column (index -1 read as 0).
TEST(BoxSum, MatchesDirectSumsForEveryBox)
{
    const int w = 7, h = 6;
    std::vector<double> src(w * h), table(w * h);
    for (int i = 0; i < w * h; ++i)
        src[i] = (i * 37) % 11;
    integralImage(src.data(), table.data(), w, h, 0, w - 1, 0, h - 1);
    for (int r0 = 0; r0 < h; ++r0)
        for (int r1 = r0; r1 < h; ++r1)
            for (int c0 = 0; c0 < w; ++c0)
                for (int c1 = c0; c1 < w; ++c1) {
                    double direct = 0.0;
                    for (int i = 0; i < w * h; ++i)
                        if (i / w >= r0 && i / w <= r1 && i % w >= c0 && i % w <= c1)
                            direct += src[i];
                    ASSERT_EQ(regviafft::boxSum(table.data(), w, r0, c0, r1, c1), direct)
                        << r0 << "," << c0 << " to " << r1 << "," << c1;
                }
}
