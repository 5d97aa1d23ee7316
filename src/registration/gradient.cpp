// Gradient filters of the reduced frame and the Hamming weighting of a patch.
#include <cstdlib>
#include <cstring>

#include <opencv2/core/core_c.h>
#include <opencv2/imgproc/imgproc_c.h>

#include "RegViaFFT.h"
#include "kernels.h"

namespace regviafft {

namespace {

void* systemAllocate(std::size_t bytes) { return std::malloc(bytes); }

float* floatRow(IplImage* image, int y)
{
    char* line = image->imageData + static_cast<std::size_t>(y) * image->widthStep;
    return reinterpret_cast<float*>(line);
}

void floatImageToArray(IplImage* image, float* out)
{
    const std::size_t rowBytes = static_cast<std::size_t>(image->width) * sizeof(float);
    for (int y = 0; y < image->height; ++y)
        std::memcpy(out + static_cast<std::size_t>(y) * image->width, floatRow(image, y), rowBytes);
}

}  // namespace

void* (*scratchAllocate)(std::size_t bytes) = systemAllocate;

_IplImage* createFloatImage(int width, int height)
{
    // Header and pixels in one malloc'd block rather than the image library's
    // own allocation, which reports failure by throwing.
    const std::size_t headerBytes = (sizeof(IplImage) + 15) & ~static_cast<std::size_t>(15);
    const std::size_t pixelBytes =
        static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * sizeof(float);
    char* block = static_cast<char*>(scratchAllocate(headerBytes + pixelBytes));
    if (block == nullptr)
        return nullptr;
    IplImage* image = reinterpret_cast<IplImage*>(block);
    cvInitImageHeader(image, cvSize(width, height), IPL_DEPTH_32F, 1, IPL_ORIGIN_TL, 4);
    image->imageData = block + headerBytes;
    image->imageDataOrigin = image->imageData;
    return image;
}

void releaseFloatImage(_IplImage** image)
{
    std::free(*image);
    *image = nullptr;
}

void bytesToFloatImage(const uint8_t* pixels, int stride, _IplImage* image)
{
    for (int y = 0; y < image->height; ++y) {
        const uint8_t* in = pixels + static_cast<std::size_t>(y) * stride;
        float* out = floatRow(image, y);
        for (int x = 0; x < image->width; ++x)
            out[x] = static_cast<float>(in[x]);
    }
}

int mirrorIndex(int i, int n)
{
    // A single sample is its own mirror, so a one-pixel axis has derivative 0.
    if (n == 1)
        return 0;
    if (i > n - 1)
        return 2 * (n - 1) - i;
    if (i < 0)
        return -i;
    return i;
}

void centralGradient(const uint8_t* image, int width, int height, float* gradX, float* gradY)
{
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = image + static_cast<std::size_t>(y) * width;
        float* out = gradX + static_cast<std::size_t>(y) * width;
        for (int x = 0; x < width; ++x)
            out[x] = static_cast<float>(row[mirrorIndex(x + 1, width)]) -
                     static_cast<float>(row[mirrorIndex(x - 1, width)]);
    }
    for (int y = 0; y < height; ++y) {
        const uint8_t* below = image + static_cast<std::size_t>(mirrorIndex(y + 1, height)) * width;
        const uint8_t* above = image + static_cast<std::size_t>(mirrorIndex(y - 1, height)) * width;
        float* out = gradY + static_cast<std::size_t>(y) * width;
        for (int x = 0; x < width; ++x)
            out[x] = static_cast<float>(below[x]) - static_cast<float>(above[x]);
    }
}

void smoothedDerivatives(const _IplImage* source, _IplImage* dx, _IplImage* dy,
                         double* lowPassKernel, double* derivKernel)
{
    // Headers over the five taps themselves: a column steps 8 bytes, a row 40.
    CvMat lowPassColumn = cvMat(5, 1, CV_64FC1, lowPassKernel);
    CvMat derivRow = cvMat(1, 5, CV_64FC1, derivKernel);
    CvMat derivColumn = cvMat(5, 1, CV_64FC1, derivKernel);
    CvMat lowPassRow = cvMat(1, 5, CV_64FC1, lowPassKernel);
    const CvPoint centreTap = cvPoint(-1, -1);
    cvFilter2D(source, dx, &lowPassColumn, centreTap);
    cvFilter2D(dx, dx, &derivRow, centreTap);
    cvFilter2D(source, dy, &derivColumn, centreTap);
    cvFilter2D(dy, dy, &lowPassRow, centreTap);
}

void smoothedGradient(const uint8_t* image, int width, int height, double* lowPassKernel,
                      double* derivKernel, float* gradX, float* gradY)
{
    if (width <= 0 || height <= 0)
        return;
    IplImage* source = createFloatImage(width, height);
    IplImage* dx = createFloatImage(width, height);
    IplImage* dy = createFloatImage(width, height);
    // Unlike the plain image creation, a missing workspace is caught here and
    // leaves the outputs as they were.
    if (source != nullptr && dx != nullptr && dy != nullptr) {
        bytesToFloatImage(image, width, source);
        smoothedDerivatives(source, dx, dy, lowPassKernel, derivKernel);
        floatImageToArray(dx, gradX);
        floatImageToArray(dy, gradY);
    }
    releaseFloatImage(&source);
    releaseFloatImage(&dx);
    releaseFloatImage(&dy);
}

double hammingWeight(int i, int n)
{
    // 6.283184 and the divisor n (a periodic window) are part of the contract.
    return 0.54 - 0.46 * std::cos(i * 6.283184 / n);
}

void hammingWeighting(const uint8_t* src, uint8_t* dst, int width, int height)
{
    // Each pass reads a pixel just before writing the same index, so dst may be
    // src. The column pass is cut to 8 bits before the row pass sees it.
    for (int c = 0; c < width; ++c) {
        const double w = hammingWeight(c, width);
        for (int r = 0; r < height; ++r) {
            const std::size_t i = static_cast<std::size_t>(r) * width + c;
            dst[i] = static_cast<uint8_t>(roundHalfEven(src[i] * w));
        }
    }
    for (int r = 0; r < height; ++r) {
        const double w = hammingWeight(r, height);
        uint8_t* row = dst + static_cast<std::size_t>(r) * width;
        for (int c = 0; c < width; ++c)
            row[c] = static_cast<uint8_t>(roundHalfEven(row[c] * w));
    }
}

}  // namespace regviafft

void CRegViaFFT::getGradient(unsigned char* image, float* gradX, float* gradY, int mode)
{
    if (mode == 0)
        regviafft::centralGradient(image, reducedWidth, reducedHeight, gradX, gradY);
    else if (mode == 1)
        regviafft::smoothedGradient(image, reducedWidth, reducedHeight, lowPassKernel, derivKernel,
                                    gradX, gradY);
}

void CRegViaFFT::conductAntiAliasingFilter(unsigned char* src, unsigned char* dst)
{
    regviafft::hammingWeighting(src, dst, reducedTemplateWidth, reducedTemplateHeight);
}
