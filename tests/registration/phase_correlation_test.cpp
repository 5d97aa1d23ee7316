// Gradient-magnitude patches, normalised cross-power spectrum, correlation
// surface, and the whole chain from a shifted frame to its motion vector.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core/core_c.h>

#include "inspector.h"
#include "kernels.h"
#include "synthetic_frames.h"

namespace {

using I = RegViaFFTInspector;

TEST(TemplatePatch, MagnitudeIsSummedInDoubleWithZeroImaginaryPart)
{
    const float tiny = std::ldexp(1.0f, -30);  // lost in a float sum with 1
    const float gx[3] = {1.0f, -3.0f, -0.0f}, gy[3] = {tiny, 4.0f, -2.5f};
    const double expected[3] = {1.0 + std::ldexp(1.0, -30), 7.0, 2.5};
    _DFT_Complex16 a[3] = {{9, 9}, {9, 9}, {9, 9}}, b[3] = {};
    regviafft::gradientMagnitudeInput(gx, gy, 3, a);
    regviafft::gradientMagnitudeInput(gy, gx, 3, b);  // the components are symmetric
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(a[i].real == expected[i] && a[i].imag == 0.0 && b[i].real == a[i].real) << i;
}

TEST(WindowCoefficients, ShortTwoPiLeavesTheLastCoefficientSlightlyHigh)
{
    for (int n : {2, 5, 64}) {
        EXPECT_TRUE(regviafft::hanningCoefficient(0, n) == 0.0) << n;
        EXPECT_NEAR(regviafft::hammingCoefficient(0, n), 0.08, 1e-15) << n;
        // Exactly 0 with a full-precision 2 pi; about 4e-13 with 6.283184.
        const double last = regviafft::hanningCoefficient(n - 1, n);
        EXPECT_TRUE(last > 0.0 && last < 1e-12) << n;
    }
    // The index is divided as a real number.
    EXPECT_NEAR(regviafft::hanningCoefficient(2, 5), 1.0, 1e-11);
    EXPECT_NEAR(regviafft::hammingCoefficient(2, 5), 1.0, 1e-11);
}

TEST(CrossPower, ConjugatesThePreviousSpectrumAndFloorsTheDivisor)
{
    const _DFT_Complex16 cur[4] = {{0, 1}, {1, 2}, {1e-8, 0}, {0, 0}};
    const _DFT_Complex16 prev[4] = {{1, 0}, {3, -1}, {1, 0}, {5, 5}};
    _DFT_Complex16 out[4];
    regviafft::normalisedCrossPower(cur, prev, 4, out);
    EXPECT_TRUE(out[0].real == 0.0 && out[0].imag == 1.0);  // i x conj(1), not conj(i) x 1
    EXPECT_DOUBLE_EQ(out[1].real, 1 / std::sqrt(50.0));    // (1 + 2i)(3 + i) = 1 + 7i
    EXPECT_DOUBLE_EQ(out[1].imag, 7 / std::sqrt(50.0));
    EXPECT_DOUBLE_EQ(out[2].real, 0.1);  // below the floor: divided by 1e-7
    EXPECT_TRUE(out[3].real == 0.0 && out[3].imag == 0.0);
}

// Full-resolution object with non-square templates, so a swap of rows and
// columns anywhere shows; the frame width is no multiple of 4, so the image
// rows are padded.
TEST(Correlation, WholeChainRecoversTheShiftOfATexturedFrame)
{
    constexpr int kFrameH = 96, kFrameW = 126, kH = 24, kW = 32, kN = kH * kW;
    CRegViaFFT object;
    ASSERT_EQ(object.Create(kFrameH, kFrameW, kH, kW, 5, 1, 8, 8, 30, 1.0), 1);
    auto analyse = [&object](const std::vector<uint8_t>& grey, int firstFrame) {
        IplImage* image = I::reducedImage(object);
        for (int r = 0; r < kFrameH; ++r)
            std::memcpy(image->imageData + r * image->widthStep, &grey[r * kFrameW], kFrameW);
        I::isFirstFrame(object) = firstFrame;
        I::getPCResult_fft(object);
    };
    const int dx = 3, dy = -2;
    std::vector<uint8_t> first = synthetic::texturedFrame(kFrameW, kFrameH, 11);
    std::vector<uint8_t> moved = synthetic::texturedFrame(kFrameW, kFrameH, 11, dx, dy);
    // Template 4 lies on a flat block one pixel wider than the patch (central
    // differences), so it has no peak in either frame.
    for (std::vector<uint8_t>* frame : {&first, &moved})
        for (int r = 59; r < 59 + kH + 2; ++r)
            std::memset(&(*frame)[r * kFrameW + 89], 77, kW + 2);
    const int posY[5] = {10, 12, 50, 55, 60}, posX[5] = {10, 80, 14, 50, 90};
    I::templateCount(object) = 5;
    for (int k = 0; k < 5; ++k) {
        I::tmplPosY(object)[k] = posY[k];
        I::tmplPosX(object)[k] = posX[k];
        std::fill(I::pcSurface(object)[k], I::pcSurface(object)[k] + kN, -5.0);
    }
    // First frame: the surfaces keep their contents.
    analyse(first, 1);
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ(I::pcSurface(object)[k][kN - 1], -5.0) << k;
    // The same frame again, against the seeded spectra: every textured
    // surface is 1 at the origin.
    analyse(first, 0);
    for (int k = 0; k < 4; ++k)
        EXPECT_NEAR(I::pcSurface(object)[k][0], 1.0, 1e-9) << k;
    // Content moved dx right and dy down: the shift back is (-dx, -dy). Four
    // votes mean all textured templates measured it exactly; the weighted
    // average may be off by rounding only.
    analyse(moved, 0);
    I::frameCount(object) = 3;
    I::getGMVwithScore(object);
    EXPECT_NEAR(I::preciseGmvX(object), -dx, 1e-12);
    EXPECT_NEAR(I::preciseGmvY(object), -dy, 1e-12);
    EXPECT_EQ(I::gmvX(object), -dx);
    EXPECT_EQ(I::gmvY(object), -dy);
    const CRegViaFFT::_pcResult* best = I::pcResult(object);
    EXPECT_TRUE(best[0].votes == 4 && best[0].orderBias == -4);  // templates 0 to 3
    EXPECT_TRUE(best[1].shiftX == 800.0 && best[1].orderBias == 1);  // the flat one, alone
}

}  // namespace
