// The registration object's lifecycle: construction, Create and its parameter
// rules, Release, deep copy, and the working buffers and transform descriptors
// that the object owns from Create until Release.
#include <opencv2/core/core_c.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>

#include "RegViaFFT.h"
#include "dft.h"
#include "kernels.h"
#include "regviafft/limits.h"

namespace {

constexpr int kTemplateSlots = 10;
constexpr int kKernelTaps = 5;
// The 5-tap matched prefilter and derivative pair of Farid and Simoncelli, to
// six decimals; the gradient filters and template placement apply them.
constexpr double kLowPassTaps[kKernelTaps] = {0.037659, 0.249153, 0.426375, 0.249153, 0.037659};
constexpr double kDerivTaps[kKernelTaps] = {-0.109604, -0.276691, 0.0, 0.276691, 0.109604};

// Largest integer not above value * scale, found from the nearest integer, so
// a product just below a whole number (49 * (1.0 / 49)) floors to the one below.
int floorOfScaled(int value, double scale)
{
    const double product = value * scale;
    const int nearest = regviafft::roundHalfEven(product);
    return nearest > product ? nearest - 1 : nearest;
}

bool parametersValid(int frameHeight, int frameWidth, int templateHeight, int templateWidth,
                     int maxTemplates, int reductionDivisor, int marginY, int marginX,
                     int windowLength, double steadyThreshold)
{
    if (frameHeight < 0 || frameWidth < 0 || templateHeight < 0 || templateWidth < 0)
        return false;
    if (templateHeight > frameHeight || templateWidth > frameWidth)
        return false;
    if (maxTemplates < 1 || maxTemplates > kTemplateSlots)
        return false;
    if (reductionDivisor < 1)
        return false;
    if (marginX < 0 || marginY < 0)
        return false;
    // 64-bit sums: a huge margin must fail this rule, not wrap around it.
    if (int64_t{templateHeight} + 2 * int64_t{marginY} > frameHeight ||
        int64_t{templateWidth} + 2 * int64_t{marginX} > frameWidth)
        return false;
    if (windowLength < 0)
        return false;
    if (steadyThreshold < 0.0)  // -0.0 and NaN pass
        return false;
    // Sizes the library serves at all (regviafft/limits.h), refused before
    // anything is allocated rather than reserved and touched later.
    if (frameHeight > regviafft::kMaxFrameSide || frameWidth > regviafft::kMaxFrameSide ||
        windowLength > regviafft::kMaxWindowLength)
        return false;
    const double scale = 1.0 / reductionDivisor;
    return floorOfScaled(templateHeight, scale) <= regviafft::kMaxTemplateSide &&
           floorOfScaled(templateWidth, scale) <= regviafft::kMaxTemplateSide;
}

// Sizes whose element count does not fit an int are marked -1 here and
// refused by the allocation, so no later index arithmetic can overflow.
int areaOf(int rows, int columns)
{
    const int64_t area = int64_t{rows} * columns;
    return area <= INT_MAX ? static_cast<int>(area) : -1;
}

// The image library computes a row's bit count and the image's byte count in
// int and reports an overflow by exception, so such sizes are refused first.
bool imageSizeFits(int width, int height)
{
    if (width > (INT_MAX - 7) / 8)
        return false;
    const int64_t rowBytes = (int64_t{width} + 3) & ~int64_t{3};
    return rowBytes * height <= INT_MAX;
}

// Each allocator does nothing once an earlier one failed, so the first
// failure ends the allocation and leaves every later pointer null.
template <typename T>
T* allocateBlock(int count, bool& ok)
{
    if (!ok || count < 0) {
        ok = false;
        return nullptr;
    }
    // Never a zero-byte request: an empty block is a valid pointer, and null
    // always means failure.
    const size_t bytes = std::max<size_t>(static_cast<size_t>(count) * sizeof(T), 1);
    T* block = static_cast<T*>(std::malloc(bytes));
    ok = block != nullptr;
    return block;
}

template <typename T>
T* allocateArray(int count, bool& ok)
{
    if (!ok || count < 0) {
        ok = false;
        return nullptr;
    }
    T* array = new (std::nothrow) T[count];
    ok = array != nullptr;
    return array;
}

// cvCreateImage in two steps: the image library reports a failed allocation
// by exception, and its own cvCreateImage would lose the header when the
// data cannot be had. Here either fails into a null image, and nothing leaks.
IplImage* createImage(int width, int height, bool& ok)
{
    if (!ok)
        return nullptr;
    IplImage* image = nullptr;
    try {
        image = cvCreateImageHeader(cvSize(width, height), IPL_DEPTH_8U, 1);
        cvCreateData(image);
    } catch (const std::exception&) {
        cvReleaseImageHeader(&image);
    }
    ok = image != nullptr;
    return image;
}

template <typename T>
void copyElements(T* dst, const T* src, int count)
{
    if (dst != nullptr && src != nullptr && count > 0)
        std::memcpy(dst, src, static_cast<size_t>(count) * sizeof(T));
}

void copyImage(IplImage* dst, const IplImage* src)
{
    if (dst != nullptr && src != nullptr && dst->imageSize == src->imageSize)
        std::memcpy(dst->imageData, src->imageData, static_cast<size_t>(src->imageSize));
}

template <typename T>
void freeBlock(T*& block)
{
    std::free(block);
    block = nullptr;
}

template <typename T>
void freeArray(T*& array)
{
    delete[] array;
    array = nullptr;
}

}  // namespace

