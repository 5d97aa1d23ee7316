// Time stamps for decoded frames that come without one (the last frame of
// some AVI files, a damaged stream): each gets a time between its stamped
// neighbours, spaced evenly, or one frame after the last stamp where no later
// one comes. A frame without a stamp waits here until its neighbour shows,
// a few frames at most.
#ifndef REGVIAFFT_VIDEO_TIME_STAMPS_H
#define REGVIAFFT_VIDEO_TIME_STAMPS_H

#include <cstdint>
#include <vector>

#include "av_handles.h"

namespace video {

class TimeStamps {
public:
    // frameDuration: one frame's time in the stream's time base, at least 1.
    explicit TimeStamps(std::int64_t frameDuration);

    // Takes a frame stamped with its `pts` or AV_NOPTS_VALUE; appends to
    // `ready`, in order, every frame whose time is now known.
    void push(FramePtr frame, std::vector<FramePtr>& ready);
    // The end of the stream: the frames still waiting are appended.
    void finish(std::vector<FramePtr>& ready);

private:
    void release(std::int64_t nextStamp, std::vector<FramePtr>& ready);

    std::int64_t frameDuration_;
    std::int64_t last_ = AV_NOPTS_VALUE;  // the newest time handed out
    std::vector<FramePtr> waiting_;        // frames without a stamp, in order
};

}  // namespace video

#endif
