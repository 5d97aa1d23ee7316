// The per-frame driver: grey conversion and reduction, measurement, plausibility,
// camera-path smoothing and the compensated output frame.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "RegViaFFT.h"
#include "kernels.h"
#include "measurement.h"
#include "platform.h"

namespace regviafft {

namespace {

constexpr int kBytesPerPixel = 4;

size_t frameBytes(int width, int height)
{
    return static_cast<size_t>(width) * static_cast<size_t>(height) * kBytesPerPixel;
}

template <int PixelBytes>
void grayFromPixelsOf(const uint8_t* pixels, std::ptrdiff_t pixelStride, int width, int height,
                      uint8_t* gray, int grayStride)
{
    for (int r = 0; r < height; ++r) {
        const uint8_t* in = pixels + r * pixelStride;
        uint8_t* out = gray + static_cast<size_t>(r) * grayStride;
        for (int c = 0; c < width; ++c) {
            const uint8_t* p = in + PixelBytes * c;
            unsigned sum = p[0] + p[1] + p[2];
            // sum / 3.0 never ends in exactly one half, so rounding it to the
            // nearest integer is the integer (sum + 1) / 3, which vectorises.
            out[c] = static_cast<uint8_t>((sum + 1) / 3);
        }
    }
}

}  // namespace

void grayFromPixels(const uint8_t* pixels, std::ptrdiff_t pixelStride, int pixelBytes, int width,
                    int height, uint8_t* gray, int grayStride)
{
    if (pixelBytes == 1) {
        for (int r = 0; r < height; ++r)
            std::memcpy(gray + static_cast<size_t>(r) * grayStride, pixels + r * pixelStride,
                        static_cast<size_t>(width));
    } else if (pixelBytes == 3) {
        grayFromPixelsOf<3>(pixels, pixelStride, width, height, gray, grayStride);
    } else {
        grayFromPixelsOf<kBytesPerPixel>(pixels, pixelStride, width, height, gray, grayStride);
    }
}

void writeShiftedFrame(const uint8_t* src, uint8_t* dst, int width, int height, int ox, int oy)
{
    const size_t rowBytes = static_cast<size_t>(width) * kBytesPerPixel;
    // 64-bit bounds: an accumulated offset may be as large as an int allows.
    const int64_t firstRow = std::max<int64_t>(oy, 0);
    const int64_t lastRow = std::min<int64_t>(height - 1, int64_t{height} - 1 + oy);
    const int64_t x0 = std::max<int64_t>(ox, 0);
    const int64_t x1 = std::min<int64_t>(width - 1, int64_t{width} - 1 + ox);
    if (firstRow > lastRow || x0 > x1) {
        std::memset(dst, 0, frameBytes(width, height));
        return;
    }
    // Only the uncovered border is cleared: the result equals clearing the
    // whole frame first and then copying. When dst is src, rows are written
    // in the order that reads every source row before it is overwritten, and
    // each row is moved before its border is cleared.
    const size_t leftBytes = static_cast<size_t>(x0) * kBytesPerPixel;
    const size_t copyBytes = static_cast<size_t>(x1 - x0 + 1) * kBytesPerPixel;
    const size_t rightBytes = rowBytes - leftBytes - copyBytes;
    const bool upwards = oy > 0;
    for (int64_t i = 0; i < height; ++i) {
        const int64_t r = upwards ? height - 1 - i : i;
        uint8_t* out = dst + r * rowBytes;
        if (r < firstRow || r > lastRow) {
            std::memset(out, 0, rowBytes);
            continue;
        }
        const uint8_t* in = src + (r - oy) * rowBytes + (x0 - ox) * kBytesPerPixel;
        std::memmove(out + leftBytes, in, copyBytes);
        std::memset(out, 0, leftBytes);
        std::memset(out + leftBytes + copyBytes, 0, rightBytes);
    }
}

bool motionImplausible(int motionX, int motionY, int width, int height)
{
    return std::abs(motionX) > width / 3 || std::abs(motionY) > height / 3;
}

int recentredOffset(int accumulated, bool recentering, int stepsLeft, double step)
{
    return recentering ? accumulated + roundHalfEven(stepsLeft * step) : accumulated;
}

}  // namespace regviafft

using regviafft::roundHalfEven;

