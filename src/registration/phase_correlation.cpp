// Per-frame correlation driver: each template's patch is transformed, its
// normalised cross-power spectrum against the previous frame's spectrum is
// transformed back into a correlation surface, and the spectrum is kept.
#include <cmath>
#include <cstring>

#include "RegViaFFT.h"
#include "kernels.h"

namespace regviafft {

// Keeps a vanishing element small instead of dividing by zero.
constexpr double kCrossPowerFloor = 1e-7;

void normalisedCrossPower(const _DFT_Complex16* current, const _DFT_Complex16* previous,
                          int count, _DFT_Complex16* dst)
{
    for (int i = 0; i < count; ++i) {
        const _DFT_Complex16 a = current[i];
        const _DFT_Complex16 b = previous[i];
        dst[i].real = a.real * b.real + a.imag * b.imag;
        dst[i].imag = a.imag * b.real - a.real * b.imag;
        const double magnitude = std::sqrt(dst[i].real * dst[i].real + dst[i].imag * dst[i].imag);
        const double divisor = magnitude >= kCrossPowerFloor ? magnitude : kCrossPowerFloor;
        dst[i].real /= divisor;
        dst[i].imag /= divisor;
    }
}

void scaleRealParts(_DFT_Complex16* data, int count, double divisor)
{
    for (int i = 0; i < count; ++i)
        data[i].real /= divisor;
}

void copyRealParts(const _DFT_Complex16* src, int count, double* dst)
{
    for (int i = 0; i < count; ++i)
        dst[i] = src[i].real;
}

}  // namespace regviafft

// Transform statuses are not examined: both descriptors were committed in
// Create for exactly these buffers and sizes.
void CRegViaFFT::getPCResult_fft()
{
    saveTemplateData();
    const size_t spectrumBytes = sizeof(_DFT_Complex16) * static_cast<size_t>(reducedTemplateArea);
    for (int k = 0; k < templateCount; ++k) {
        convertDataForFft(tmplGradX[k], tmplGradY[k], nullptr, nullptr);
        DftComputeForward(forwardHandle, fftInput, fftOutput);
        // The first frame only seeds the reference spectra.
        if (isFirstFrame == 0) {
            getNormaliseCrossPowerSpectrum_fft(fftOutput, prevSpectrum[k]);
            regviafft::copyRealParts(pcOutput, reducedTemplateArea, pcSurface[k]);
        }
        std::memcpy(prevSpectrum[k], fftOutput, spectrumBytes);
    }
}

void CRegViaFFT::getNormaliseCrossPowerSpectrum_fft(_DFT_Complex16* current,
                                                    _DFT_Complex16* previous)
{
    regviafft::normalisedCrossPower(current, previous, reducedTemplateArea, crossPower);
    DftComputeBackward(backwardHandle, crossPower, pcOutput);
    // The backward transform is unscaled.
    const int elements = reducedTemplateHeight * reducedTemplateWidth;
    regviafft::scaleRealParts(pcOutput, reducedTemplateArea, static_cast<double>(elements));
}
