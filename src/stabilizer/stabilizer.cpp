// The stabiliser: measurement on push, the camera path per mode, records
// handed out in push order once final, and rendering on request.
#include <cmath>
#include <deque>
#include <memory>
#include <stdexcept>
#include <string>

#include "camera_path.h"
#include "cut_detector.h"
#include "frame_planes.h"
#include "frame_renderer.h"
#include "motion_estimator.h"
#include "regviafft/stabilizer.h"

namespace regviafft {
namespace {

constexpr double kPercent = 100.0;

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
        : settings(resolved), estimator(resolved), path(makeCameraPath(resolved)),
          budgetX(resolved.budgetPercent / kPercent * resolved.width),
          budgetY(resolved.budgetPercent / kPercent * resolved.height)
    {
    }
    Impl(const Impl& other)
        : settings(other.settings), estimator(other.estimator), cuts(other.cuts),
          path(other.path->clone()), renderer(other.renderer), budgetX(other.budgetX),
          budgetY(other.budgetY), waiting(other.waiting), pushed(other.pushed),
          templatesPlaced(other.templatesPlaced), finished(other.finished), pathX(other.pathX),
          pathY(other.pathY)
    {
    }

    PathStep measure(const FrameView& frame, MotionRecord& record);
    PathStep startPath(MotionRecord& record, bool placed);

    Settings settings;
    MotionEstimator estimator;
    CutDetector cuts;
    std::unique_ptr<CameraPath> path;
    FrameRenderer renderer;
    double budgetX;
    double budgetY;

    std::deque<MotionRecord> waiting;  // pushed, correction not yet final
    std::int64_t pushed = 0;           // index of the next frame
    bool templatesPlaced = false;
    bool finished = false;
    double pathX = 0.0;                // the camera's position on the current path
    double pathY = 0.0;
};

PathStep Stabilizer::Impl::startPath(MotionRecord& record, bool placed)
{
    pathX = pathY = 0.0;
    record.pathX = record.pathY = 0.0;
    // A black or faded-in start: placement is tried again on the next frame.
    return placed ? PathStep::Start : PathStep::Off;
}

PathStep Stabilizer::Impl::measure(const FrameView& frame, MotionRecord& r)
{
    if (settings.mode == PathMode::Design) {
        estimator.runDesign(frame, r);
        pathX += r.wholeMotionX;
        pathY += r.wholeMotionY;
        r.pathX = pathX;
        r.pathY = pathY;
        return r.analysed ? PathStep::Follow : PathStep::Off;
    }
    estimator.loadFrame(frame);
    if (!templatesPlaced) {
        templatesPlaced = estimator.placeTemplates(r);
        return startPath(r, templatesPlaced);
    }
    estimator.measure(r);
    r.cut = cuts.judge(r, estimator.plausible(r));
    if (!r.cut) {
        pathX += r.motionX;
        pathY += r.motionY;
        r.pathX = pathX;
        r.pathY = pathY;
        return PathStep::Follow;
    }
    cuts.restart();
    MotionRecord placement;  // the cut frame keeps what was measured on it
    templatesPlaced = estimator.placeTemplates(placement);
    return startPath(r, templatesPlaced);
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
    s.path->push({step, record.pathX, record.pathY, {record.correctionX, record.correctionY}});
    s.waiting.push_back(record);
    ++s.pushed;
}

Pull Stabilizer::pull(MotionRecord& record)
{
    Impl& s = *impl_;
    if (s.waiting.empty())
        return s.finished ? Pull::End : Pull::NeedInput;
    Correction correction;
    if (!s.path->take(correction))
        return Pull::NeedInput;
    record = s.waiting.front();
    s.waiting.pop_front();
    record.correctionX = correction.x;
    record.correctionY = correction.y;
    if (s.settings.wholePixel) {
        record.correctionX = wholePixels(record.correctionX, s.budgetX);
        record.correctionY = wholePixels(record.correctionY, s.budgetY);
    }
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
    if (!std::isfinite(record.correctionX) || !std::isfinite(record.correctionY))
        throw std::invalid_argument("render: record correction is not finite");
    const double shown = s.settings.border == Border::Crop
                             ? cropShare(input.format, input.width, input.height, s.budgetX, s.budgetY)
                             : 1.0;
    s.renderer.render(input, output,
                      {record.correctionX, record.correctionY, shown, s.settings.border,
                       s.settings.wholePixel, s.settings.fullRange});
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