namespace regviafft {
namespace {

int32_t createDescriptor(DFT_DESCRIPTOR_HANDLE* handle, int32_t precision, const int32_t* lengths)
{
    switch (precision) {
    case DFT_SINGLE:
        return DftCreateDescriptor_s_md(handle, DFT_COMPLEX, 2, lengths);
    case DFT_DOUBLE:
        return DftCreateDescriptor_d_md(handle, DFT_COMPLEX, 2, lengths);
    default:
        return DftCreateDescriptor(handle, precision, DFT_COMPLEX, 2, lengths);
    }
}

}  // namespace

// Every call runs whatever the earlier ones returned, and the sum of their
// statuses is the result.
int32_t buildPlan(DFT_DESCRIPTOR_HANDLE* handle, int32_t precision, const int32_t* lengths,
                  const int32_t* inStrides, const int32_t* outStrides)
{
    int32_t status = createDescriptor(handle, precision, lengths);
    status += DftSetValue(*handle, DFT_PLACEMENT, static_cast<int32_t>(DFT_NOT_INPLACE));
    status += DftSetValue(*handle, DFT_INPUT_STRIDES, inStrides);
    status += DftSetValue(*handle, DFT_OUTPUT_STRIDES, outStrides);
    status += DftCommitDescriptor(*handle);
    return status;
}

bool freePlan(DFT_DESCRIPTOR_HANDLE& handle)
{
    if (handle == nullptr)
        return true;
    DftFreeDescriptor(&handle);
    return handle == nullptr;
}

}  // namespace regviafft

CRegViaFFT::CRegViaFFT()
    : historyCount(0), trendCount(0), windowLength(30), steadyThreshold(1.0),
      historyX(nullptr), historyY(nullptr), recenterStepX(0.0), recenterStepY(0.0),
      recentering(false), marginY(0), marginX(0), frameCount(0),
      grayImage(nullptr), reducedImage(nullptr), reducedPixels(nullptr), pcSurface(nullptr),
      frameHeight(0), frameWidth(0), reducedHeight(0), reducedWidth(0), reducedArea(0),
      reducedMarginY(0), reducedMarginX(0), templateHeight(0), templateWidth(0),
      scale(1.0),  // full resolution until Create says otherwise
      reducedTemplateHeight(0), reducedTemplateWidth(0), reducedTemplateArea(0),
      maxTemplates(0), templateCount(0), gmvX(0), gmvY(0), prevGmvX(0), prevGmvY(0),
      accumShiftX(0), accumShiftY(0), accumShiftSumX(0), accumShiftSumY(0),
      tmplPosX(), tmplPosY(), isFirstFrame(0), templatesReady(0), pcResult(), pcResultWork(),
      tmplGradY(), tmplGradX(), gradientX(nullptr), gradientY(nullptr),
      prevPreciseGmvX(0.0), prevPreciseGmvY(0.0), preciseGmvX(0.0), preciseGmvY(0.0),
      dftPrecision(0), dftStatus(0), dftLengths(), dftInStrides(), dftOutStrides(),
      prevSpectrum(), fftInput(nullptr), crossPower(nullptr), fftOutput(nullptr),
      pcOutput(nullptr), forwardHandle(nullptr), backwardHandle(nullptr),
      lowPassKernel(nullptr), derivKernel(nullptr)
{
    std::fill(tmplPosX, tmplPosX + kTemplateSlots, -1);
    std::fill(tmplPosY, tmplPosY + kTemplateSlots, -1);
}

