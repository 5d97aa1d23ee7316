// The still-camera judgement.
#include "still_detector.h"

#include <algorithm>

namespace regviafft {
namespace {

// About a second at the frame rates video is shot at.
constexpr int kStillFrames = 30;
// A few frames in a row: one small motion alone is as likely the turning
// point of a shake.
constexpr int kQuietFrames = 3;
// Motion within this many times the measurement's uncertainty is noise.
constexpr double kNoiseMultiple = 3.0;
// The average of the uncertainty reaches back about this many frames.
constexpr int kNoiseFrames = 30;

}  // namespace

void StillDetector::observe(double movement, double uncertainty)
{
    ++frames_;
    ++shotFrames_;
    noise_ += (uncertainty - noise_) / std::min(frames_, kNoiseFrames);
    quietFrames_ = movement <= std::max(floor_, kNoiseMultiple * noise_) ? quietFrames_ + 1 : 0;
}

void StillDetector::restart()
{
    quietFrames_ = kStillFrames;
    shotFrames_ = 0;
}

void StillDetector::moved()
{
    quietFrames_ = 0;
}

bool StillDetector::presumed() const
{
    return still() && shotFrames_ < kStillFrames;
}

bool StillDetector::quiet() const
{
    return quietFrames_ >= kQuietFrames;
}

bool StillDetector::still() const
{
    return quietFrames_ >= kStillFrames;
}

}  // namespace regviafft
