// Gradient-magnitude patches that the forward transform takes, and the two
// window-coefficient methods of the class interface.
#include <cmath>
#include <cstring>

#include <opencv2/core/core_c.h>

#include "RegViaFFT.h"
#include "kernels.h"

namespace regviafft {

void packRows(const uint8_t* src, int stride, int width, int height, uint8_t* dst)
{
    for (int r = 0; r < height; ++r)
        std::memcpy(dst + static_cast<size_t>(r) * width, src + static_cast<size_t>(r) * stride,
                    static_cast<size_t>(width));
}

void cutPatch(const float* image, int imageWidth, int top, int left, int height, int width,
              float* patch)
{
    for (int r = 0; r < height; ++r) {
        const float* row = image + static_cast<size_t>(top + r) * imageWidth + left;
        std::memcpy(patch + static_cast<size_t>(r) * width, row, sizeof(float) * width);
    }
}

void gradientMagnitudeInput(const float* gx, const float* gy, int count, _DFT_Complex16* dst)
{
    for (int i = 0; i < count; ++i) {
        // Summed in double so that a small component is not lost against a large one.
        dst[i].real = static_cast<double>(std::fabs(gx[i])) + static_cast<double>(std::fabs(gy[i]));
        dst[i].imag = 0.0;
    }
}

// 6.283184 is the short value of 2*pi these windows have always used, so the
// last coefficient is not exactly the textbook one.
constexpr double kWindowTwoPi = 6.283184;

double hanningCoefficient(int n, int length)
{
    return 0.5 * (1.0 - std::cos(kWindowTwoPi * n / (length - 1)));
}

double hammingCoefficient(int n, int length)
{
    return 0.54 - 0.46 * std::cos(kWindowTwoPi * n / (length - 1));
}

}  // namespace regviafft

void CRegViaFFT::saveTemplateData()
{
    const IplImage* image = reducedImage;
    regviafft::packRows(reinterpret_cast<const uint8_t*>(image->imageData), image->widthStep,
                        reducedWidth, reducedHeight, reducedPixels);
    getGradient(reducedPixels, gradientX, gradientY, 0);
    // No bounds check: placement keeps every template inside the reduced frame.
    for (int k = 0; k < templateCount; ++k) {
        regviafft::cutPatch(gradientX, reducedWidth, tmplPosY[k], tmplPosX[k],
                            reducedTemplateHeight, reducedTemplateWidth, tmplGradX[k]);
        regviafft::cutPatch(gradientY, reducedWidth, tmplPosY[k], tmplPosX[k],
                            reducedTemplateHeight, reducedTemplateWidth, tmplGradY[k]);
    }
}

void CRegViaFFT::convertDataForFft(float* gradX, float* gradY, float* /*unusedA*/,
                                   float* /*unusedB*/)
{
    regviafft::gradientMagnitudeInput(gradX, gradY, reducedTemplateArea, fftInput);
}

double CRegViaFFT::hanning(int n, int length)
{
    return regviafft::hanningCoefficient(n, length);
}

double CRegViaFFT::hamming(int n, int length)
{
    return regviafft::hammingCoefficient(n, length);
}