CRegViaFFT::~CRegViaFFT()
{
    deallocateImages();
}

int CRegViaFFT::Create(int frameHeight, int frameWidth, int templateHeight, int templateWidth,
                       int maxTemplates, int reductionDivisor, int marginY, int marginX,
                       int windowLength, double steadyThreshold)
{
    if (!parametersValid(frameHeight, frameWidth, templateHeight, templateWidth, maxTemplates,
                         reductionDivisor, marginY, marginX, windowLength, steadyThreshold))
        return 0;
    // Create on a created object starts afresh: what it holds is released
    // first, so nothing leaks; a descriptor the engine cannot free stops here.
    if (!deallocateImages())
        return 0;

    this->frameHeight = frameHeight;
    this->frameWidth = frameWidth;
    this->templateHeight = templateHeight;
    this->templateWidth = templateWidth;
    this->maxTemplates = maxTemplates;
    this->templateCount = maxTemplates;
    this->marginY = marginY;
    this->marginX = marginX;
    this->windowLength = windowLength;
    this->steadyThreshold = steadyThreshold;
    scale = 1.0 / reductionDivisor;

    bool kernelsOk = true;
    lowPassKernel = allocateArray<double>(kKernelTaps, kernelsOk);
    derivKernel = allocateArray<double>(kKernelTaps, kernelsOk);
    if (kernelsOk) {
        std::copy(kLowPassTaps, kLowPassTaps + kKernelTaps, lowPassKernel);
        std::copy(kDerivTaps, kDerivTaps + kKernelTaps, derivKernel);
    }

    deriveReducedSizes(reductionDivisor);
    resetMotionState();
    const int allocated = allocateImages(this->frameWidth, this->frameHeight);
    return allocated == 1 && kernelsOk ? 1 : 0;
}

void CRegViaFFT::deriveReducedSizes(int reductionDivisor)
{
    if (reductionDivisor == 1) {
        reducedHeight = frameHeight;
        reducedWidth = frameWidth;
        reducedTemplateHeight = templateHeight;
        reducedTemplateWidth = templateWidth;
        reducedMarginY = marginY;
        reducedMarginX = marginX;
    } else {
        reducedHeight = floorOfScaled(frameHeight, scale);
        reducedWidth = floorOfScaled(frameWidth, scale);
        reducedTemplateHeight = floorOfScaled(templateHeight, scale);
        reducedTemplateWidth = floorOfScaled(templateWidth, scale);
        reducedMarginY = regviafft::roundHalfEven(marginY * scale);
        reducedMarginX = regviafft::roundHalfEven(marginX * scale);
    }
    reducedTemplateArea = areaOf(reducedTemplateHeight, reducedTemplateWidth);
    reducedArea = areaOf(reducedHeight, reducedWidth);
}

void CRegViaFFT::resetMotionState()
{
    prevPreciseGmvX = prevPreciseGmvY = 0.0;
    preciseGmvX = preciseGmvY = 0.0;
    recenterStepX = recenterStepY = 0.0;
    gmvX = gmvY = prevGmvX = prevGmvY = 0;
    accumShiftX = accumShiftY = accumShiftSumX = accumShiftSumY = 0;
    historyCount = trendCount = frameCount = templatesReady = 0;
    recentering = true;
}

int CRegViaFFT::Release()
{
    return deallocateImages() ? 1 : 0;
}

CRegViaFFT& CRegViaFFT::operator=(const CRegViaFFT& other)
{
    if (this == &other)
        return *this;
    // A target holding a descriptor the engine cannot free keeps its state
    // rather than lose track of it.
    if (!deallocateImages())
        return *this;
    copyStateFrom(other);
    // A source that owns nothing (never created, or released) gives a copy
    // that owns nothing either.
    if (other.lowPassKernel == nullptr && other.derivKernel == nullptr)
        return *this;
    // Any failed allocation leaves the copy released, its fields those of the
    // source.
    if (!copyOwnedFrom(other))
        deallocateImages();
    return *this;
}

