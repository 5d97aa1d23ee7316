// The stabiliser API: one Stabilizer per video stream measures each frame's
// global motion with the registration object (RegViaFFT.h), smooths the camera
// path in the chosen mode and renders each frame shifted to compensate.
//
//   regviafft::Settings settings;
//   settings.width = 1920;
//   settings.height = 1080;
//   settings.mode = regviafft::PathMode::Lag;
//   regviafft::Stabilizer stabilizer(settings);
//   for (each decoded frame f with id n) {
//       stabilizer.push(view of f, n);              // measures; keep f until its record is out
//       regviafft::MotionRecord record;
//       while (stabilizer.pull(record) == regviafft::Pull::Ready)
//           stabilizer.render(record, view of frame record.id, view of an output frame);
//   }
//   stabilizer.finish();                            // end of stream: the held frames come out
//   while (stabilizer.pull(record) == regviafft::Pull::Ready) ...
//
// Frames are views: the host owns the pixels, the stabiliser reads them only
// during the call. Errors are exceptions: std::invalid_argument for a value
// the caller passed (its message names the value), std::runtime_error for a
// call out of order or a resource that could not be had. An object is not
// synchronised: use it from one thread at a time; separate objects are
// independent.
#ifndef REGVIAFFT_STABILIZER_H
#define REGVIAFFT_STABILIZER_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "regviafft/export.h"
#include "regviafft/limits.h"

class CRegViaFFT;

namespace regviafft {

// Look-ahead of the lag mode, in frames.
constexpr int kMaxLag = 120;
// A smoothing longer than this many frames holds a history no stream needs.
constexpr double kMaxSmoothness = 250.0;
// Smoothness when none is set: the causal tracker's time constant and the
// lag fit's sigma, in frames, each as steady as its mode follows a pan well.
constexpr double kDefaultCausalSmoothness = 30.0;
constexpr double kDefaultLagSmoothness = 12.0;
// Correction budget, in percent of each dimension: beyond a quarter the
// picture is more border than content.
constexpr double kMaxBudgetPercent = 25.0;
// Design mode's steadiness threshold, in pixels: a frame's motion never
// exceeds the frame, so any larger threshold counts every window as steady.
constexpr double kMaxSteadyThreshold = kMaxFrameSide;
// A measurement trusted less than this (MotionRecord::confidence) is
// replaced by the camera's predicted motion: below it, on clips with a known
// path, the measured motion was more often wrong than right.
constexpr double kLeastConfidence = 0.25;
// A content change (MotionRecord::contentChange) above this is a cut: the
// same scene stays well below it even with a subject crossing it or the
// camera's motion smearing it, another scene well above.
constexpr double kCutChange = 0.5;
// Cells of the measurement grid along each side: beyond this the templates
// grow too small to measure a fast move.
constexpr int kMaxGridSide = 8;
// Templates a record holds: one per cell of the largest grid, or the
// registration object's own in Design mode.
constexpr int kMaxRecordTemplates = kMaxGridSide * kMaxGridSide;

enum class PixelFormat {
    Packed4,  // one plane of 4-byte pixels: three colour bytes first, in any
              // order, measured with equal weight; the fourth is carried along
    Packed3,  // one plane of 3-byte pixels, the colour bytes in any order
    I420,     // 8-bit Y, U and V planes; chroma ceil(w/2) x ceil(h/2)
    NV12,     // 8-bit Y plane and one plane of interleaved U, V pairs, ceil(w/2) x ceil(h/2)
};

// One plane of a frame: the first byte of the top row, and the signed byte
// distance from one row to the next (padding allowed, negative for bottom-up).
struct Plane {
    std::uint8_t* data = nullptr;
    std::ptrdiff_t stride = 0;
};

// A frame the host owns. Only the planes the format has are read.
struct REGVIAFFT_API FrameView {
    PixelFormat format = PixelFormat::Packed4;
    int width = 0;   // luma columns
    int height = 0;  // luma rows
    std::array<Plane, 3> planes{};

