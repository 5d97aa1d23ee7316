// The measurement steps on the registration object's own state, and what
// they leave there read back in full-resolution pixels.
#include "measurement.h"

#include <opencv2/core/core_c.h>
#include <opencv2/imgproc/imgproc_c.h>

#include <algorithm>
#include <climits>
#include <cmath>

namespace regviafft {
namespace {

// How fast the previous motion decays on a frame without a measurement.
constexpr double kMotionDecay = 0.7;

}  // namespace

void Measurement::loadFrame(const PixelRows& frame)
{
    CRegViaFFT& o = object_;
    grayFromPixels(frame.data, frame.stride, frame.bytesPerPixel, o.frameWidth, o.frameHeight,
                   reinterpret_cast<std::uint8_t*>(o.grayImage->imageData), o.grayImage->widthStep);
    // Saturates instead of wrapping, so a very long stream never looks like a
    // new first frame.
    if (o.frameCount < INT_MAX)
        ++o.frameCount;
    cvResize(o.grayImage, o.reducedImage, CV_INTER_LINEAR);
}

bool Measurement::isFirstOfSequence() const
{
    return object_.frameCount == 1;
}

bool Measurement::placeTemplates(Diagnostics diagnostics)
{
    CRegViaFFT& o = object_;
    o.isFirstFrame = 1;
    if (placeTemplatesOn(o.reducedImage, diagnostics) == 0)
        return false;
    o.templatesReady = 1;
    // The first frame only seeds the reference spectra.
    o.getPCResult_fft();
    return true;
}

int Measurement::placeTemplatesOn(const _IplImage* image, Diagnostics diagnostics)
{
    // No frame is a failure, like a frame whose workspace cannot be had.
    if (image == nullptr)
        return 0;
    CRegViaFFT& o = object_;
    const PlacementGeometry geometry{o.reducedTemplateHeight, o.reducedTemplateWidth,
                                     o.reducedMarginY, o.reducedMarginX};
    // The position arrays hold kMaxTemplates entries whatever maxTemplates says.
    const int slots = std::min(o.maxTemplates, kMaxTemplates);
    const auto* pixels = reinterpret_cast<const std::uint8_t*>(image->imageData);
    return regviafft::placeTemplates(pixels, image->widthStep, image->width, image->height, geometry,
                                     slots, o.lowPassKernel, o.derivKernel, diagnostics, o.tmplPosX,
                                     o.tmplPosY, &o.templateCount);
}

void Measurement::restartSequence()
{
    object_.resetMotionState();
    object_.frameCount = 1;
}

void Measurement::measureMotion(Diagnostics diagnostics)
{
    CRegViaFFT& o = object_;
    o.isFirstFrame = 0;
    if (diagnostics == Diagnostics::Print) {
        o.extractShiftAmount();
        return;
    }
    o.getPCResult_fft();
    for (int t = 0; t < o.templateCount; ++t) {
        CRegViaFFT::_pcResult& r = o.pcResult[t];
        measureSurfaceShift(o.pcSurface[t], o.reducedTemplateHeight, o.reducedTemplateWidth, o.scale,
                            Diagnostics::Quiet, &r.shiftY, &r.shiftX, &r.pcValue);
    }
    selectFromTemplates();
}

void Measurement::handOver()
{
    object_.handOverMotion();
}

void Measurement::selectFromTemplates()
{
    CRegViaFFT& o = object_;
    const int count = o.templateCount;
    for (int t = 0; t < count; ++t) {
        CRegViaFFT::_pcResult& r = o.pcResult[t];
        r.score = r.pcValue;
        r.orderBias = t < 4 ? -1 : 1;
        r.shiftLength = std::sqrt(r.shiftX * r.shiftX + r.shiftY * r.shiftY);
    }
    bool measured = false;
    if (count == 1) {
        measured = true;
    } else if (count >= 2) {
        const ScoringContext context{o.maxTemplates, o.frameCount, o.prevPreciseGmvX,
                                     o.prevPreciseGmvY};
        rankCandidates(o.pcResult, o.pcResultWork, count, context);
        measured = hasMotionVector(o.pcResult[0]);
    }
    if (measured) {
        o.preciseGmvX = o.pcResult[0].shiftX;
        o.preciseGmvY = o.pcResult[0].shiftY;
    } else {
        // No template, or every template without a peak: the previous motion
        // decays, so the pipeline always receives finite values.
        o.preciseGmvX = roundHalfEven(o.prevPreciseGmvX * kMotionDecay);
        o.preciseGmvY = roundHalfEven(o.prevPreciseGmvY * kMotionDecay);
    }
    o.gmvX = roundHalfEven(o.preciseGmvX / o.scale);
    o.gmvY = roundHalfEven(o.preciseGmvY / o.scale);
}

bool Measurement::isReady(const CRegViaFFT& object)
{
    return object.isCreated();
}

bool Measurement::lackedMemory(const CRegViaFFT& object)
{
    return object.dftStatus == DFT_MEMORY_ERROR;
}

MeasuredFrame Measurement::read(const CRegViaFFT& s)
{
    MeasuredFrame frame;
    frame.frameCount = s.frameCount;
    frame.templateCount = s.templatesReady ? s.templateCount : 0;
    frame.measured = s.frameCount > 1 && frame.templateCount > 0;
    if (!frame.measured)
        return frame;
    for (int k = 0; k < frame.templateCount; ++k) {
        const SurfaceShift shift =
            surfaceShift(s.pcSurface[k], s.reducedTemplateHeight, s.reducedTemplateWidth, s.scale);
        if (shift.peak > 0.0)
            frame.templates[k] = {shift.shiftX / s.scale, shift.shiftY / s.scale, shift.peak};
    }
    const CRegViaFFT::_pcResult& selected = s.pcResult[0];
    if (selected.pcValue > 0.0) {
        frame.peak = selected.pcValue;
        // A single template is not ranked, so its record holds no vote count.
        frame.votes = frame.templateCount == 1 ? 1 : selected.votes;
    }
    // After the hand-over prevGmv holds the accepted motion; where Run
    // replaced an implausible one, the sub-pixel estimate no longer stands for it.
    frame.wholeMotionX = s.prevGmvX;
    frame.wholeMotionY = s.prevGmvY;
    const bool replaced = roundHalfEven(s.preciseGmvX / s.scale) != s.prevGmvX ||
                          roundHalfEven(s.preciseGmvY / s.scale) != s.prevGmvY;
    frame.motionX = replaced ? s.prevGmvX : s.preciseGmvX / s.scale;
    frame.motionY = replaced ? s.prevGmvY : s.preciseGmvY / s.scale;
    return frame;
}

WholeOffset Measurement::designOffset(const CRegViaFFT& s)
{
    const int stepsLeft = s.windowLength - s.historyCount;
    return {recentredOffset(s.gmvX, s.recentering, stepsLeft, s.recenterStepX),
            recentredOffset(s.gmvY, s.recentering, stepsLeft, s.recenterStepY)};
}

}  // namespace regviafft
