// A stabiliser with the frames it still needs: each frame pushed is held
// until its record is final, then handed back with it, in push order, at the
// end of the stream too. `Frame` is whatever owns the host's pixels (a
// decoder's reference-counted frame, a buffer, a copy); it only needs to be
// movable, and it is destroyed exactly once, by the queue or by the host.
//
//   regviafft::FrameQueue<MyFrame> queue(settings);
//   for (each decoded frame f) {
//       queue.push(view of f, std::move(f));
//       while (queue.pull(record, frame))
//           queue.stabilizer().render(record, view of frame, view of an output frame);
//   }
//   queue.finish();
//   while (queue.pull(record, frame)) ...
#ifndef REGVIAFFT_FRAME_QUEUE_H
#define REGVIAFFT_FRAME_QUEUE_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <stdexcept>
#include <utility>

#include "regviafft/stabilizer.h"

namespace regviafft {

template <typename Frame>
class FrameQueue {
public:
    // Throws std::invalid_argument for bad settings.
    explicit FrameQueue(const Settings& settings) : stabilizer_(settings) {}

    // Measures the frame `view` shows and holds `frame` until its record is
    // out. When the stabiliser refuses the frame (it throws), nothing is held.
    void push(const FrameView& view, Frame frame)
    {
        stabilizer_.push(view, firstHeldId_ + static_cast<std::int64_t>(held_.size()));
        held_.push_back(std::move(frame));
    }

    // The oldest held frame with its record, when that record is final;
    // false while more frames are needed, or when every frame is out.
    bool pull(MotionRecord& record, Frame& frame)
    {
        if (held_.empty() || stabilizer_.pull(record) != Pull::Ready)
            return false;
        // Records come out in push order; anything else would pair a frame
        // with another frame's correction.
        if (record.id != firstHeldId_)
            throw std::logic_error("FrameQueue: a record came out of order");
        frame = std::move(held_.front());
        held_.pop_front();
        ++firstHeldId_;
        return true;
    }

    // End of stream: every held frame's record becomes final.
    void finish() { stabilizer_.finish(); }

    // Starts a new stream with the same settings; held frames are dropped.
    void reset()
    {
        stabilizer_.reset();
        held_.clear();
        firstHeldId_ = 0;
    }

    std::size_t held() const { return held_.size(); }
    // For rendering, the settings and the latency.
    Stabilizer& stabilizer() { return stabilizer_; }
    const Stabilizer& stabilizer() const { return stabilizer_; }

private:
    Stabilizer stabilizer_;
    std::deque<Frame> held_;         // pushed and not yet out, oldest first
    std::int64_t firstHeldId_ = 0;   // the id the oldest held frame was pushed with
};

}  // namespace regviafft

#endif