    // Rows of width x 4 (or 3) bytes; a stride of 0 means rows packed without gaps.
    static FrameView packed(std::uint8_t* pixels, int width, int height, std::ptrdiff_t stride = 0);
    static FrameView packed3(std::uint8_t* pixels, int width, int height, std::ptrdiff_t stride = 0);
    static FrameView i420(int width, int height, Plane y, Plane u, Plane v);
    static FrameView nv12(int width, int height, Plane y, Plane uv);
};

enum class PathMode {
    Design,  // the registration object's own camera path, exactly as Run applies it
    Causal,  // zero latency: a critically damped constant-velocity tracker
    Lag,     // a fixed look-ahead: a Gaussian-weighted line fit around each frame
};

// What the camera's motion between two frames is measured as.
enum class MotionModel {
    Translation,  // a shift
    Rotation,     // a shift and a turn (roll) about the frame's centre
    Similarity,   // a shift, a turn and a uniform zoom
};

enum class Border {
    Black,  // uncovered pixels are black
    Edge,   // uncovered pixels repeat the nearest edge pixel
    Crop,   // a fixed zoom keeps the whole correction budget out of view, turns included
};

// Every field has a default, the one every host starts from (the command
// line, the Python module and the GStreamer element read it through the
// option table in options.h; only the element starts in Causal mode, for live
// sources).
//
// In the Causal and Lag modes the camera is measured on a grid of cells over
// the whole frame, one template in each cell at its best-textured spot, so
// that a subject busier than the background cannot hide it; the templates'
// shifts are fitted with the motion model by a robust fit that takes the
// camera to be what most of the picture agrees on. Design mode measures with
// the registration object itself. The measurement fields left unset derive
// from the frame size when the stabiliser is made:
//   divisor         the largest power of two not above min(width, height) / 270,
//                   at least 1: the analysed frame's shorter side stays between
//                   270 and 540 pixels, enough detail for large templates at a
//                   cost that does not grow with the frame, and a power of two
//                   keeps every reduced size exact;
//   grid            cells of about 80 analysed pixels a side, from 4 x 3 to
//                   6 x 4: enough templates to outvote a subject, few enough to
//                   stay cheap (Causal and Lag only);
//   template sides  Causal and Lag: the largest power of two that fits a cell,
//                   8 to 64 analysed pixels. Design: 128 analysed pixels, or
//                   the largest power of two up to half the analysed frame's
//                   shorter side when that is smaller, at least 8. Larger
//                   templates measure more precisely, the largest motion
//                   measured per frame is half a template, and a power of two
//                   is the fastest transform length (the sides are multiplied
//                   by the divisor in the frame);
//   margins         a quarter of the template side: templates keep clear of
//                   the border, where content enters and leaves the frame;
//   templateCount   Design: 10, the most the registration object holds.
// With a divisor of 1 Design mode measures motion in whole pixels; the grid
// always measures to a fraction of a pixel.
struct Settings {
    int width = 0;   // frame columns in pixels (luma columns for 4:2:0)
    int height = 0;  // frame rows
    // Lag: a file has no latency to keep, so the steadiest mode is the default.
    PathMode mode = PathMode::Lag;
    int lag = 30;  // Lag mode: frames of look-ahead, 0 to kMaxLag; the latency
    // Frames, above 0 and up to kMaxSmoothness. Causal: the tracker's resting time
    // constant; Lag: the Gaussian's sigma (unset: kDefaultCausalSmoothness,
    // kDefaultLagSmoothness). Larger is steadier and slower to follow.
    std::optional<double> smoothness;
    // Largest correction, in percent of each dimension (0 to
    // kMaxBudgetPercent): the offset approaches it smoothly and never exceeds
    // it, so a move that cannot be held is followed. Not applied in Design
    // mode, whose path has its own rules.
    double budgetPercent = 5.0;
    Border border = Border::Black;
    // Rotation: hand-held cameras roll; Similarity also follows a zoom.
    // Design mode measures shifts only.
    MotionModel motionModel = MotionModel::Rotation;
    // Lock the view to the first frame of each shot, for a camera meant to
    // stand still, until the budget cannot hold it or the shot ends.
    bool tripod = false;
    bool wholePixel = false;  // shift by whole pixels only (no interpolation); no turn or zoom
    bool fullRange = false;   // 4:2:0 luma uses 0-255, so black is 0 rather than 16

    // Measurement, in full-resolution pixels.
    std::optional<int> divisor;         // frames are reduced by this before analysis
    std::optional<int> templateWidth;
    std::optional<int> templateHeight;
    std::optional<int> templateCount;   // Design: 1 to kMaxTemplates
    std::optional<int> gridColumns;     // Causal and Lag: cells across, 1 to kMaxGridSide
    std::optional<int> gridRows;        // and down
    std::optional<int> marginX;         // columns at each side kept free of templates
    std::optional<int> marginY;

