// The stabiliser: measurement on push, the camera path per mode, records
// handed out in push order once final, and rendering on request.
#include <algorithm>
#include <cmath>
#include <deque>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "camera_motion.h"
#include "camera_path.h"
#include "cut_detector.h"
#include "design_estimator.h"
#include "frame_planes.h"
#include "frame_renderer.h"
#include "regviafft/stabilizer.h"

namespace regviafft {
namespace {

constexpr double kDegreesPerRadian = 57.29577951308232;

// The nearest whole pixel, or the next one towards zero where the nearest
// would leave the budget.
double wholePixels(double correction, double budget)
{
    const double nearest = std::nearbyint(correction);
    return std::fabs(nearest) <= budget ? nearest : std::trunc(correction);
}

}  // namespace

struct Stabilizer::Impl {
    explicit Impl(const Settings& resolved)
        : settings(resolved), cuts(resolved), path(makeCameraPath(resolved)), budget(resolved)
    {
        if (resolved.mode == PathMode::Design)
            design.emplace(resolved);
        else
            camera.emplace(resolved);
    }
    Impl(const Impl& other)
        : settings(other.settings), design(other.design), camera(other.camera), cuts(other.cuts),
          path(other.path->clone()), budget(other.budget), renderer(other.renderer),
          waiting(other.waiting), pushed(other.pushed), templatesPlaced(other.templatesPlaced),
          finished(other.finished), pose(other.pose)
    {
    }

    PathStep measure(const FrameView& frame, MotionRecord& record);
    PathStep startPath(MotionRecord& record, bool placed);
    PathStep followPath(MotionRecord& record, const Similarity& motion);
    Similarity pathMotion(const JudgedMotion& judged, MotionRecord& record);
    Pose finalCorrection(const Pose& correction) const;

    Settings settings;
    std::optional<DesignEstimator> design;  // Design mode's measurement
    std::optional<CameraMotion> camera;     // every other mode's
    CutDetector cuts;
    std::unique_ptr<CameraPath> path;
    CorrectionBudget budget;
    FrameRenderer renderer;