int CRegViaFFT::Run(unsigned char* srcFrame, unsigned char* dstFrame, bool bypass)
{
    if (srcFrame == nullptr)
        return 0;
    // A null output buffer, or an object without a successful Create, refuses
    // the frame before anything is read or written.
    if (dstFrame == nullptr || !isCreated())
        return 0;
    if (bypass || (frameCount != 0 && templatesReady == 0)) {
        // memmove: a host that passes one buffer for both still gets its frame.
        std::memmove(dstFrame, srcFrame, regviafft::frameBytes(frameWidth, frameHeight));
        return 0;
    }

    regviafft::Measurement measurement(*this);
    measurement.loadFrame(
        {srcFrame, std::ptrdiff_t{frameWidth} * regviafft::kBytesPerPixel, regviafft::kBytesPerPixel});
    if (measurement.isFirstOfSequence()) {
        if (!measurement.placeTemplates())
            return 0;
    } else {
        regviafft::platform::pauseOneMillisecond();
        measurement.measureMotion();
        regviafft::platform::pauseOneMillisecond();
    }

    rejectImplausibleMotion();
    if (windowLength > 0)
        smoothCameraPath();
    handOverMotion();

    const regviafft::WholeOffset offset = regviafft::Measurement::designOffset(*this);
    regviafft::writeShiftedFrame(srcFrame, dstFrame, frameWidth, frameHeight, offset.x, offset.y);
    return 1;
}

void CRegViaFFT::extractShiftAmount()
{
    getPCResult_fft();
    getGMVwithScore(SCORE_COMBINED);
}

bool CRegViaFFT::isCreated() const
{
    if (grayImage == nullptr || reducedImage == nullptr || reducedPixels == nullptr ||
        gradientX == nullptr || gradientY == nullptr || pcSurface == nullptr ||
        fftInput == nullptr || crossPower == nullptr || fftOutput == nullptr ||
        pcOutput == nullptr || forwardHandle == nullptr || backwardHandle == nullptr ||
        lowPassKernel == nullptr || derivKernel == nullptr || dftStatus != 0)
        return false;
    if (windowLength > 0 && (historyX == nullptr || historyY == nullptr))
        return false;
    for (int k = 0; k < maxTemplates; ++k) {
        if (tmplGradX[k] == nullptr || tmplGradY[k] == nullptr || prevSpectrum[k] == nullptr ||
            pcSurface[k] == nullptr)
            return false;
    }
    return true;
}

void CRegViaFFT::rejectImplausibleMotion()
{
    if (regviafft::motionImplausible(gmvX, gmvY, frameWidth, frameHeight)) {
        gmvX = prevGmvX;
        gmvY = prevGmvY;
    }
}

void CRegViaFFT::smoothCameraPath()
{
    historyX[historyCount] = gmvX;
    historyY[historyCount] = gmvY;
    accumShiftX += gmvX;
    accumShiftY += gmvY;
    ++historyCount;
    ++trendCount;
    accumShiftSumX += accumShiftX;
    accumShiftSumY += accumShiftY;
    if (historyCount == windowLength)
        judgeWindow();
}

void CRegViaFFT::judgeWindow()
{
    int64_t sumX = 0;
    int64_t sumY = 0;
    for (int k = 0; k < historyCount; ++k) {
        sumX += historyX[k];
        sumY += historyY[k];
    }
    const int meanX = roundHalfEven(static_cast<double>(sumX) / historyCount);
    const int meanY = roundHalfEven(static_cast<double>(sumY) / historyCount);
    const int trendX = accumShiftSumX / trendCount;
    const int trendY = accumShiftSumY / trendCount;

    double deviation = 0.0;
    for (int k = 0; k < historyCount; ++k) {
        const int64_t dx = int64_t{historyX[k]} - meanX;
        const int64_t dy = int64_t{historyY[k]} - meanY;
        deviation = std::max(deviation, std::sqrt(static_cast<double>(dx * dx + dy * dy)));
    }

    if (deviation < steadyThreshold || std::abs(trendX) > frameWidth / 6 ||
        std::abs(trendY) > frameHeight / 6) {
        recentering = true;
        recenterStepX = static_cast<double>(accumShiftX) / windowLength;
        recenterStepY = static_cast<double>(accumShiftY) / windowLength;
        accumShiftX = 0;
        accumShiftY = 0;
    } else {
        recentering = false;
    }
    historyCount = 0;
    trendCount = 0;
    accumShiftSumX = 0;
    accumShiftSumY = 0;
}

void CRegViaFFT::handOverMotion()
{
    prevPreciseGmvX = preciseGmvX;
    prevPreciseGmvY = preciseGmvY;
    prevGmvX = gmvX;
    prevGmvY = gmvY;
    gmvX = accumShiftX;
    gmvY = accumShiftY;
    if (windowLength == 0)
        recentering = false;
}