    // Design mode's own camera path: the window it judges, in frames, and the
    // steadiness threshold in pixels (a window whose motions all lie within
    // it of their mean is re-centred).
    int windowLength = 30;         // 0 to kMaxWindowLength
    double steadyThreshold = 1.0;  // 0 to kMaxSteadyThreshold
};

// A field of Settings that cannot be used. what() is "Settings.<field> <rule>";
// a host that offers the field as an option reports it under the option's
// name (asOptionError in options.h).
class REGVIAFFT_API SettingsError : public std::invalid_argument {
public:
    SettingsError(const std::string& field, const std::string& rule);
    const std::string& field() const noexcept { return field_; }
    const std::string& rule() const noexcept { return rule_; }

private:
    std::string field_;
    std::string rule_;
};

// Validates every field (NaN and infinities included) and fills the unset
// ones from the frame size; throws SettingsError naming the first bad value.
REGVIAFFT_API Settings resolveSettings(const Settings& settings);

// One template's own measurement, in full-resolution pixels.
struct TemplateMotion {
    double x = 0.0;     // the shift that brings this frame back onto the previous one
    double y = 0.0;
    double peak = 0.0;  // height of its correlation peak; 0 when it had none
    double centreX = 0.0;  // where the template is: its centre in the frame
    double centreY = 0.0;
    bool inlier = false;   // agrees with the camera's fitted motion
};

// What the stabiliser measured and decided for one frame. Motions follow the
// registration object's sign: the shift that brings this frame back onto the
// previous one (content that moved 3 pixels right is a motion of -3). Turns
// are about the frame's centre, in degrees, positive clockwise as seen (from
// the x axis towards the y axis, which points down); a scale above 1 brings
// a frame back by enlarging it.
struct MotionRecord {
    std::int64_t id = 0;     // the host's id given to push
    std::int64_t index = 0;  // frames pushed before this one since construction or reset
    bool analysed = false;   // motion measured; false for a frame without templates
    bool cut = false;        // judged a new scene: the camera path restarts here
    double motionX = 0.0;    // accepted motion at the frame's centre, full-resolution pixels, sub-pixel
    double motionY = 0.0;
    int wholeMotionX = 0;    // the same as the registration object rounds it
    int wholeMotionY = 0;
    double rotation = 0.0;   // accepted turn, degrees
    double scale = 1.0;      // accepted zoom
    double peak = 0.0;       // correlation peak: of the selected candidate, or the agreeing templates' median
    int votes = 0;           // templates that agreed with it
    int inliers = 0;         // templates that agreed with the fitted motion (Causal and Lag)
    // How far the measured motion is trusted, 0 to 1 (Causal and Lag): the
    // peak-weighted share of templates that agree with it, times its peak
    // against the recent frames'. Below kLeastConfidence the path takes the
    // motion the camera's recent frames predict instead, and `replaced` is
    // set; the motion fields above keep what was measured.
    double confidence = 0.0;
    bool replaced = false;
    // How much the picture changed from the previous frame once the camera's
    // motion is compensated, against the pictures' own contrast (Causal and
    // Lag): about 0 for the same scene, about 1 for another; a cut above
    // kCutChange.
    double contentChange = 0.0;
    int templateCount = 0;
    std::array<TemplateMotion, kMaxRecordTemplates> templates{};  // first templateCount used
    double pathX = 0.0;      // camera path: motion accumulated since the path started
    double pathY = 0.0;
    double pathRotation = 0.0;
    double pathScale = 1.0;
    // The transform the frame is rendered with, about its centre: its content
    // turns by correctionRotation degrees, zooms by correctionScale and moves
    // by (correctionX, correctionY) pixels (right and down). The smoothed path
    // is path - correction (path / correction for the scale).
    double correctionX = 0.0;
    double correctionY = 0.0;
    double correctionRotation = 0.0;
    double correctionScale = 1.0;
};

// The record of the last frame that CRegViaFFT::Run analysed, for hosts of the
// registration object itself; index counts analysed frames.
REGVIAFFT_API MotionRecord lastMotion(const CRegViaFFT& stream);

enum class Pull {
    Ready,      // a record is out: render its frame now, then pull again
    NeedInput,  // push the next frame
    End,        // finished and every record is out
};

class REGVIAFFT_API Stabilizer {
public:
    // Throws SettingsError for bad settings (see resolveSettings).
    explicit Stabilizer(const Settings& settings);
    ~Stabilizer();
    Stabilizer(const Stabilizer& other);  // an independent copy of the stream state
    Stabilizer& operator=(const Stabilizer& other);
    Stabilizer(Stabilizer&& other) noexcept;
    Stabilizer& operator=(Stabilizer&& other) noexcept;

    // Measures one frame of the settings' size. The host keeps the frame until
    // the record with this id is pulled. Throws for a frame of another size or
    // a bad view, and after finish() until reset().
    void push(const FrameView& frame, std::int64_t id);
    // Hands out the next final record, in push order: at once in the Design
    // and Causal modes, `lag` frames later (or at a cut, or after finish) in
    // Lag mode. Each pushed frame comes out exactly once.
    Pull pull(MotionRecord& record);
    // Ends the stream: every held record becomes final.
    void finish();
    // Starts a new stream with the same settings; held records are dropped.
    void reset();
    // Writes `input` (the frame pushed with record.id) shifted by the record's
    // correction into `output`, of the same format and size. `output` may be
    // `input` itself (every plane at the same address); other overlaps throw.
    void render(const MotionRecord& record, const FrameView& input, const FrameView& output);

    int latency() const;  // frames between a push and its record: 0, or lag
    Settings settings() const;  // as resolved, every field set

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace regviafft

#endif
