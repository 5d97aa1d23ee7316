// The stabiliser: measurement on push, the camera path per mode, records
// handed out in push order once final, and rendering on request.
#include <algorithm>
#include <cmath>
#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

#include "camera_path.h"
#include "cut_detector.h"
#include "frame_planes.h"
#include "frame_renderer.h"
#include "motion_estimator.h"
#include "regviafft/stabilizer.h"

namespace regviafft {
namespace {

// A Gaussian window reaches this many sigmas back.
constexpr double kSigmasBack = 3.0;
constexpr double kPercent = 100.0;

// The nearest whole pixel, or the next one towards zero where the nearest
// would leave the budget.
double wholePixels(double correction, double budget)
{
    const double nearest = std::nearbyint(correction);
    return std::fabs(nearest) <= budget ? nearest : std::trunc(correction);
}

struct Entry {
    MotionRecord record;
    bool inPath = false;          // on a camera path (false: passed through)
    std::int64_t pathStart = 0;   // index of the frame its path started on
};

}  // namespace

struct Stabilizer::Impl {
    explicit Impl(const Settings& resolved)
        : settings(resolved), estimator(resolved), trackerX(*resolved.smoothness),
          trackerY(*resolved.smoothness),
          budgetX(resolved.budgetPercent / kPercent * resolved.width),
          budgetY(resolved.budgetPercent / kPercent * resolved.height),
          framesBack(static_cast<int>(std::ceil(kSigmasBack * *resolved.smoothness)))
    {
    }

    void measure(const FrameView& frame, Entry& entry);
    void passThrough(Entry& entry);
    void startPath(Entry& entry);
    void followPath(Entry& entry);
    bool isFinal(const Entry& entry) const;
    void finalise(Entry& entry);
    const Entry& at(std::int64_t index) const { return frames[index - firstKept]; }

    Settings settings;
    MotionEstimator estimator;
    CutDetector cuts;
    CausalTracker trackerX;
    CausalTracker trackerY;
    FrameRenderer renderer;
    double budgetX;
    double budgetY;
    int framesBack;  // Lag mode: path history kept before the next record out

    std::deque<Entry> frames;     // from firstKept to the last pushed
    std::int64_t firstKept = 0;
    std::int64_t pushed = 0;      // index of the next frame
    std::int64_t nextOut = 0;     // index of the next record to hand out
    std::int64_t lastBreak = -1;  // latest frame that started a path or left one
    bool templatesPlaced = false;
    bool finished = false;
    std::int64_t pathStart = 0;   // the current path: its first frame
    double pathX = 0.0;           // and the camera's position on it
    double pathY = 0.0;
};

void Stabilizer::Impl::passThrough(Entry& entry)
{
    entry.inPath = false;
    entry.record.pathX = entry.record.pathY = 0.0;
    entry.record.correctionX = entry.record.correctionY = 0.0;
    lastBreak = entry.record.index;
}

void Stabilizer::Impl::startPath(Entry& entry)
{
    entry.inPath = true;
    entry.pathStart = pathStart = entry.record.index;
    pathX = pathY = 0.0;
    trackerX.restart(0.0);
    trackerY.restart(0.0);
    entry.record.pathX = entry.record.pathY = 0.0;
    entry.record.correctionX = entry.record.correctionY = 0.0;
    lastBreak = entry.record.index;
}

void Stabilizer::Impl::followPath(Entry& entry)
{
    MotionRecord& r = entry.record;
    entry.inPath = true;
    entry.pathStart = pathStart;
    pathX += r.motionX;
    pathY += r.motionY;
    r.pathX = pathX;
    r.pathY = pathY;
    if (settings.mode == PathMode::Causal) {
        r.correctionX = trackerX.correct(pathX, budgetX);
        r.correctionY = trackerY.correct(pathY, budgetY);
    }
}

void Stabilizer::Impl::measure(const FrameView& frame, Entry& entry)
{
    MotionRecord& r = entry.record;
    if (settings.mode == PathMode::Design) {
        estimator.runDesign(frame, r);
        entry.inPath = r.analysed;
        pathX += r.wholeMotionX;
        pathY += r.wholeMotionY;
        r.pathX = pathX;
        r.pathY = pathY;
        return;
    }
    estimator.loadFrame(frame);
    if (!templatesPlaced) {
        // A black or faded-in start: try again on the next frame.
        templatesPlaced = estimator.placeTemplates(r);
        templatesPlaced ? startPath(entry) : passThrough(entry);
        return;
    }
    estimator.measure(r);
    r.cut = cuts.judge(r, estimator.plausible(r));
    if (!r.cut) {
        followPath(entry);
        return;
    }
    cuts.restart();
    MotionRecord placement;  // the cut frame keeps what was measured on it
    templatesPlaced = estimator.placeTemplates(placement);
    templatesPlaced ? startPath(entry) : passThrough(entry);
}

bool Stabilizer::Impl::isFinal(const Entry& entry) const
{
    const std::int64_t index = entry.record.index;
    return settings.mode != PathMode::Lag || !entry.inPath || finished ||
           pushed - 1 >= index + settings.lag || lastBreak > index;
}

void Stabilizer::Impl::finalise(Entry& entry)
{
    MotionRecord& r = entry.record;
    if (settings.mode == PathMode::Lag && entry.inPath) {
        const std::int64_t t = r.index;
        const std::int64_t first = std::max({entry.pathStart, t - framesBack, firstKept});
        std::int64_t last = std::min(t + settings.lag, pushed - 1);
        std::vector<double> xs, ys;
        for (std::int64_t i = first; i <= last; ++i) {
            const Entry& e = at(i);
            // A window never crosses into the next path.
            if (i > t && (!e.inPath || e.pathStart != entry.pathStart))
                break;
            xs.push_back(e.record.pathX);
            ys.push_back(e.record.pathY);
        }
        const int count = static_cast<int>(xs.size());
        const int position = static_cast<int>(t - first);
        r.correctionX = lagCorrection(xs.data(), count, position, *settings.smoothness, budgetX);
        r.correctionY = lagCorrection(ys.data(), count, position, *settings.smoothness, budgetY);
    }
    if (settings.wholePixel) {
        r.correctionX = wholePixels(r.correctionX, budgetX);
        r.correctionY = wholePixels(r.correctionY, budgetY);
    }
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
    Entry entry;
    entry.record.id = id;
    entry.record.index = s.pushed;
    s.measure(frame, entry);
    s.frames.push_back(entry);
    ++s.pushed;
}

Pull Stabilizer::pull(MotionRecord& record)
{
    Impl& s = *impl_;
    if (s.nextOut == s.pushed)
        return s.finished ? Pull::End : Pull::NeedInput;
    Entry& entry = s.frames[s.nextOut - s.firstKept];
    if (!s.isFinal(entry))
        return Pull::NeedInput;
    s.finalise(entry);
    record = entry.record;
    ++s.nextOut;
    // Keep only the path history a later window can still reach.
    const std::int64_t keepFrom =
        s.settings.mode == PathMode::Lag ? s.nextOut - s.framesBack : s.nextOut;
    while (s.firstKept < keepFrom) {
        s.frames.pop_front();
        ++s.firstKept;
    }
    return Pull::Ready;
}

void Stabilizer::finish()
{
    impl_->finished = true;
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
