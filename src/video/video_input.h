// Reading a video file: its video stream decoded into frames (with frame
// threads), every other stream's packets handed on untouched.
#ifndef REGVIAFFT_VIDEO_VIDEO_INPUT_H
#define REGVIAFFT_VIDEO_VIDEO_INPUT_H

#include <cstdint>
#include <string>

#include "av_handles.h"

namespace video {

class VideoInput {
public:
    // Opens the file ("-": standard input) and the decoder of its main video
    // stream; throws Failure naming the file and the fault.
    explicit VideoInput(const std::string& path);
    VideoInput(const VideoInput&) = delete;
    VideoInput& operator=(const VideoInput&) = delete;

    enum class Item { Frame, Packet, End };
    // The next decoded video frame, or the next packet of another stream, in
    // file order; End after the decoder has given its last frame.
    Item next(AVFrame* frame, AVPacket* packet);

    // The file's name as messages give it.
    const std::string& name() const { return path_; }
    AVFormatContext* format() const { return format_.get(); }
    const AVStream* videoStream() const { return format_->streams[videoIndex_]; }
    int videoIndex() const { return videoIndex_; }
    const AVCodecContext* decoder() const { return decoder_.get(); }
    // Frames the file says it holds, or estimates from its duration; 0 when unknown.
    std::int64_t frameEstimate() const;
    // Packets the decoder refused: their frames are missing from the output.
    int refusedPackets() const { return refusedPackets_; }
    // Why reading stopped before the end of the file, if it did.
    const std::string& earlyEnd() const { return earlyEnd_; }

private:
    void feedDecoder(AVPacket* packet);

    std::string path_;
    InputPtr format_;
    CodecPtr decoder_;
    int videoIndex_ = -1;
    bool draining_ = false;
    int refusedPackets_ = 0;
    std::string earlyEnd_;
};

}  // namespace video

#endif