    std::deque<MotionRecord> waiting;  // pushed, correction not yet final
    std::int64_t pushed = 0;           // index of the next frame
    bool templatesPlaced = false;
    bool finished = false;
    Pose pose;                         // the camera's place on the current path
};

PathStep Stabilizer::Impl::startPath(MotionRecord& record, bool placed)
{
    pose = {};
    record.pathX = record.pathY = record.pathRotation = 0.0;
    record.pathScale = 1.0;
    // A black or faded-in start: placement is tried again on the next frame.
    return placed ? PathStep::Start : PathStep::Off;
}

PathStep Stabilizer::Impl::followPath(MotionRecord& r, const Similarity& motion)
{
    pose.x += motion.x;
    pose.y += motion.y;
    pose.angle += motion.angle;
    pose.logScale += std::log(motion.scale);
    r.pathX = pose.x;
    r.pathY = pose.y;
    r.pathRotation = pose.angle * kDegreesPerRadian;
    r.pathScale = std::exp(pose.logScale);
    return PathStep::Follow;
}

// The motion the path follows from a measured frame: the measured one when
// it is reliable, else the one its recent frames predict, as the frame's
// content corrects it unless the camera is held still. Before a frame's
// content change is taken for a cut, its content is searched around both
// motions.
Similarity Stabilizer::Impl::pathMotion(const JudgedMotion& judged, MotionRecord& r)
{
    Similarity motion = judged.measured;
    r.contentChange = cuts.change(judged.measured);
    if (!judged.reliable) {
        const ContentMatch match = cuts.search(judged.predicted);
        r.contentChange = std::min(r.contentChange, match.change);
        motion = judged.held ? judged.predicted : match.motion;
        camera->adopt(motion);
    }
    if (r.contentChange > kCutChange) {
        r.contentChange = std::min(r.contentChange, cuts.search(judged.measured).change);
        if (judged.reliable)
            r.contentChange = std::min(r.contentChange, cuts.search(judged.predicted).change);
    }
    // Pictures with too little in common to compare tell of no cut.
    if (!std::isfinite(r.contentChange))
        r.contentChange = 0.0;
    return motion;
}

PathStep Stabilizer::Impl::measure(const FrameView& frame, MotionRecord& r)
{
    if (design) {
        design->run(frame, r);
        // Run's own path follows whole pixels.
        pose.x += r.wholeMotionX;
        pose.y += r.wholeMotionY;
        r.pathX = pose.x;
        r.pathY = pose.y;
        return r.analysed ? PathStep::Follow : PathStep::Off;
    }
    camera->load(frame);
    cuts.load(camera->picture());
    if (!templatesPlaced) {
        templatesPlaced = camera->start(r);
        return startPath(r, templatesPlaced);
    }
    const Similarity motion = pathMotion(camera->measure(r), r);
    r.cut = r.contentChange > kCutChange;
    if (!r.cut)
        return followPath(r, motion);
    r.replaced = false;  // a new path starts here: nothing of it was replaced
    MotionRecord placement;  // the cut frame keeps what was measured on it
    templatesPlaced = camera->start(placement);
    return startPath(r, templatesPlaced);
}

// Whole pixels move the picture without interpolation, so without a turn or
// a zoom either.
Pose Stabilizer::Impl::finalCorrection(const Pose& c) const
{
    if (!settings.wholePixel)
        return c;
    return {wholePixels(c.x, budget.x()), wholePixels(c.y, budget.y()), 0.0, 0.0};
}

Stabilizer::Stabilizer(const Settings& settings)
    : impl_(std::make_unique<Impl>(resolveSettings(settings)))
{
}

Stabilizer::~Stabilizer() = default;
Stabilizer::Stabilizer(Stabilizer&& other) noexcept = default;
Stabilizer& Stabilizer::operator=(Stabilizer&& other) noexcept = default;

Stabilizer::Stabilizer(const Stabilizer& other) : impl_(std::make_unique<Impl>(*other.impl_)) {}

Stabilizer& Stabilizer::operator=(const Stabilizer& other)
{
    if (this != &other)
        impl_ = std::make_unique<Impl>(*other.impl_);
    return *this;
}

void Stabilizer::push(const FrameView& frame, std::int64_t id)
{
    Impl& s = *impl_;
    if (s.finished)
        throw std::runtime_error("push: the stream is finished; call reset() to start another");
    checkFrame(frame, s.settings.width, s.settings.height, "push: frame");
    MotionRecord record;
    record.id = id;
    record.index = s.pushed;
    const PathStep step = s.measure(frame, record);
    const bool still = s.camera && s.camera->still();
    const Pose onPath{record.pathX, record.pathY, record.pathRotation / kDegreesPerRadian,
                      std::log(record.pathScale)};
    s.path->push({step, onPath, still, !record.replaced, {record.correctionX, record.correctionY, 0.0, 0.0}});
    s.waiting.push_back(record);
    ++s.pushed;
}

Pull Stabilizer::pull(MotionRecord& record)
{
    Impl& s = *impl_;
    if (s.waiting.empty())
        return s.finished ? Pull::End : Pull::NeedInput;
    Pose correction;
    if (!s.path->take(correction))
        return Pull::NeedInput;
    record = s.waiting.front();
    s.waiting.pop_front();
    correction = s.finalCorrection(correction);
    record.correctionX = correction.x;
    record.correctionY = correction.y;
    record.correctionRotation = correction.angle * kDegreesPerRadian;
    record.correctionScale = std::exp(correction.logScale);
    return Pull::Ready;
}

void Stabilizer::finish()
{
    impl_->finished = true;
    impl_->path->finish();
}

void Stabilizer::reset()
{
    impl_ = std::make_unique<Impl>(impl_->settings);
}

void Stabilizer::render(const MotionRecord& record, const FrameView& input,
                        const FrameView& output)
{
    Impl& s = *impl_;
    checkFrame(input, s.settings.width, s.settings.height, "render: input");
    checkFrame(output, s.settings.width, s.settings.height, "render: output");
    if (input.format != output.format)
        throw std::invalid_argument(std::string("render: output is ") + formatName(output.format) +
                                    ", input " + formatName(input.format));
    if (!std::isfinite(record.correctionX) || !std::isfinite(record.correctionY) ||
        !std::isfinite(record.correctionRotation) || !(record.correctionScale > 0.0) ||
        !std::isfinite(record.correctionScale))
        throw std::invalid_argument("render: record correction is not finite");
    const double shown = s.settings.border == Border::Crop
                             ? cropShare(input.format, input.width, input.height, s.budget.x(), s.budget.y())
                             : 1.0;
    s.renderer.render(input, output,
                      {record.correctionX, record.correctionY, record.correctionRotation / kDegreesPerRadian,
                       record.correctionScale, shown, s.settings.border, s.settings.wholePixel,
                       s.settings.fullRange});
}

int Stabilizer::latency() const
{
    return impl_->settings.mode == PathMode::Lag ? impl_->settings.lag : 0;
}

Settings Stabilizer::settings() const
{
    return impl_->settings;
}

}  // namespace regviafft
