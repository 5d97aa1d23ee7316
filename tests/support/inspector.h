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
};

#undef REGVIAFFT_FIELD

#endif
