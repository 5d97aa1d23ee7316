// Encoding, stream copy and muxing of the output file.
#include "video_output.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "frame_padding.h"
#include "video_input.h"

namespace video {
namespace {

constexpr const char* kPipeFormat = "matroska";
constexpr const char* kPipe = "pipe:1";
constexpr const char* kPartialSuffix = ".partial";

bool isPipe(const std::string& path)
{
    return path == "-";
}

// Rotation, mastering display and other per-stream side data.
void copySideData(const AVStream* from, AVStream* to)
{
    for (int i = 0; i < from->nb_side_data; ++i) {
        const AVPacketSideData& entry = from->side_data[i];
        uint8_t* copy = av_stream_new_side_data(to, entry.type, entry.size);
        if (copy == nullptr)
            throw std::bad_alloc();
        std::memcpy(copy, entry.data, entry.size);
    }
}

// `target` emptied and given buffers of its own for a frame of this format
// and size; `failure` names what could not be done.
void allocateFrame(AVFrame* target, int format, int width, int height, const char* failure)
{
    av_frame_unref(target);
    target->format = format;
    target->width = width;
    target->height = height;
    check(av_frame_get_buffer(target, 0), failure);
}

}  // namespace

std::vector<std::string> videoEncoderNames()
{
    std::vector<std::string> names;
    void* state = nullptr;
    while (const AVCodec* codec = av_codec_iterate(&state))
        if (av_codec_is_encoder(codec) && codec->type == AVMEDIA_TYPE_VIDEO)
            names.push_back(codec->name);
    return names;
}

VideoShape shapeOf(const VideoInput& input)
{
    const AVCodecContext* d = input.decoder();
    VideoShape shape;
    shape.width = d->width;
    shape.height = d->height;
    shape.format = d->pix_fmt;
    shape.timeBase = input.videoStream()->time_base;
    shape.frameRate = d->framerate;
    shape.sampleAspect = d->sample_aspect_ratio;
    shape.range = d->color_range;
    shape.primaries = d->color_primaries;
    shape.transfer = d->color_trc;
    shape.space = d->colorspace;
    shape.chromaLocation = d->chroma_sample_location;
    return shape;
}

VideoOutput::TemporaryFile::~TemporaryFile()
{
    if (!kept_ && !path_.empty())
        std::remove(path_.c_str());
}

VideoOutput::VideoOutput(const std::string& path, const VideoShape& shape,
                         const EncoderChoice& encoder, const VideoInput* copyFrom)
    : path_(path),
      writtenPath_(isPipe(path) ? kPipe : path + kPartialSuffix),
      temporary_(isPipe(path) ? std::string() : writtenPath_),
      packet_(allocatePacket())
{
    AVFormatContext* made = nullptr;
    avformat_alloc_output_context2(&made, nullptr, isPipe(path) ? kPipeFormat : nullptr,
                                   isPipe(path) ? nullptr : path.c_str());
    if (made == nullptr)
        throw Failure("cannot tell the container from the name " + path +
                      " (use .mp4, .mkv, .mov, .avi or - for Matroska on standard output)");
    format_.reset(made);
    addVideoStream(shape, encoder, copyFrom);
    if (copyFrom != nullptr) {
        av_dict_copy(&made->metadata, copyFrom->format()->metadata, 0);
        addCopiedStreams(*copyFrom);
    }
    if (!(made->oformat->flags & AVFMT_NOFILE))
        check(avio_open(&made->pb, writtenPath_.c_str(), AVIO_FLAG_WRITE), "cannot write " + path);
    check(avformat_write_header(made, nullptr), "cannot write " + path);
}

void VideoOutput::addVideoStream(const VideoShape& shape, const EncoderChoice& choice,
                                 const VideoInput* input)
{
    const AVCodec* codec = avcodec_find_encoder_by_name(choice.codec.c_str());
    if (codec != nullptr && avformat_query_codec(format_->oformat, codec->id, FF_COMPLIANCE_NORMAL) == 0)
        throw Failure("the container of " + path_ + " cannot hold " + choice.codec + " video");
    OpenedEncoder opened = openEncoder(choice, shape, format_->oformat->flags & AVFMT_GLOBALHEADER);
    encoder_ = std::move(opened.context);
    padded_ = opened.padded;
    videoStream_ = avformat_new_stream(format_.get(), nullptr);
    if (videoStream_ == nullptr)
        throw std::bad_alloc();
    AVCodecContext* e = encoder_.get();
    frameTimeBase_ = shape.timeBase;
    frameRate_ = shape.frameRate.num > 0 ? shape.frameRate : AVRational{25, 1};
    check(avcodec_parameters_from_context(videoStream_->codecpar, e), "cannot set up " + path_);
    videoStream_->time_base = e->time_base;
    videoStream_->avg_frame_rate = shape.frameRate;
    videoStream_->sample_aspect_ratio = shape.sampleAspect;
    if (input != nullptr) {
        const AVStream* in = input->videoStream();
        videoStream_->avg_frame_rate = in->avg_frame_rate;
        videoStream_->disposition = in->disposition;
        av_dict_copy(&videoStream_->metadata, in->metadata, 0);
        copySideData(in, videoStream_);
    }
    if (padded_)
        paddedFrame_ = allocateFrame();
    if (e->pix_fmt != shape.format) {
        converter_.reset(sws_getContext(e->width, e->height, shape.format, e->width, e->height, e->pix_fmt,
                                        SWS_BICUBIC, nullptr, nullptr, nullptr));
        converted_ = allocateFrame();
        if (!converter_)
            throw Failure(std::string("cannot convert ") + av_get_pix_fmt_name(shape.format) +
                          " frames to " + av_get_pix_fmt_name(e->pix_fmt) + " for " + choice.codec);
    }
}

void VideoOutput::addCopiedStreams(const VideoInput& input)
{
    const AVFormatContext* in = input.format();
    streamMap_.assign(in->nb_streams, -1);
    inputTimeBases_.resize(in->nb_streams);
    for (unsigned i = 0; i < in->nb_streams; ++i) {
        const AVStream* from = in->streams[i];
        inputTimeBases_[i] = from->time_base;
        const AVMediaType type = from->codecpar->codec_type;
        if (static_cast<int>(i) == input.videoIndex() ||
            (type != AVMEDIA_TYPE_AUDIO && type != AVMEDIA_TYPE_SUBTITLE))
            continue;
        if (avformat_query_codec(format_->oformat, from->codecpar->codec_id, FF_COMPLIANCE_NORMAL) == 0)
            throw Failure("the container of " + path_ + " cannot hold stream " + std::to_string(i) +
                          " (" + avcodec_get_name(from->codecpar->codec_id) +
                          "); choose another, such as .mkv");
        AVStream* to = avformat_new_stream(format_.get(), nullptr);
        if (to == nullptr)
            throw std::bad_alloc();
        check(avcodec_parameters_copy(to->codecpar, from->codecpar), "cannot copy stream " + std::to_string(i));
        to->codecpar->codec_tag = 0;
        to->time_base = from->time_base;
        to->disposition = from->disposition;
        av_dict_copy(&to->metadata, from->metadata, 0);
        copySideData(from, to);
        streamMap_[i] = to->index;
    }
}

AVFrame* VideoOutput::padToEncoder(AVFrame* frame)
{
    if (!padded_)
        return frame;
    allocateFrame(paddedFrame_.get(), frame->format, encoder_->width, encoder_->height, "cannot pad a frame");
    padFrame(frame, paddedFrame_.get());
    check(av_frame_copy_props(paddedFrame_.get(), frame), "cannot pad a frame");
    return paddedFrame_.get();
}

AVFrame* VideoOutput::convertForEncoder(AVFrame* frame)
{
    if (!converter_)
        return frame;
    allocateFrame(converted_.get(), encoder_->pix_fmt, frame->width, frame->height, "cannot convert a frame");
    sws_scale(converter_.get(), frame->data, frame->linesize, 0, frame->height, converted_->data,
              converted_->linesize);
    check(av_frame_copy_props(converted_.get(), frame), "cannot convert a frame");
    return converted_.get();
}

void VideoOutput::writeVideo(AVFrame* frame)
{
    AVFrame* sent = convertForEncoder(padToEncoder(frame));
    std::int64_t pts = frame->pts == AV_NOPTS_VALUE
                           ? AV_NOPTS_VALUE
                           : av_rescale_q(frame->pts, frameTimeBase_, encoder_->time_base);
    // Every frame is kept: a missing or repeated time stamp becomes the next tick.
    if (pts == AV_NOPTS_VALUE || (lastPts_ != AV_NOPTS_VALUE && pts <= lastPts_))
        pts = lastPts_ == AV_NOPTS_VALUE ? 0 : lastPts_ + 1;
    lastPts_ = pts;
    sent->pts = pts;
    // Encoders do not carry a frame's duration to its packet; containers that
    // store durations (MP4) would shorten the last frame to nothing.
    const std::int64_t duration = frame->pkt_duration > 0
                                      ? av_rescale_q(frame->pkt_duration, frameTimeBase_, encoder_->time_base)
                                      : av_rescale_q(1, av_inv_q(frameRate_), encoder_->time_base);
    durations_[pts] = std::max<std::int64_t>(duration, 1);
    sent->pict_type = AV_PICTURE_TYPE_NONE;
    check(avcodec_send_frame(encoder_.get(), sent), "cannot encode a frame");
    drainEncoder();
}

void VideoOutput::drainEncoder()
{
    for (;;) {
        const int received = avcodec_receive_packet(encoder_.get(), packet_.get());
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF)
            return;
        check(received, "cannot encode a frame");
        const auto duration = durations_.find(packet_->pts);
        if (duration != durations_.end()) {
            packet_->duration = duration->second;
            durations_.erase(duration);
        }
        av_packet_rescale_ts(packet_.get(), encoder_->time_base, videoStream_->time_base);
        packet_->stream_index = videoStream_->index;
        check(av_interleaved_write_frame(format_.get(), packet_.get()), "cannot write " + path_);
    }
}

void VideoOutput::copyPacket(AVPacket* packet)
{
    const int to = streamMap_[packet->stream_index];
    if (to < 0) {
        av_packet_unref(packet);
        return;
    }
    av_packet_rescale_ts(packet, inputTimeBases_[packet->stream_index], format_->streams[to]->time_base);
    packet->stream_index = to;
    packet->pos = -1;
    check(av_interleaved_write_frame(format_.get(), packet), "cannot write " + path_);
}

void VideoOutput::finish()
{
    check(avcodec_send_frame(encoder_.get(), nullptr), "cannot encode the last frames");
    drainEncoder();
    check(av_write_trailer(format_.get()), "cannot write " + path_);
    if (!(format_->oformat->flags & AVFMT_NOFILE))
        check(avio_closep(&format_->pb), "cannot write " + path_);
    if (!isPipe(path_) && std::rename(writtenPath_.c_str(), path_.c_str()) != 0)
        throw Failure("cannot name the output " + path_ + ": " + std::strerror(errno));
    temporary_.keep();
}

}  // namespace video
