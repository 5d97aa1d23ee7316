// Run and the motion record filled from what it leaves.
#include "design_estimator.h"

#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

#include "frame_planes.h"
#include "measurement.h"

namespace regviafft {
namespace {

constexpr int kRunBytesPerPixel = 4;
constexpr std::uint8_t kOpaque = 255;

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

// The measurement fields of a record; frames without a measurement keep zeros.
void fillMeasurement(const MeasuredFrame& measured, MotionRecord& record)
{
    record.analysed = true;
    record.templateCount = measured.templateCount;
    for (int k = 0; k < kMaxTemplates; ++k) {
        const TemplateShift& t = measured.templates[k];
        record.templates[k] = {t.x, t.y, t.peak, t.centreX, t.centreY, false};
    }
    record.motionX = measured.motionX;
    record.motionY = measured.motionY;
    record.wholeMotionX = measured.wholeMotionX;
    record.wholeMotionY = measured.wholeMotionY;
    record.peak = measured.peak;
    record.votes = measured.votes;
}

void fillDesignOffset(const CRegViaFFT& stream, MotionRecord& record)
{
    const WholeOffset offset = Measurement::designOffset(stream);
    record.correctionX = offset.x;
    record.correctionY = offset.y;
}

}  // namespace

DesignEstimator::DesignEstimator(const Settings& s)
{
    const int created = stream_.Create(s.height, s.width, *s.templateHeight, *s.templateWidth,
                                       *s.templateCount, *s.divisor, *s.marginY, *s.marginX,
                                       s.windowLength, s.steadyThreshold);
    if (created == 1)
        return;
    if (Measurement::lackedMemory(stream_))
        throw std::bad_alloc();
    throw std::invalid_argument(
        "Settings: a " + std::to_string(*s.templateWidth) + "x" +
        std::to_string(*s.templateHeight) + " template reduced by divisor " +
        std::to_string(*s.divisor) + " leaves no pixel to analyse");
}

DesignEstimator::DesignEstimator(const DesignEstimator& other)
    : runInput_(other.runInput_.size()), runOutput_(other.runOutput_.size())
{
    *this = other;
}

DesignEstimator& DesignEstimator::operator=(const DesignEstimator& other)
{
    stream_ = other.stream_;
    // The deep copy leaves the object released when its buffers cannot be had.
    if (!Measurement::isReady(stream_))
        throw std::bad_alloc();
    return *this;
}

const std::uint8_t* DesignEstimator::packedForRun(const FrameView& frame)
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

void DesignEstimator::run(const FrameView& frame, MotionRecord& record)
{
    // Run reads its input and writes a frame of the same size; the stabiliser
    // renders the host's own output afterwards, from the offset read back.
    unsigned char* input = const_cast<std::uint8_t*>(packedForRun(frame));
    runOutput_.resize(static_cast<size_t>(frame.width) * frame.height * kRunBytesPerPixel);
    if (stream_.Run(input, runOutput_.data(), false) != 1)
        return;
    fillMeasurement(Measurement::read(stream_), record);
    fillDesignOffset(stream_, record);
}

MotionRecord lastMotion(const CRegViaFFT& stream)
{
    MotionRecord record;
    const MeasuredFrame measured = Measurement::read(stream);
    if (measured.frameCount == 0)
        return record;
    record.index = record.id = measured.frameCount - 1;
    fillMeasurement(measured, record);
    fillDesignOffset(stream, record);
    return record;
}

}  // namespace regviafft
