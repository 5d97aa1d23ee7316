// Filling in missing time stamps.
#include "time_stamps.h"

#include <algorithm>

namespace video {
namespace {

// A stream that stops stamping its frames is not held in memory: after this
// many frames without a stamp they follow on, one frame duration apart.
constexpr size_t kMostWaiting = 8;

}  // namespace

TimeStamps::TimeStamps(std::int64_t frameDuration) : frameDuration_(std::max<std::int64_t>(frameDuration, 1)) {}

// The waiting frames get times evenly between the last one handed out and
// `nextStamp`; before the first stamp they count back from it by whole
// frames, after the last one forward (nextStamp is then AV_NOPTS_VALUE).
void TimeStamps::release(std::int64_t nextStamp, std::vector<FramePtr>& ready)
{
    const std::int64_t count = static_cast<std::int64_t>(waiting_.size());
    const std::int64_t before = last_;
    for (std::int64_t k = 0; k < count; ++k) {
        std::int64_t& pts = waiting_[static_cast<size_t>(k)]->pts;
        if (before == AV_NOPTS_VALUE && nextStamp == AV_NOPTS_VALUE)
            pts = k * frameDuration_;
        else if (before == AV_NOPTS_VALUE)
            pts = nextStamp - (count - k) * frameDuration_;
        else if (nextStamp == AV_NOPTS_VALUE)
            pts = before + (k + 1) * frameDuration_;
        else
            pts = before + (nextStamp - before) * (k + 1) / (count + 1);
        last_ = pts;
        ready.push_back(std::move(waiting_[static_cast<size_t>(k)]));
    }
    waiting_.clear();
}

void TimeStamps::push(FramePtr frame, std::vector<FramePtr>& ready)
{
    if (frame->pts == AV_NOPTS_VALUE) {
        waiting_.push_back(std::move(frame));
        if (waiting_.size() == kMostWaiting)
            release(AV_NOPTS_VALUE, ready);
        return;
    }
    release(frame->pts, ready);
    last_ = frame->pts;
    ready.push_back(std::move(frame));
}

void TimeStamps::finish(std::vector<FramePtr>& ready)
{
    release(AV_NOPTS_VALUE, ready);
}

}  // namespace video