void CRegViaFFT::copyStateFrom(const CRegViaFFT& o)
{
    historyCount = o.historyCount;
    trendCount = o.trendCount;
    windowLength = o.windowLength;
    steadyThreshold = o.steadyThreshold;
    recenterStepX = o.recenterStepX;
    recenterStepY = o.recenterStepY;
    recentering = o.recentering;
    marginY = o.marginY;
    marginX = o.marginX;
    frameCount = o.frameCount;
    frameHeight = o.frameHeight;
    frameWidth = o.frameWidth;
    reducedHeight = o.reducedHeight;
    reducedWidth = o.reducedWidth;
    reducedArea = o.reducedArea;
    reducedMarginY = o.reducedMarginY;
    reducedMarginX = o.reducedMarginX;
    templateHeight = o.templateHeight;
    templateWidth = o.templateWidth;
    scale = o.scale;
    reducedTemplateHeight = o.reducedTemplateHeight;
    reducedTemplateWidth = o.reducedTemplateWidth;
    reducedTemplateArea = o.reducedTemplateArea;
    maxTemplates = o.maxTemplates;
    templateCount = o.templateCount;
    gmvX = o.gmvX;
    gmvY = o.gmvY;
    prevGmvX = o.prevGmvX;
    prevGmvY = o.prevGmvY;
    accumShiftX = o.accumShiftX;
    accumShiftY = o.accumShiftY;
    accumShiftSumX = o.accumShiftSumX;
    accumShiftSumY = o.accumShiftSumY;
    std::copy(o.tmplPosX, o.tmplPosX + kTemplateSlots, tmplPosX);
    std::copy(o.tmplPosY, o.tmplPosY + kTemplateSlots, tmplPosY);
    isFirstFrame = o.isFirstFrame;
    templatesReady = o.templatesReady;
    std::copy(o.pcResult, o.pcResult + kTemplateSlots, pcResult);
    std::copy(o.pcResultWork, o.pcResultWork + kTemplateSlots, pcResultWork);
    prevPreciseGmvX = o.prevPreciseGmvX;
    prevPreciseGmvY = o.prevPreciseGmvY;
    preciseGmvX = o.preciseGmvX;
    preciseGmvY = o.preciseGmvY;
    dftPrecision = o.dftPrecision;
    dftStatus = o.dftStatus;
    std::copy(o.dftLengths, o.dftLengths + 2, dftLengths);
    std::copy(o.dftInStrides, o.dftInStrides + 3, dftInStrides);
    std::copy(o.dftOutStrides, o.dftOutStrides + 3, dftOutStrides);
}

// Builds this object's own kernels, buffers and descriptors for the
// configuration already copied from other, then copies other's contents.
bool CRegViaFFT::copyOwnedFrom(const CRegViaFFT& other)
{
    bool ok = true;
    lowPassKernel = allocateArray<double>(kKernelTaps, ok);
    derivKernel = allocateArray<double>(kKernelTaps, ok);
    if (!ok || allocateImages(frameWidth, frameHeight) == 0)
        return false;
    copyElements(lowPassKernel, other.lowPassKernel, kKernelTaps);
    copyElements(derivKernel, other.derivKernel, kKernelTaps);
    copyElements(historyX, other.historyX, windowLength);
    copyElements(historyY, other.historyY, windowLength);
    copyImage(grayImage, other.grayImage);
    copyImage(reducedImage, other.reducedImage);
    copyElements(reducedPixels, other.reducedPixels, reducedArea);
    copyElements(gradientX, other.gradientX, reducedArea);
    copyElements(gradientY, other.gradientY, reducedArea);
    const int n = reducedTemplateArea;
    for (int k = 0; k < maxTemplates; ++k) {
        copyElements(tmplGradY[k], other.tmplGradY[k], n);
        copyElements(tmplGradX[k], other.tmplGradX[k], n);
        copyElements(prevSpectrum[k], other.prevSpectrum[k], n);
        if (other.pcSurface != nullptr)
            copyElements(pcSurface[k], other.pcSurface[k], n);
    }
    copyElements(fftInput, other.fftInput, n);
    copyElements(crossPower, other.crossPower, n);
    copyElements(fftOutput, other.fftOutput, n);
    copyElements(pcOutput, other.pcOutput, n);
    return true;
}

