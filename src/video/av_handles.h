// Owners for the video libraries' objects, and their error codes as text.
#ifndef REGVIAFFT_VIDEO_AV_HANDLES_H
#define REGVIAFFT_VIDEO_AV_HANDLES_H

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <memory>
#include <stdexcept>
#include <string>

namespace video {

struct FrameFree {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct CodecFree {
    void operator()(AVCodecContext* codec) const { avcodec_free_context(&codec); }
};
struct ScaleFree {
    void operator()(SwsContext* scale) const { sws_freeContext(scale); }
};
struct InputClose {
    void operator()(AVFormatContext* format) const { avformat_close_input(&format); }
};
// Closes the file an output context writes, if it opened one, and frees it.
struct OutputClose {
    void operator()(AVFormatContext* format) const
    {
        if (!(format->oformat->flags & AVFMT_NOFILE))
            avio_closep(&format->pb);
        avformat_free_context(format);
    }
};
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFree>;
using ScalePtr = std::unique_ptr<SwsContext, ScaleFree>;
using InputPtr = std::unique_ptr<AVFormatContext, InputClose>;
using OutputPtr = std::unique_ptr<AVFormatContext, OutputClose>;

FramePtr allocateFrame();
PacketPtr allocatePacket();

// The library's own words for an error code.
std::string errorText(int code);

// A failure of the command, said in one line: what could not be done and why.
class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws Failure("<what>: <library's words>") when code is negative.
inline void check(int code, const std::string& what)
{
    if (code < 0)
        throw Failure(what + ": " + errorText(code));
}

}  // namespace video

#endif
