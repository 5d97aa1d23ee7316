// The registration object's measurement, one step at a time: the steps Run
// takes on every frame, in the order it takes them, for Run itself and for the
// layers above that measure with the object but keep their own camera path.
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
};

// What the object measured on the last frame it was given.
struct MeasuredFrame {
    int frameCount = 0;     // frames loaded since Create or the last restartSequence
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
    // The loaded frame is the first since Create or restartSequence.
    bool isFirstOfSequence() const;
    // Places templates on the loaded frame and keeps their spectra as the
    // reference of the next frame; false when placement could not have its
    // workspace (zero templates placed is no failure: see read).
    bool placeTemplates(Diagnostics diagnostics);
    // Placement alone, on an image of the reduced size; 0 on failure.
    int placeTemplatesOn(const _IplImage* image, Diagnostics diagnostics);
    // The motion state as Create leaves it, with the loaded frame counted as
    // the first of a new sequence (call placeTemplates next).
    void restartSequence();
    // Registers the loaded frame against the previous one and selects its motion.
    void measureMotion(Diagnostics diagnostics);
    // The selected motion becomes the previous frame's, which scores the
    // next frame's candidates (Run does this after its camera path).
    void handOver();
    // The candidates of the templates' measured shifts, scored and ranked:
    // the best one becomes the frame's motion.
    void selectFromTemplates();

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