int CRegViaFFT::allocateImages(int width, int height)
{
    // The sizes are read from the fields that Create has set.
    static_cast<void>(width);
    static_cast<void>(height);
    historyX = historyY = nullptr;
    grayImage = reducedImage = nullptr;
    reducedPixels = nullptr;
    gradientX = gradientY = nullptr;
    pcSurface = nullptr;
    std::fill(tmplGradY, tmplGradY + kTemplateSlots, nullptr);
    std::fill(tmplGradX, tmplGradX + kTemplateSlots, nullptr);
    std::fill(prevSpectrum, prevSpectrum + kTemplateSlots, nullptr);
    fftInput = crossPower = fftOutput = pcOutput = nullptr;
    forwardHandle = backwardHandle = nullptr;

    const bool buffersOk = allocateBuffers();

    dftPrecision = DFT_DOUBLE;
    dftStatus = 0;
    dftLengths[0] = reducedTemplateHeight;
    dftLengths[1] = reducedTemplateWidth;
    dftInStrides[0] = dftOutStrides[0] = 0;
    dftInStrides[1] = dftOutStrides[1] = reducedTemplateWidth;
    dftInStrides[2] = dftOutStrides[2] = 1;
    // No descriptor is built over missing buffers; the memory status records
    // why the object is not usable.
    if (!buffersOk) {
        dftStatus = DFT_MEMORY_ERROR;
        return 0;
    }
    return buildTransformPlans() == 0 ? 1 : 0;
}

bool CRegViaFFT::allocateBuffers()
{
    bool ok = imageSizeFits(frameWidth, frameHeight) &&
              imageSizeFits(reducedWidth, reducedHeight);
    const int n = reducedTemplateArea;
    historyX = allocateArray<int>(windowLength, ok);
    historyY = allocateArray<int>(windowLength, ok);
    grayImage = createImage(frameWidth, frameHeight, ok);
    reducedPixels = allocateBlock<unsigned char>(reducedArea, ok);
    gradientX = allocateBlock<float>(reducedArea, ok);
    gradientY = allocateBlock<float>(reducedArea, ok);
    pcSurface = allocateBlock<double*>(maxTemplates, ok);
    // Null entries first, so a failure part-way leaves the block releasable.
    if (pcSurface != nullptr)
        std::fill(pcSurface, pcSurface + maxTemplates, nullptr);
    for (int k = 0; k < maxTemplates; ++k) {
        tmplGradY[k] = allocateBlock<float>(n, ok);
        tmplGradX[k] = allocateBlock<float>(n, ok);
        prevSpectrum[k] = allocateBlock<_DFT_Complex16>(n, ok);
        if (pcSurface != nullptr)
            pcSurface[k] = allocateBlock<double>(n, ok);
    }
    reducedImage = createImage(reducedWidth, reducedHeight, ok);
    fftInput = allocateBlock<_DFT_Complex16>(n, ok);
    crossPower = allocateBlock<_DFT_Complex16>(n, ok);
    fftOutput = allocateBlock<_DFT_Complex16>(n, ok);
    pcOutput = allocateBlock<_DFT_Complex16>(n, ok);
    return ok;
}

// Both plans are always attempted; the result is the sum of every status.
int CRegViaFFT::buildTransformPlans()
{
    dftStatus += regviafft::buildPlan(&forwardHandle, dftPrecision, dftLengths, dftInStrides,
                                      dftOutStrides);
    dftStatus += regviafft::buildPlan(&backwardHandle, dftPrecision, dftLengths, dftOutStrides,
                                      dftInStrides);
    return dftStatus;
}

bool CRegViaFFT::deallocateImages()
{
    freeArray(historyX);
    freeArray(historyY);
    cvReleaseImage(&grayImage);
    freeBlock(reducedPixels);
    freeBlock(gradientX);
    freeBlock(gradientY);
    for (int k = 0; k < maxTemplates; ++k) {
        freeBlock(tmplGradX[k]);
        freeBlock(tmplGradY[k]);
        freeBlock(prevSpectrum[k]);
        if (pcSurface != nullptr)
            freeBlock(pcSurface[k]);
    }
    freeBlock(pcSurface);
    cvReleaseImage(&reducedImage);
    freeBlock(fftInput);
    freeBlock(crossPower);
    freeBlock(fftOutput);
    freeBlock(pcOutput);
    if (!regviafft::freePlan(forwardHandle) || !regviafft::freePlan(backwardHandle))
        return false;
    freeArray(lowPassKernel);
    freeArray(derivKernel);
    return true;
}
