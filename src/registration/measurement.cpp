// The measurement steps on the registration object's own state, and what
// they leave there read back in full-resolution pixels.
#include "measurement.h"

#include <opencv2/core/core_c.h>
#include <opencv2/imgproc/imgproc_c.h>

#include <climits>
#include <cmath>

namespace regviafft {
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

bool Measurement::placeTemplates()
{
    CRegViaFFT& o = object_;
    o.isFirstFrame = 1;
    if (o.setTemplatePosition(o.reducedImage) == 0)
        return false;
    o.templatesReady = 1;
    // The first frame only seeds the reference spectra.
    o.getPCResult_fft();
    return true;
}

void Measurement::measureMotion()
{
    object_.isFirstFrame = 0;
    object_.extractShiftAmount();
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
        TemplateShift& t = frame.templates[k];
        t.centreX = (s.tmplPosX[k] + 0.5 * s.reducedTemplateWidth) / s.scale;
        t.centreY = (s.tmplPosY[k] + 0.5 * s.reducedTemplateHeight) / s.scale;
        const SurfaceShift shift =
            surfaceShift(s.pcSurface[k], s.reducedTemplateHeight, s.reducedTemplateWidth, s.scale);
        if (shift.peak > 0.0) {
            t.x = shift.shiftX / s.scale;
            t.y = shift.shiftY / s.scale;
            t.peak = shift.peak;
        }
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
