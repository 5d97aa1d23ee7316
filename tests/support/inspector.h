// Test-only access to the private state of CRegViaFFT, and refusal of its
// scratch allocations.
#ifndef REGVIAFFT_TEST_INSPECTOR_H
#define REGVIAFFT_TEST_INSPECTOR_H

#include <cstdlib>

#include "RegViaFFT.h"
#include "kernels.h"

// One accessor per private field, by reference, so a test can also set it.
#define FIELD(field) \
    static auto& field(CRegViaFFT& o) { return o.field; }

struct RegViaFFTInspector {
    // The smoothing window and frame count.
    FIELD(historyCount) FIELD(windowLength) FIELD(historyX) FIELD(historyY) FIELD(recenterStepY)
    FIELD(recentering) FIELD(frameCount)
    // Sizes at full and reduced resolution.
    FIELD(frameHeight) FIELD(reducedHeight) FIELD(reducedWidth) FIELD(reducedArea) FIELD(reducedMarginY)
    FIELD(reducedMarginX) FIELD(scale) FIELD(reducedTemplateHeight) FIELD(reducedTemplateWidth)
    FIELD(reducedTemplateArea)
    // Templates and the motion measured.
    FIELD(maxTemplates) FIELD(templateCount) FIELD(tmplPosX) FIELD(tmplPosY) FIELD(isFirstFrame)
    FIELD(pcResult) FIELD(gmvX) FIELD(gmvY) FIELD(prevGmvY) FIELD(accumShiftSumY) FIELD(prevPreciseGmvX)
    FIELD(prevPreciseGmvY) FIELD(preciseGmvX) FIELD(preciseGmvY)
    // Owned images, buffers, spectra and transform handles.
    FIELD(grayImage) FIELD(reducedImage) FIELD(reducedPixels) FIELD(pcSurface) FIELD(tmplGradY)
    FIELD(tmplGradX) FIELD(gradientX) FIELD(gradientY) FIELD(dftStatus) FIELD(prevSpectrum) FIELD(fftInput)
    FIELD(crossPower) FIELD(fftOutput) FIELD(pcOutput) FIELD(forwardHandle) FIELD(backwardHandle)
    FIELD(lowPassKernel) FIELD(derivKernel)

    // Private operations, reached by the tests of the group that defines them.
    // gradient.cpp, integral_image.cpp, template_placement.cpp
    static void getGradient(CRegViaFFT& o, unsigned char* image, float* gx, float* gy, int mode)
    {
        o.getGradient(image, gx, gy, mode);
    }
    static void conductAntiAliasingFilter(CRegViaFFT& o, unsigned char* src, unsigned char* dst)
    {
        o.conductAntiAliasingFilter(src, dst);
    }
    static void constructIntegralImage(CRegViaFFT& o, double* src, double* dst, int w, int h)
    {
        o.constructIntegralImage(src, dst, w, h, 0, w - 1, 0, h - 1);
    }
    static int setTemplatePosition(CRegViaFFT& o, _IplImage* image) { return o.setTemplatePosition(image); }
    // template_patch.cpp, phase_correlation.cpp, peak.cpp, motion_vector.cpp
    static void getPCResult_fft(CRegViaFFT& o) { o.getPCResult_fft(); }
    static void getGMVwithScore(CRegViaFFT& o) { o.getGMVwithScore(CRegViaFFT::SCORE_COMBINED); }
};

#undef FIELD

// Lets n scratch allocations through, then refuses every one until destroyed.
struct ScratchRefusal {
    static inline int left = 0;
    void* (*saved)(std::size_t) = regviafft::scratchAllocate;
    explicit ScratchRefusal(int n)
    {
        left = n;
        regviafft::scratchAllocate = [](std::size_t b) { return left-- > 0 ? std::malloc(b) : nullptr; };
    }
    ~ScratchRefusal() { regviafft::scratchAllocate = saved; }
};

#endif
