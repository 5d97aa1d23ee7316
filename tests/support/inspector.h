// Test-only access to the private state of CRegViaFFT, and refusal of its
// scratch allocations.
#ifndef REGVIAFFT_TEST_INSPECTOR_H
#define REGVIAFFT_TEST_INSPECTOR_H

#include <cstdlib>

#include "RegViaFFT.h"
#include "kernels.h"

// Private members are reached from here, without a hook in the class: an
// explicit instantiation may name a private member (access is not checked
// there), and the friend function it defines hands out the member pointer.
namespace inspector_access {
template <typename Tag, typename Tag::Pointer Member>
struct Expose {
    friend typename Tag::Pointer pointerTo(Tag) { return Member; }
};
template <typename T>
using Field = T CRegViaFFT::*;
}  // namespace inspector_access

#define REGVIAFFT_EXPOSE(pointer, name)                   \
    namespace inspector_access {                          \
    struct name {                                         \
        using Pointer = pointer;                          \
        friend Pointer pointerTo(name);                   \
    };                                                    \
    template struct Expose<name, &CRegViaFFT::name>;      \
    }
#define REGVIAFFT_EXPOSE_FIELD(type, name) REGVIAFFT_EXPOSE(Field<type>, name)
#define REGVIAFFT_FIELD_ACCESSOR(type, name) \
    static auto& name(CRegViaFFT& o) { return o.*pointerTo(inspector_access::name{}); }

// The fields the tests read or set, by type.
#define REGVIAFFT_INSPECTED_FIELDS(X)                                                                 \
    /* The smoothing window and frame count. */                                                       \
    X(int, historyCount) X(int, windowLength) X(int*, historyX) X(int*, historyY)                     \
    X(double, recenterStepY) X(bool, recentering) X(int, frameCount)                                  \
    /* Sizes at full and reduced resolution. */                                                       \
    X(int, frameHeight) X(int, reducedHeight) X(int, reducedWidth) X(int, reducedArea)                \
    X(int, reducedMarginY) X(int, reducedMarginX) X(double, scale) X(int, reducedTemplateHeight)      \
    X(int, reducedTemplateWidth) X(int, reducedTemplateArea)                                          \
    /* Templates and the motion measured. */                                                          \
    X(int, maxTemplates) X(int, templateCount) X(int[10], tmplPosX) X(int[10], tmplPosY)              \
    X(int, isFirstFrame) X(CRegViaFFT::_pcResult[10], pcResult) X(int, gmvX) X(int, gmvY)             \
    X(int, prevGmvY) X(int, accumShiftSumY) X(double, prevPreciseGmvX) X(double, prevPreciseGmvY)     \
    X(double, preciseGmvX) X(double, preciseGmvY)                                                     \
    /* Owned images, buffers, spectra and transform handles. */                                       \
    X(_IplImage*, grayImage) X(_IplImage*, reducedImage) X(unsigned char*, reducedPixels)             \
    X(double**, pcSurface) X(float* [10], tmplGradY) X(float* [10], tmplGradX) X(float*, gradientX)   \
    X(float*, gradientY) X(int, dftStatus) X(_DFT_Complex16* [10], prevSpectrum)                      \
    X(_DFT_Complex16*, fftInput) X(_DFT_Complex16*, crossPower) X(_DFT_Complex16*, fftOutput)         \
    X(_DFT_Complex16*, pcOutput) X(DFT_DESCRIPTOR_HANDLE, forwardHandle)                              \
    X(DFT_DESCRIPTOR_HANDLE, backwardHandle) X(double*, lowPassKernel) X(double*, derivKernel)

REGVIAFFT_INSPECTED_FIELDS(REGVIAFFT_EXPOSE_FIELD)
// Private operations, reached by the tests of the group that defines them.
REGVIAFFT_EXPOSE(void (CRegViaFFT::*)(unsigned char*, float*, float*, int), getGradient)
REGVIAFFT_EXPOSE(void (CRegViaFFT::*)(unsigned char*, unsigned char*), conductAntiAliasingFilter)
REGVIAFFT_EXPOSE(void (CRegViaFFT::*)(double*, double*, int, int, int, int, int, int),
                 constructIntegralImage)
REGVIAFFT_EXPOSE(int (CRegViaFFT::*)(_IplImage*), setTemplatePosition)
REGVIAFFT_EXPOSE(void (CRegViaFFT::*)(), getPCResult_fft)
REGVIAFFT_EXPOSE(void (CRegViaFFT::*)(CRegViaFFT::SCORE_TYPE), getGMVwithScore)

// One accessor per field, by reference, so a test can also set it.
struct RegViaFFTInspector {
    REGVIAFFT_INSPECTED_FIELDS(REGVIAFFT_FIELD_ACCESSOR)

    template <typename Operation, typename... Arguments>
    static auto call(CRegViaFFT& o, Arguments... arguments)
    {
        return (o.*pointerTo(Operation{}))(arguments...);
    }
    static void getGradient(CRegViaFFT& o, unsigned char* image, float* gx, float* gy, int mode)
    {
        call<inspector_access::getGradient>(o, image, gx, gy, mode);
    }
    static void conductAntiAliasingFilter(CRegViaFFT& o, unsigned char* src, unsigned char* dst)
    {
        call<inspector_access::conductAntiAliasingFilter>(o, src, dst);
    }
    static void constructIntegralImage(CRegViaFFT& o, double* src, double* dst, int w, int h)
    {
        call<inspector_access::constructIntegralImage>(o, src, dst, w, h, 0, w - 1, 0, h - 1);
    }
    static int setTemplatePosition(CRegViaFFT& o, _IplImage* image)
    {
        return call<inspector_access::setTemplatePosition>(o, image);
    }
    static void getPCResult_fft(CRegViaFFT& o) { call<inspector_access::getPCResult_fft>(o); }
    static void getGMVwithScore(CRegViaFFT& o)
    {
        call<inspector_access::getGMVwithScore>(o, CRegViaFFT::SCORE_COMBINED);
    }
};

#undef REGVIAFFT_INSPECTED_FIELDS
#undef REGVIAFFT_FIELD_ACCESSOR
#undef REGVIAFFT_EXPOSE_FIELD
#undef REGVIAFFT_EXPOSE

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
