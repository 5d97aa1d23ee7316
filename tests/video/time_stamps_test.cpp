// Time stamps filled in for frames without one: between stamped neighbours,
// before the first stamp, after the last, and for a stream that stops
// stamping, always in the order the frames came.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "time_stamps.h"

namespace {

constexpr std::int64_t kFrame = 40;  // one frame's time in the stream's time base
constexpr std::int64_t kNone = AV_NOPTS_VALUE;

// The stamps the frames come out with, and the order they come out in (each
// frame is marked by its place in `stamps`, kept in a field the filler
// leaves alone).
struct Filled {
    std::vector<std::int64_t> stamps;
    std::vector<std::int64_t> order;
};

Filled fill(const std::vector<std::int64_t>& stamps)
{
    video::TimeStamps filler(kFrame);
    std::vector<video::FramePtr> ready;
    for (size_t i = 0; i < stamps.size(); ++i) {
        video::FramePtr frame = video::allocateFrame();
        frame->pts = stamps[i];
        frame->quality = static_cast<int>(i);
        filler.push(std::move(frame), ready);
    }
    filler.finish(ready);
    Filled filled;
    for (const video::FramePtr& frame : ready) {
        filled.stamps.push_back(frame->pts);
        filled.order.push_back(frame->quality);
    }
    return filled;
}

std::vector<std::int64_t> inOrder(size_t count)
{
    std::vector<std::int64_t> order;
    for (size_t i = 0; i < count; ++i)
        order.push_back(static_cast<std::int64_t>(i));
    return order;
}

}  // namespace

TEST(TimeStamps, FramesBetweenStampsAreSpacedEvenlyAndKeepTheirOrder)
{
    // Two missing between 100 and 200: a third of the gap each, rounded down.
    const Filled filled = fill({100, kNone, kNone, 200, 240});
    EXPECT_EQ(filled.stamps, (std::vector<std::int64_t>{100, 133, 166, 200, 240}));
    EXPECT_EQ(filled.order, inOrder(5));
}

TEST(TimeStamps, FramesAtTheEndsCountWholeFramesFromTheNearestStamp)
{
    EXPECT_EQ(fill({kNone, kNone, 200, 240}).stamps, (std::vector<std::int64_t>{120, 160, 200, 240}));
    // The last frame of some AVI files: one frame after its neighbour.
    EXPECT_EQ(fill({0, 40, 80, kNone}).stamps, (std::vector<std::int64_t>{0, 40, 80, 120}));
    EXPECT_EQ(fill({0, kNone, kNone}).stamps, (std::vector<std::int64_t>{0, 40, 80}));
    EXPECT_EQ(fill({kNone, kNone, kNone}).stamps, (std::vector<std::int64_t>{0, 40, 80}));
}

TEST(TimeStamps, AStreamThatStopsStampingIsNotHeldAndGoesOnAtTheFrameRate)
{
    // Frames are handed on while the stream goes on, a few at most held.
    video::TimeStamps filler(kFrame);
    std::vector<video::FramePtr> ready;
    size_t mostHeld = 0;
    for (int i = 0; i < 100; ++i) {
        video::FramePtr frame = video::allocateFrame();
        frame->pts = i == 0 ? 1000 : kNone;
        filler.push(std::move(frame), ready);
        mostHeld = std::max(mostHeld, static_cast<size_t>(i + 1) - ready.size());
    }
    filler.finish(ready);
    ASSERT_EQ(ready.size(), 100u);
    EXPECT_LE(mostHeld, 8u);
    for (size_t i = 0; i < ready.size(); ++i)
        EXPECT_EQ(ready[i]->pts, 1000 + static_cast<std::int64_t>(i) * kFrame) << i;
    // A stamp after the run of extrapolated ones is kept as it is.
    EXPECT_EQ(fill({0, kNone, kNone, kNone, kNone, kNone, kNone, kNone, kNone, kNone, 1000}).stamps.back(), 1000);
}
