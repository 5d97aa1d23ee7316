// Demuxing and decoding the input file.
#include "video_input.h"

#include "regviafft/limits.h"

#include <algorithm>
#include <cmath>

namespace video {
namespace {

// "-" names standard input, as it does for most programs that read files.
constexpr const char* kStandardInput = "pipe:0";

}  // namespace

VideoInput::VideoInput(const std::string& path) : path_(path == "-" ? "standard input" : path)
{
    AVFormatContext* opened = nullptr;
    check(avformat_open_input(&opened, path == "-" ? kStandardInput : path.c_str(), nullptr, nullptr),
          "cannot open " + path_);
    format_.reset(opened);
    check(avformat_find_stream_info(opened, nullptr), "cannot read " + path_);
    const AVCodec* codec = nullptr;
    videoIndex_ = av_find_best_stream(opened, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (videoIndex_ == AVERROR_STREAM_NOT_FOUND)
        throw Failure(path_ + " has no video stream");
    if (videoIndex_ < 0 || codec == nullptr)
        throw Failure(path_ + ": no decoder for its video stream (" +
                      avcodec_get_name(format_->streams[std::max(videoIndex_, 0)]->codecpar->codec_id) + ")");
    const AVStream* stream = format_->streams[videoIndex_];
    // A frame size beyond what the stabiliser takes is refused before the
    // decoder allocates anything for it.
    const AVCodecParameters* video = stream->codecpar;
    if (video->width > regviafft::kMaxFrameSide || video->height > regviafft::kMaxFrameSide)
        throw Failure(path_ + ": its " + std::to_string(video->width) + "x" + std::to_string(video->height) +
                      " frames are larger than the " + std::to_string(regviafft::kMaxFrameSide) +
                      "-pixel sides this program takes");
    decoder_.reset(avcodec_alloc_context3(codec));
    if (!decoder_)
        throw std::bad_alloc();
    check(avcodec_parameters_to_context(decoder_.get(), stream->codecpar),
          "cannot set up the decoder of " + path_);
    decoder_->pkt_timebase = stream->time_base;
    decoder_->framerate = av_guess_frame_rate(opened, const_cast<AVStream*>(stream), nullptr);
    // As many threads as the machine has, over frames and slices.
    decoder_->thread_count = 0;
    decoder_->max_pixels = static_cast<int64_t>(regviafft::kMaxFrameSide) * regviafft::kMaxFrameSide;
    decoder_->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    check(avcodec_open2(decoder_.get(), codec, nullptr), "cannot open the decoder of " + path_);
    if (decoder_->width <= 0 || decoder_->height <= 0)
        throw Failure(path_ + ": its video stream has no frame size");
}

std::int64_t VideoInput::frameEstimate() const
{
    const AVStream* stream = videoStream();
    if (stream->nb_frames > 0)
        return stream->nb_frames;
    const AVRational rate = av_guess_frame_rate(format_.get(), const_cast<AVStream*>(stream), nullptr);
    double seconds = 0.0;
    if (stream->duration != AV_NOPTS_VALUE)
        seconds = stream->duration * av_q2d(stream->time_base);
    else if (format_->duration != AV_NOPTS_VALUE)
        seconds = format_->duration / static_cast<double>(AV_TIME_BASE);
    return rate.num > 0 ? std::llround(seconds * av_q2d(rate)) : 0;
}

// A packet the decoder refuses as damaged is counted and passed over: its
// frame is missing, the rest of the stream goes on.
void VideoInput::feedDecoder(AVPacket* packet)
{
    const int sent = avcodec_send_packet(decoder_.get(), packet);
    if (sent == AVERROR_INVALIDDATA)
        ++refusedPackets_;
    else
        check(sent, "cannot decode " + path_);
}

VideoInput::Item VideoInput::next(AVFrame* frame, AVPacket* packet)
{
    for (;;) {
        const int received = avcodec_receive_frame(decoder_.get(), frame);
        if (received == 0)
            return Item::Frame;
        if (received == AVERROR_EOF)
            return Item::End;
        if (received == AVERROR_INVALIDDATA) {
            ++refusedPackets_;
            continue;
        }
        if (received != AVERROR(EAGAIN))
            check(received, "cannot decode " + path_);
        if (draining_)
            return Item::End;
        const int read = av_read_frame(format_.get(), packet);
        if (read < 0) {
            // A damaged or cut-off end of file: what was read is kept.
            if (read != AVERROR_EOF)
                earlyEnd_ = errorText(read);
            draining_ = true;
            check(avcodec_send_packet(decoder_.get(), nullptr), "cannot decode " + path_);
            continue;
        }
        if (packet->stream_index != videoIndex_)
            return Item::Packet;
        feedDecoder(packet);
        av_packet_unref(packet);
    }
}

}  // namespace video
