// Measurement through the registration object's own member operations, and
// the motion record read back from its state.
#include "motion_estimator.h"

#include <opencv2/core/core_c.h>
#include <opencv2/imgproc/imgproc_c.h>

#include <climits>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

#include "dft.h"
#include "frame_planes.h"
#include "kernels.h"

namespace regviafft {
namespace {

constexpr int kRunBytesPerPixel = 4;
constexpr std::uint8_t kOpaque = 255;

void copyLuma(const Plane& luma, int width, int height, IplImage* gray)
{
    for (int r = 0; r < height; ++r)
        std::memcpy(gray->imageData + static_cast<std::ptrdiff_t>(r) * gray->widthStep,
                    planeRow(luma, r), static_cast<size_t>(width));
}

// Luma in the three colour bytes, so that Run's grey value is the luma itself.
void lumaToRunPixels(const Plane& luma, int width, int height, std::uint8_t* pixels)
{
    for (int r = 0; r < height; ++r) {
        const std::uint8_t* in = planeRow(luma, r);
        std::uint8_t* out = pixels + static_cast<size_t>(r) * width * kRunBytesPerPixel;
        for (int c = 0; c < width; ++c) {
            out[4 * c] = out[4 * c + 1] = out[4 * c + 2] = in[c];
            out[4 * c + 3] = kOpaque;
        }
    }
}

// Three colour bytes become the first three of Run's four.
void colourToRunPixels(const Plane& colour, int width, int height, std::uint8_t* pixels)
{
    for (int r = 0; r < height; ++r) {
        const std::uint8_t* in = planeRow(colour, r);
        std::uint8_t* out = pixels + static_cast<size_t>(r) * width * kRunBytesPerPixel;
        for (int c = 0; c < width; ++c) {
            std::memcpy(out + 4 * c, in + 3 * c, 3);
            out[4 * c + 3] = kOpaque;
        }
    }
}

}  // namespace

MotionEstimator::MotionEstimator(const Settings& s)
{
    const int created = stream_.Create(s.height, s.width, *s.templateHeight, *s.templateWidth,
                                       *s.templateCount, *s.divisor, *s.marginY, *s.marginX,
                                       s.windowLength, s.steadyThreshold);
    if (created == 1)
        return;
    if (stream_.dftStatus == DFT_MEMORY_ERROR)
        throw std::bad_alloc();
    throw std::invalid_argument(
        "Settings: a " + std::to_string(*s.templateWidth) + "x" +
        std::to_string(*s.templateHeight) + " template reduced by divisor " +
        std::to_string(*s.divisor) + " leaves no pixel to analyse");
}

MotionEstimator::MotionEstimator(const MotionEstimator& other)
    : runInput_(other.runInput_.size()), runOutput_(other.runOutput_.size())
{
    *this = other;
}

MotionEstimator& MotionEstimator::operator=(const MotionEstimator& other)
{
    stream_ = other.stream_;
    // The deep copy leaves the object released when its buffers cannot be had.
    if (!stream_.isCreated())
        throw std::bad_alloc();
    return *this;
}

const std::uint8_t* MotionEstimator::packedForRun(const FrameView& frame)
{
    const Plane& first = frame.planes[0];
    const std::ptrdiff_t rowBytes = std::ptrdiff_t{frame.width} * kRunBytesPerPixel;
    if (frame.format == PixelFormat::Packed4 && first.stride == rowBytes)
        return first.data;
    runInput_.resize(static_cast<size_t>(rowBytes) * frame.height);
    if (frame.format == PixelFormat::Packed3) {
        colourToRunPixels(first, frame.width, frame.height, runInput_.data());
        return runInput_.data();
    }
    if (frame.format != PixelFormat::Packed4) {
        lumaToRunPixels(first, frame.width, frame.height, runInput_.data());
        return runInput_.data();
    }
    for (int r = 0; r < frame.height; ++r)
        std::memcpy(runInput_.data() + r * rowBytes, planeRow(first, r),
                    static_cast<size_t>(rowBytes));
    return runInput_.data();
}

void MotionEstimator::runDesign(const FrameView& frame, MotionRecord& record)
{
    // Run reads its input and writes a frame of the same size; the stabiliser
    // renders the host's own output afterwards, from the offset read back.
    unsigned char* input = const_cast<std::uint8_t*>(packedForRun(frame));
    runOutput_.resize(static_cast<size_t>(frame.width) * frame.height * kRunBytesPerPixel);
    record.analysed = stream_.Run(input, runOutput_.data(), false) == 1;
    if (!record.analysed)
        return;
    readMeasurement(stream_, record);
    readDesignOffset(stream_, record);
}

void MotionEstimator::loadFrame(const FrameView& frame)
{
    IplImage* gray = stream_.grayImage;
    const Plane& first = frame.planes[0];
    const int pixelBytes = planeLayout(frame.format, 0, frame.width, frame.height, false).bytesPerPixel;
    if (frame.format == PixelFormat::Packed4 || frame.format == PixelFormat::Packed3)
        grayFromPixels(first.data, first.stride, pixelBytes, frame.width, frame.height,
                       reinterpret_cast<std::uint8_t*>(gray->imageData), gray->widthStep);
    else
        copyLuma(first, frame.width, frame.height, gray);
    cvResize(gray, stream_.reducedImage, CV_INTER_LINEAR);
}

bool MotionEstimator::placeTemplates(MotionRecord& record)
{
    CRegViaFFT& s = stream_;
    s.isFirstFrame = 1;
    if (s.setTemplatePosition(s.reducedImage) == 0 || s.templateCount == 0)
        return false;
    // A fresh start, as after Create: the first frame only seeds the spectra.
    s.templatesReady = 1;
    s.frameCount = 1;
    s.preciseGmvX = s.preciseGmvY = s.prevPreciseGmvX = s.prevPreciseGmvY = 0.0;
    s.gmvX = s.gmvY = s.prevGmvX = s.prevGmvY = 0;
    s.getPCResult_fft();
    readMeasurement(s, record);
    return true;
}

void MotionEstimator::measure(MotionRecord& record)
{
    CRegViaFFT& s = stream_;
    s.isFirstFrame = 0;
    if (s.frameCount < INT_MAX)
        ++s.frameCount;
    s.extractShiftAmount();
    // Run's hand-over without its path: a cut, not a replaced motion, is the
    // answer to an implausible one here.
    s.prevPreciseGmvX = s.preciseGmvX;
    s.prevPreciseGmvY = s.preciseGmvY;
    s.prevGmvX = s.gmvX;
    s.prevGmvY = s.gmvY;
    readMeasurement(s, record);
}

bool MotionEstimator::plausible(const MotionRecord& record) const
{
    return !motionImplausible(record.wholeMotionX, record.wholeMotionY, stream_.frameWidth,
                              stream_.frameHeight);
}

void MotionEstimator::readMeasurement(const CRegViaFFT& s, MotionRecord& record)
{
    record.analysed = true;
    record.templateCount = s.templatesReady ? s.templateCount : 0;
    record.templates = {};
    record.motionX = record.motionY = 0.0;
    record.wholeMotionX = record.wholeMotionY = 0;
    record.peak = 0.0;
    record.votes = 0;
    // The frame the templates were placed on has no surfaces yet.
    if (s.frameCount <= 1 || record.templateCount == 0)
        return;
    for (int k = 0; k < record.templateCount; ++k) {
        const SurfaceShift shift =
            surfaceShift(s.pcSurface[k], s.reducedTemplateHeight, s.reducedTemplateWidth, s.scale);
        if (shift.peak > 0.0)
            record.templates[k] = {shift.shiftX / s.scale, shift.shiftY / s.scale, shift.peak};
    }
    const CRegViaFFT::_pcResult& selected = s.pcResult[0];
    if (selected.pcValue > 0.0) {
        record.peak = selected.pcValue;
        record.votes = record.templateCount == 1 ? 1 : selected.votes;
    }
    // prevGmv holds the accepted motion; when Run replaced an implausible one
    // the sub-pixel estimate no longer stands for it.
    record.wholeMotionX = s.prevGmvX;
    record.wholeMotionY = s.prevGmvY;
    const bool replaced = roundHalfEven(s.preciseGmvX / s.scale) != s.prevGmvX ||
                          roundHalfEven(s.preciseGmvY / s.scale) != s.prevGmvY;
    record.motionX = replaced ? s.prevGmvX : s.preciseGmvX / s.scale;
    record.motionY = replaced ? s.prevGmvY : s.preciseGmvY / s.scale;
}

void MotionEstimator::readDesignOffset(const CRegViaFFT& s, MotionRecord& record)
{
    const int stepsLeft = s.windowLength - s.historyCount;
    record.correctionX = recentredOffset(s.gmvX, s.recentering, stepsLeft, s.recenterStepX);
    record.correctionY = recentredOffset(s.gmvY, s.recentering, stepsLeft, s.recenterStepY);
}

MotionRecord MotionEstimator::lastRecord(const CRegViaFFT& stream)
{
    MotionRecord record;
    if (stream.frameCount == 0)
        return record;
    record.index = record.id = stream.frameCount - 1;
    readMeasurement(stream, record);
    readDesignOffset(stream, record);
    return record;
}

MotionRecord lastMotion(const CRegViaFFT& stream)
{
    return MotionEstimator::lastRecord(stream);
}

}  // namespace regviafft
