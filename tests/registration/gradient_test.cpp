#include <vector>

#include <gtest/gtest.h>

#include "inspector.h"
#include "kernels.h"

using regviafft::centralGradient;
using Floats = std::vector<float>;

// image = x^2 + 3y^2: inner differences 4x and 12y, not halved. Mirroring
// makes the first and last lines 0, where repeating or wrapping would not.
TEST(CentralGradient, UnhalvedDifferencesMirroredEdgesAndOneSampleAxes)
{
    const int w = 9, h = 7;
    std::vector<uint8_t> image(w * h);
    for (int i = 0; i < w * h; ++i)
        image[i] = static_cast<uint8_t>((i % w) * (i % w) + 3 * (i / w) * (i / w));
    Floats gx(w * h), gy(w * h);
    centralGradient(image.data(), w, h, gx.data(), gy.data());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            EXPECT_EQ(gx[y * w + x], (x == 0 || x == w - 1) ? 0.0f : 4.0f * x) << y << "," << x;
            EXPECT_EQ(gy[y * w + x], (y == 0 || y == h - 1) ? 0.0f : 12.0f * y) << y << "," << x;
        }
    // A one-sample axis has zero derivative across it; the buffers are sized
    // exactly, so a mirror index of -1 or 1 there also trips the address sanitizer.
    const std::vector<uint8_t> line = {10, 40, 20, 90, 0};
    const Floats along = {0.0f, 10.0f, 50.0f, -20.0f, 0.0f}, zero(5, 0.0f);
    Floats lx(5), ly(5);
    centralGradient(line.data(), 1, 5, lx.data(), ly.data());
    EXPECT_TRUE(lx == zero && ly == along);
    centralGradient(line.data(), 5, 1, lx.data(), ly.data());
    EXPECT_TRUE(lx == along && ly == zero);
}

// Ramps rising, then falling, to the right and downwards: both operators
// must follow the ramp's sign inside the frame. Other modes, or a refused
// working image, leave the outputs untouched.
TEST(GetGradient, BothModesFollowTheSlopeOtherModesAndFailuresWriteNothing)
{
    const int w = 12, h = 10;
    CRegViaFFT o;
    ASSERT_EQ(o.Create(h, w, 4, 4, 1, 1, 0, 0, 30, 1.0), 1);
    std::vector<uint8_t> image(w * h);
    for (float sign : {1.0f, -1.0f}) {
        for (int i = 0; i < w * h; ++i)
            image[i] = static_cast<uint8_t>(128 + sign * (3 * (i % w) + 5 * (i / w) - 50));
        for (int mode : {0, 1}) {
            Floats gx(w * h), gy(w * h);
            RegViaFFTInspector::getGradient(o, image.data(), gx.data(), gy.data(), mode);
            for (int y = 1; y < h - 1; ++y)
                for (int x = 1; x < w - 1; ++x)
                    ASSERT_TRUE(sign * gx[y * w + x] > 0 && sign * gy[y * w + x] > 0) << mode << " " << y;
        }
    }
    const Floats sentinel(w * h, -7.5f);
    Floats gx = sentinel, gy = sentinel;
    for (int mode : {2, -1})
        RegViaFFTInspector::getGradient(o, image.data(), gx.data(), gy.data(), mode);
    {
        ScratchRefusal refuseThird(2);
        RegViaFFTInspector::getGradient(o, image.data(), gx.data(), gy.data(), 1);
    }
    EXPECT_EQ(gx, sentinel);
    EXPECT_EQ(gy, sentinel);
}

// 255 * w(c, 8) per column, then each row scaled by w(r, rows): on 4 rows of 8
// columns a swap of the two sizes changes every value. 80 * 0.08 = 6.4 is cut
// to 6 before the row pass, and 6 * 0.08 rounds to 0 where 0.512 would not.
TEST(HammingWeighting, PeriodicWindowColumnsFirstRoundedBetweenPasses)
{
    const std::vector<uint8_t> columnPass = {20, 55, 138, 221, 255, 221, 138, 55};
    const std::vector<uint8_t> row0 = {2, 4, 11, 18, 20, 18, 11, 4};
    std::vector<uint8_t> square(64, 255), wide(32, 255), out(32), grey(16, 80);
    regviafft::hammingWeighting(square.data(), square.data(), 8, 8);
    EXPECT_EQ(std::vector<uint8_t>(square.begin(), square.begin() + 8), row0);
    EXPECT_EQ(std::vector<uint8_t>(square.begin() + 32, square.begin() + 40), columnPass);
    CRegViaFFT o;
    ASSERT_EQ(o.Create(4, 8, 4, 8, 1, 1, 0, 0, 30, 1.0), 1);
    RegViaFFTInspector::conductAntiAliasingFilter(o, wide.data(), out.data());
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 8), row0);
    EXPECT_EQ(std::vector<uint8_t>(out.begin() + 16, out.begin() + 24), columnPass);
    regviafft::hammingWeighting(grey.data(), grey.data(), 4, 4);
    EXPECT_EQ(grey[0], 0);
}
