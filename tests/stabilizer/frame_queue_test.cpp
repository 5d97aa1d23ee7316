// The frame queue: every frame pushed comes back once, with its own record,
// in push order, at the end of the stream too; none is kept or lost, whatever
// the mode, a refused push or a reset.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "regviafft/frame_queue.h"
#include "stream_frames.h"

namespace {

using namespace regviafft;

constexpr int kWidth = 160;
constexpr int kHeight = 120;

// A move-only frame that counts the live ones, so a frame held twice, lost or
// destroyed twice shows.
struct Held {
    static inline int alive = 0;
    int number = -1;
    explicit Held(int n) : number(n) { ++alive; }
    Held() = default;
    Held(Held&& other) noexcept : number(other.number) { other.number = -1; }
    Held& operator=(Held&& other) noexcept
    {
        release();
        number = other.number;
        other.number = -1;
        return *this;
    }
    ~Held() { release(); }
    void release()
    {
        if (number >= 0)
            --alive;
        number = -1;
    }
};

Settings settingsFor(PathMode mode)
{
    Settings s;
    s.width = kWidth;
    s.height = kHeight;
    s.mode = mode;
    s.lag = 7;
    return s;
}

TEST(FrameQueue, EveryFrameComesBackOnceWithItsRecordInOrder)
{
    const streams::Scene scene(400, 300, 3);
    std::vector<int> xs, ys;
    for (int t = 0; t < 25; ++t) {
        xs.push_back(50 + (t * 7) % 11);
        ys.push_back(40 + (t * 5) % 9);
    }
    std::vector<streams::Frame> frames = streams::along(scene, xs, ys, kWidth, kHeight);
    for (PathMode mode : {PathMode::Design, PathMode::Causal, PathMode::Lag}) {
        FrameQueue<Held> queue(settingsFor(mode));
        std::vector<int> out;
        MotionRecord record;
        Held frame;
        for (int t = 0; t < static_cast<int>(frames.size()); ++t) {
            queue.push(frames[t].view(PixelFormat::I420), Held(t));
            while (queue.pull(record, frame)) {
                EXPECT_EQ(record.index, frame.number);
                out.push_back(frame.number);
                frame.release();
            }
            // The look-ahead holds exactly `lag` frames; the others none.
            EXPECT_EQ(queue.held(), mode == PathMode::Lag ? std::min<size_t>(t + 1, 7) : 0u);
        }
        queue.finish();
        while (queue.pull(record, frame)) {
            EXPECT_EQ(record.index, frame.number);
            out.push_back(frame.number);
            frame.release();
        }
        ASSERT_EQ(out.size(), frames.size());
        for (size_t t = 0; t < out.size(); ++t)
            EXPECT_EQ(out[t], static_cast<int>(t));
        EXPECT_EQ(Held::alive, 0);
    }
}

TEST(FrameQueue, RefusedFramesAreNotHeldAndResetDropsTheRest)
{
    const streams::Scene scene(400, 300, 4);
    std::vector<streams::Frame> frames = streams::along(scene, {10, 12, 14, 16}, {5, 5, 6, 6}, kWidth, kHeight);
    FrameQueue<Held> queue(settingsFor(PathMode::Lag));
    queue.push(frames[0].view(PixelFormat::Packed4), Held(0));
    // A frame of another size is refused: the host keeps it, nothing is held.
    streams::Bytes small(80 * 60 * 4);
    EXPECT_THROW(queue.push(FrameView::packed(small.data(), 80, 60), Held(1)), std::invalid_argument);
    EXPECT_EQ(queue.held(), 1u);
    EXPECT_EQ(Held::alive, 1);
    queue.push(frames[1].view(PixelFormat::Packed4), Held(2));
    // A reset drops what is held; the next stream numbers its frames from 0.
    queue.reset();
    EXPECT_EQ(queue.held(), 0u);
    EXPECT_EQ(Held::alive, 0);
    queue.push(frames[2].view(PixelFormat::Packed4), Held(3));
    queue.finish();
    MotionRecord record;
    Held frame;
    ASSERT_TRUE(queue.pull(record, frame));
    EXPECT_EQ(frame.number, 3);
    EXPECT_EQ(record.index, 0);
    EXPECT_FALSE(queue.pull(record, frame));
    // Finished: no more frames until a reset.
    EXPECT_THROW(queue.push(frames[3].view(PixelFormat::Packed4), Held(4)), std::runtime_error);
    frame.release();
    EXPECT_EQ(Held::alive, 0);
}

}  // namespace
