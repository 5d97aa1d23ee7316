// Test-only access to the private state of CRegViaFFT, and refusal of its
// scratch allocations.
#ifndef REGVIAFFT_TEST_INSPECTOR_H
#define REGVIAFFT_TEST_INSPECTOR_H

#include <cstdlib>

#include "RegViaFFT.h"
#include "kernels.h"

#define REGVIAFFT_FIELD(field) \
    static auto& field(CRegViaFFT& o) { return o.field; }

struct RegViaFFTInspector {
    REGVIAFFT_FIELD(historyCount)
    REGVIAFFT_FIELD(windowLength)
    REGVIAFFT_FIELD(historyX)
    REGVIAFFT_FIELD(historyY)
    REGVIAFFT_FIELD(recenterStepY)
    REGVIAFFT_FIELD(recentering)
    REGVIAFFT_FIELD(frameCount)
    REGVIAFFT_FIELD(grayImage)
    REGVIAFFT_FIELD(reducedImage)
    REGVIAFFT_FIELD(reducedPixels)
    REGVIAFFT_FIELD(pcSurface)
    REGVIAFFT_FIELD(frameHeight)
    REGVIAFFT_FIELD(reducedHeight)
    REGVIAFFT_FIELD(reducedWidth)
    REGVIAFFT_FIELD(reducedArea)
    REGVIAFFT_FIELD(reducedMarginY)
    REGVIAFFT_FIELD(reducedMarginX)
    REGVIAFFT_FIELD(scale)
    REGVIAFFT_FIELD(reducedTemplateHeight)
    REGVIAFFT_FIELD(reducedTemplateWidth)
    REGVIAFFT_FIELD(reducedTemplateArea)
    REGVIAFFT_FIELD(maxTemplates)
    REGVIAFFT_FIELD(templateCount)
    REGVIAFFT_FIELD(gmvX)
    REGVIAFFT_FIELD(gmvY)
    REGVIAFFT_FIELD(prevGmvY)
    REGVIAFFT_FIELD(accumShiftSumY)
    REGVIAFFT_FIELD(tmplPosX)
    REGVIAFFT_FIELD(tmplPosY)
    REGVIAFFT_FIELD(isFirstFrame)
    REGVIAFFT_FIELD(pcResult)
    REGVIAFFT_FIELD(tmplGradY)
    REGVIAFFT_FIELD(tmplGradX)
    REGVIAFFT_FIELD(gradientX)
    REGVIAFFT_FIELD(gradientY)
    REGVIAFFT_FIELD(prevPreciseGmvX)
    REGVIAFFT_FIELD(prevPreciseGmvY)
    REGVIAFFT_FIELD(preciseGmvX)
    REGVIAFFT_FIELD(preciseGmvY)
    REGVIAFFT_FIELD(dftStatus)
    REGVIAFFT_FIELD(prevSpectrum)
    REGVIAFFT_FIELD(fftInput)
    REGVIAFFT_FIELD(crossPower)
    REGVIAFFT_FIELD(fftOutput)
    REGVIAFFT_FIELD(pcOutput)
    REGVIAFFT_FIELD(forwardHandle)
    REGVIAFFT_FIELD(backwardHandle)
    REGVIAFFT_FIELD(lowPassKernel)
    REGVIAFFT_FIELD(derivKernel)

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

#undef REGVIAFFT_FIELD

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
