// The registration object's measurement, one step at a time: the steps Run
// takes on every frame, in the order it takes them, and what they leave read
// back in full-resolution pixels for the layers above (the stabiliser's Design
// mode, which runs the object as it is).
#ifndef REGVIAFFT_REGISTRATION_MEASUREMENT_H
#define REGVIAFFT_REGISTRATION_MEASUREMENT_H

#include <array>
#include <cstddef>
#include <cstdint>

#include "RegViaFFT.h"
#include "kernels.h"
#include "regviafft/limits.h"

namespace regviafft {

// A frame's pixels: rows `stride` bytes apart (negative for bottom-up rows).
// One byte per pixel is grey already; 3 or 4 bytes are made grey by the
// rounded mean of the first three.
struct PixelRows {
    const std::uint8_t* data;
    std::ptrdiff_t stride;
    int bytesPerPixel;
};

// One template's own measurement, in full-resolution pixels.
struct TemplateShift {
    double x = 0.0;     // the shift that brings the frame back onto the previous one
    double y = 0.0;
    double peak = 0.0;  // 0 when its correlation surface had no positive value
    double centreX = 0.0;  // where the template sits: its centre in the frame
    double centreY = 0.0;
};

// What the object measured on the last frame it was given.
struct MeasuredFrame {
    int frameCount = 0;     // frames loaded since Create
    int templateCount = 0;  // templates placed; 0 before placement
    bool measured = false;  // registered against a previous frame (not the first of a sequence)
    std::array<TemplateShift, kMaxTemplates> templates{};  // first templateCount used
    // The selected motion in full-resolution pixels, sub-pixel unless Run
    // replaced it as implausible, and as the object rounds it.
    double motionX = 0.0;
    double motionY = 0.0;
    int wholeMotionX = 0;
    int wholeMotionY = 0;
    double peak = 0.0;  // the selected candidate's peak and votes
    int votes = 0;
};

struct WholeOffset {
    int x;  // content moves this many pixels right
    int y;  // and down
};

class Measurement {
public:
    explicit Measurement(CRegViaFFT& object) : object_(object) {}

    // The frame becomes the current one: grey, counted, reduced.
    void loadFrame(const PixelRows& frame);
    // The loaded frame is the first since Create.
    bool isFirstOfSequence() const;
    // Places templates on the loaded frame and keeps their spectra as the
    // reference of the next frame; false when placement failed.
    bool placeTemplates();
    // Registers the loaded frame against the previous one and selects its motion.
    void measureMotion();

    // Create succeeded (or a copy got every buffer), so frames can be measured.
    static bool isReady(const CRegViaFFT& object);
    // Create or a copy failed for want of memory rather than for its values.
    static bool lackedMemory(const CRegViaFFT& object);
    static MeasuredFrame read(const CRegViaFFT& object);
    // The offset Run's own camera path applied to the last frame.
    static WholeOffset designOffset(const CRegViaFFT& object);

private:
    CRegViaFFT& object_;
};

}  // namespace regviafft

#endif
