// Test-only access to the private state of CRegViaFFT.
#ifndef REGVIAFFT_TEST_INSPECTOR_H
#define REGVIAFFT_TEST_INSPECTOR_H

#include "RegViaFFT.h"

#define REGVIAFFT_FIELD(field) \
    static auto& field(CRegViaFFT& o) { return o.field; }

struct RegViaFFTInspector {
    REGVIAFFT_FIELD(historyCount)
    REGVIAFFT_FIELD(trendCount)
    REGVIAFFT_FIELD(windowLength)
    REGVIAFFT_FIELD(steadyThreshold)
    REGVIAFFT_FIELD(historyX)
    REGVIAFFT_FIELD(historyY)
    REGVIAFFT_FIELD(recenterStepX)
    REGVIAFFT_FIELD(recenterStepY)
    REGVIAFFT_FIELD(recentering)
    REGVIAFFT_FIELD(marginY)
    REGVIAFFT_FIELD(marginX)
    REGVIAFFT_FIELD(frameCount)
    REGVIAFFT_FIELD(grayImage)
    REGVIAFFT_FIELD(reducedImage)
    REGVIAFFT_FIELD(reducedPixels)
    REGVIAFFT_FIELD(pcSurface)
    REGVIAFFT_FIELD(frameHeight)
    REGVIAFFT_FIELD(frameWidth)
    REGVIAFFT_FIELD(reducedHeight)
    REGVIAFFT_FIELD(reducedWidth)
    REGVIAFFT_FIELD(reducedArea)
    REGVIAFFT_FIELD(reducedMarginY)
    REGVIAFFT_FIELD(reducedMarginX)
    REGVIAFFT_FIELD(templateHeight)
    REGVIAFFT_FIELD(templateWidth)
    REGVIAFFT_FIELD(scale)
    REGVIAFFT_FIELD(reducedTemplateHeight)
    REGVIAFFT_FIELD(reducedTemplateWidth)
    REGVIAFFT_FIELD(reducedTemplateArea)
    REGVIAFFT_FIELD(maxTemplates)
    REGVIAFFT_FIELD(templateCount)
    REGVIAFFT_FIELD(gmvX)
    REGVIAFFT_FIELD(gmvY)
    REGVIAFFT_FIELD(prevGmvX)
    REGVIAFFT_FIELD(prevGmvY)
    REGVIAFFT_FIELD(accumShiftX)
    REGVIAFFT_FIELD(accumShiftY)
    REGVIAFFT_FIELD(accumShiftSumX)
    REGVIAFFT_FIELD(accumShiftSumY)
    REGVIAFFT_FIELD(tmplPosX)
    REGVIAFFT_FIELD(tmplPosY)
    REGVIAFFT_FIELD(isFirstFrame)
    REGVIAFFT_FIELD(templatesReady)
    REGVIAFFT_FIELD(pcResult)
    REGVIAFFT_FIELD(pcResultWork)
    REGVIAFFT_FIELD(tmplGradY)
    REGVIAFFT_FIELD(tmplGradX)
    REGVIAFFT_FIELD(gradientX)
    REGVIAFFT_FIELD(gradientY)
    REGVIAFFT_FIELD(prevPreciseGmvX)
    REGVIAFFT_FIELD(prevPreciseGmvY)
    REGVIAFFT_FIELD(preciseGmvX)
    REGVIAFFT_FIELD(preciseGmvY)
    REGVIAFFT_FIELD(dftPrecision)
    REGVIAFFT_FIELD(dftStatus)
    REGVIAFFT_FIELD(dftLengths)
    REGVIAFFT_FIELD(dftInStrides)
    REGVIAFFT_FIELD(dftOutStrides)
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
    // object.cpp
    static int allocateImages(CRegViaFFT& o, int w, int h) { return o.allocateImages(w, h); }
    static bool deallocateImages(CRegViaFFT& o) { return o.deallocateImages(); }
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
    static void getNormaliseCrossPowerSpectrum_fft(CRegViaFFT& o, _DFT_Complex16* current,
                                                   _DFT_Complex16* previous)
    {
        o.getNormaliseCrossPowerSpectrum_fft(current, previous);
    }
    static void getGMVwithScore(CRegViaFFT& o) { o.getGMVwithScore(CRegViaFFT::SCORE_COMBINED); }
};

#undef REGVIAFFT_FIELD

#endif
