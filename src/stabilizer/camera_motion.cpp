// The grid measurement, the fit and the still camera frame by frame.
#include "camera_motion.h"

#include <algorithm>
#include <cmath>

namespace regviafft {
namespace {

// Templates agree with a motion within this many analysed pixels: a few
// times what one template's measurement scatters by.
constexpr double kInlierRadius = 1.0;
// A real motion strays from the last frame's by at least this many analysed
// pixels, so that a hand's shake is not taken for a subject.
constexpr double kLeastExpectedSpread = 0.25;
// The expected spread follows how far the camera's motion has strayed from
// frame to frame over about this many frames.
constexpr int kSpreadFrames = 10;
// Below this many analysed pixels a still picture moves by sensor noise and
// compression alone: no motion, whatever the noise estimate says.
constexpr double kStillFloor = 0.15;
// A template that disagrees with the camera this many frames in a row sits
// on something that moves of its own: it is placed anew elsewhere in its cell,
constexpr int kOutlierFrames = 5;
// when this many others agree, so that a frame of confusion moves nothing.
constexpr int kLeastInliersToRespot = 3;
// A camera on a tripod stands still whenever any two templates say so, even
// where a subject fills the rest of the picture.
constexpr int kLeastTripodTemplates = 2;
// A shot's camera presumed still gives way when nearly the whole picture
// moves on this many frames in a row; one frame of a subject swung wide is
// not enough, and the shake of the first frames is all that is lost.
constexpr int kPresumptionFrames = 3;
constexpr double kDegreesPerRadian = 57.29577951308232;

double median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    const size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + middle, values.end());
    return values[middle];
}

// How far one motion takes the measured templates from where another would,
// rms in pixels; only the agreeing ones when `fit` is given.
double strayOver(const std::vector<TemplateObservation>& observations, const Similarity& a,
                 const Similarity& b, const FitOptions& options, const MotionFit* fit)
{
    double sum = 0.0;
    int count = 0;
    for (size_t k = 0; k < observations.size(); ++k) {
        if (!observations[k].measured || (fit != nullptr && !fit->inlier[k]))
            continue;
        const double px = observations[k].x - options.centreX, py = observations[k].y - options.centreY;
        const double dx = a.mapX(px, py) - b.mapX(px, py), dy = a.mapY(px, py) - b.mapY(px, py);
        sum += dx * dx + dy * dy;
        ++count;
    }
    return count > 0 ? std::sqrt(sum / count) : 0.0;
}

// The median peak of the templates that agree with the fit, or of all the
// measured ones when none does.
double agreeingPeak(const std::vector<TemplateObservation>& observations, const MotionFit& fit)
{
    std::vector<double> agreeing, measured;
    for (size_t k = 0; k < observations.size(); ++k)
        if (observations[k].measured)
            (fit.inlier[k] ? agreeing : measured).push_back(observations[k].peak);
    return median(agreeing.empty() ? measured : agreeing);
}

}  // namespace

CameraMotion::CameraMotion(const Settings& s)
    : grid_(s), still_(kStillFloor * *s.divisor), leastSpread_(kLeastExpectedSpread * *s.divisor),
      tripod_(s.tripod)
{
    options_.model = s.motionModel;
    if (s.tripod) {
        options_.leastHeldTemplates = kLeastTripodTemplates;
        options_.leastHeldCoverage = 0.0;
    }
    // The frame turns about the middle of its outer pixels, as it is rendered.
    options_.centreX = (s.width - 1) / 2.0;
    options_.centreY = (s.height - 1) / 2.0;
    options_.inlierRadius = kInlierRadius * *s.divisor;
    options_.expectedSpread = leastSpread_;
}

void CameraMotion::load(const FrameView& frame)
{
    grid_.load(frame);
}

bool CameraMotion::start(MotionRecord& record)
{
    if (!grid_.place())
        return false;
    options_.expected = {};
    options_.expectedSpread = leastSpread_;
    still_.restart();
    judge_.restart();
    outlierFrames_.assign(grid_.count(), 0);
    movedAgainstPresumption_ = 0;
    fillRecord(fitCameraMotion(grid_.observations(), options_), record);
    return true;
}

JudgedMotion CameraMotion::measure(MotionRecord& record)
{
    const std::vector<TemplateObservation>& observations = grid_.measure();
    options_.holdExpected = tripod_ || still_.still();
    options_.presumedHold = !tripod_ && still_.presumed();
    if (options_.holdExpected)
        options_.expected = {};
    JudgedMotion judged;
    judged.predicted = options_.expected;
    judged.held = options_.holdExpected;
    MotionFit fit = fitCameraMotion(observations, options_);
    movedAgainstPresumption_ = fit.wholePictureMoved ? movedAgainstPresumption_ + 1 : 0;
    if (movedAgainstPresumption_ >= kPresumptionFrames)
        still_.moved();
    const Judgement judgement = judge_.judge(fit, agreeingPeak(observations, fit));
    judged.reliable = judgement.reliable;
    if (judged.reliable) {
        followCamera(fit);
        respotOutliers(fit);
    }
    judged.measured = fit.motion;
    fillRecord(fit, record);
    record.confidence = judgement.confidence;
    record.replaced = !judged.reliable;
    return judged;
}

// A reliable frame moves the still camera's judgement and the prediction on.
void CameraMotion::followCamera(MotionFit& fit)
{
    const std::vector<TemplateObservation>& observations = grid_.observations();
    const double uncertainty = fit.residual / std::sqrt(std::max(1, fit.inliers));
    still_.observe(strayOver(observations, fit.motion, {}, options_, &fit), uncertainty);
    // Motion within the measurement's noise is none: a still camera's path
    // stays where it is instead of wandering with the noise.
    if (still_.quiet())
        fit.motion = {};
    const double stray = strayOver(observations, fit.motion, options_.expected, options_, nullptr);
    options_.expectedSpread =
        std::max(leastSpread_, options_.expectedSpread + (stray - options_.expectedSpread) / kSpreadFrames);
    options_.expected = fit.motion;
}

void CameraMotion::fillRecord(const MotionFit& fit, MotionRecord& record) const
{
    const std::vector<TemplateObservation>& observations = grid_.observations();
    record.analysed = true;
    record.templateCount = static_cast<int>(observations.size());
    for (size_t k = 0; k < observations.size(); ++k) {
        const TemplateObservation& o = observations[k];
        record.templates[k] = {o.shiftX, o.shiftY, o.peak, o.x, o.y, fit.inlier[k]};
    }
    record.motionX = fit.motion.x;
    record.motionY = fit.motion.y;
    record.wholeMotionX = static_cast<int>(std::lround(fit.motion.x));
    record.wholeMotionY = static_cast<int>(std::lround(fit.motion.y));
    record.rotation = fit.motion.angle * kDegreesPerRadian;
    record.scale = fit.motion.scale;
    record.inliers = record.votes = fit.inliers;
    record.peak = agreeingPeak(observations, fit);
}

void CameraMotion::respotOutliers(const MotionFit& fit)
{
    const std::vector<TemplateObservation>& observations = grid_.observations();
    for (size_t k = 0; k < observations.size(); ++k) {
        const bool disagrees = observations[k].measured && !fit.inlier[k];
        outlierFrames_[k] = disagrees ? outlierFrames_[k] + 1 : 0;
        if (outlierFrames_[k] >= kOutlierFrames && fit.inliers >= kLeastInliersToRespot) {
            grid_.respot(static_cast<int>(k));
            outlierFrames_[k] = 0;
        }
    }
}

}  // namespace regviafft
