// Writing, reading and running: the command-line tests' view of the files.
#include "media_files.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <stdexcept>

#include "synthetic_frames.h"

namespace media {
namespace {

constexpr int kSampleRate = 48000;
constexpr AVRational kMillis{1, 1000};

void check(int code, const char* what)
{
    if (code < 0) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(code, text, sizeof text);
        throw std::runtime_error(std::string(what) + ": " + text);
    }
}

struct Context {
    AVCodecContext* codec = nullptr;
    ~Context() { avcodec_free_context(&codec); }
};

// Sends a frame (null to flush) and writes every packet that comes out.
void encode(AVFormatContext* format, AVCodecContext* codec, AVStream* stream, AVFrame* frame)
{
    check(avcodec_send_frame(codec, frame), "encode");
    AVPacket* packet = av_packet_alloc();
    for (;;) {
        const int got = avcodec_receive_packet(codec, packet);
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
            break;
        check(got, "encode");
        av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        check(av_interleaved_write_frame(format, packet), "write");
    }
    av_packet_free(&packet);
}

// A stream of the file and its encoder, set up by `configure`; the stream
// takes the encoder's time base.
AVStream* addStream(AVFormatContext* format, Context& encoder, const char* name,
                    void (*configure)(AVCodecContext*, const Clip&), const Clip& clip)
{
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    if (codec == nullptr)
        throw std::runtime_error(std::string("no encoder ") + name);
    encoder.codec = avcodec_alloc_context3(codec);
    configure(encoder.codec, clip);
    if (format->oformat->flags & AVFMT_GLOBALHEADER)
        encoder.codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    check(avcodec_open2(encoder.codec, codec, nullptr), name);
    AVStream* stream = avformat_new_stream(format, nullptr);
    check(avcodec_parameters_from_context(stream->codecpar, encoder.codec), name);
    stream->time_base = encoder.codec->time_base;
    return stream;
}

void writeVideo(AVFormatContext* format, AVCodecContext* codec, AVStream* stream, const Clip& clip)
{
    AVFrame* frame = av_frame_alloc();
    for (size_t t = 0; t < clip.lumas.size(); ++t) {
        frame->format = codec->pix_fmt;
        frame->width = clip.width;
        frame->height = clip.height;
        check(av_frame_get_buffer(frame, 0), "frame");
        for (int r = 0; r < clip.height; ++r)
            std::memcpy(frame->data[0] + r * frame->linesize[0], &clip.lumas[t][static_cast<size_t>(r) * clip.width],
                        static_cast<size_t>(clip.width));
        for (int p = 1; p < 3; ++p)
            for (int r = 0; r < (clip.height + 1) / 2; ++r)
                for (int c = 0; c < (clip.width + 1) / 2; ++c)
                    frame->data[p][r * frame->linesize[p] + c] = static_cast<std::uint8_t>(96 + 40 * p + (r + c) % 16);
        frame->pts = clip.millis[t];
        encode(format, codec, stream, frame);
        av_frame_unref(frame);
    }
    av_frame_free(&frame);
    encode(format, codec, stream, nullptr);
}

void writeTone(AVFormatContext* format, AVCodecContext* codec, AVStream* stream, std::int64_t samples)
{
    AVFrame* frame = av_frame_alloc();
    for (std::int64_t start = 0; start < samples; start += codec->frame_size) {
        frame->format = codec->sample_fmt;
        frame->nb_samples = codec->frame_size;
        check(av_channel_layout_copy(&frame->ch_layout, &codec->ch_layout), "audio");
        frame->sample_rate = kSampleRate;
        check(av_frame_get_buffer(frame, 0), "audio");
        float* data = reinterpret_cast<float*>(frame->data[0]);
        for (int i = 0; i < frame->nb_samples; ++i)
            data[i] = 0.2f * static_cast<float>(std::sin(2 * M_PI * 440.0 * (start + i) / kSampleRate));
        frame->pts = start;
        encode(format, codec, stream, frame);
        av_frame_unref(frame);
    }
    av_frame_free(&frame);
    encode(format, codec, stream, nullptr);
}

}  // namespace

ShakyClip shakyClip(int width, int height, int frames, unsigned seed)
{
    const int room = 80, sceneWidth = width + room, sceneHeight = height + room;
    std::vector<std::uint8_t> scene = synthetic::texturedFrame(sceneWidth, sceneHeight, seed);
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> grain(-24, 24), step(-3, 3), gap(25, 50);
    for (std::uint8_t& v : scene)
        v = static_cast<std::uint8_t>(std::clamp(v + grain(random), 0, 255));
    ShakyClip s;
    s.clip.width = width;
    s.clip.height = height;
    std::int64_t millis = 0;
    for (int t = 0; t < frames; ++t) {
        s.x.push_back(t == 0 ? room / 2 : std::clamp(s.x.back() + step(random), 0, room));
        s.y.push_back(t == 0 ? room / 2 : std::clamp(s.y.back() + step(random), 0, room));
        Plane luma(static_cast<size_t>(width) * height);
        for (int r = 0; r < height; ++r)
            std::copy_n(&scene[static_cast<size_t>(s.y[t] + r) * sceneWidth + s.x[t]], width,
                        &luma[static_cast<size_t>(r) * width]);
        s.clip.lumas.push_back(std::move(luma));
        s.clip.millis.push_back(millis);
        millis += gap(random);
    }
    return s;
}

void writeClip(const std::string& path, const Clip& clip)
{
    av_log_set_level(AV_LOG_QUIET);
    AVFormatContext* format = nullptr;
    check(avformat_alloc_output_context2(&format, nullptr, clip.container.c_str(), path.c_str()), "output");
    Context video, audio;
    AVStream* videoStream = nullptr;
    AVStream* audioStream = nullptr;
    if (!clip.lumas.empty())
        videoStream = addStream(format, video, clip.codec.c_str(), [](AVCodecContext* c, const Clip& clip) {
            c->width = clip.width;
            c->height = clip.height;
            // 4:2:0, in the full-range flavour for encoders that take only that.
            c->pix_fmt = clip.codec == "mjpeg" ? AV_PIX_FMT_YUVJ420P : AV_PIX_FMT_YUV420P;
            c->time_base = kMillis;
            c->framerate = {30, 1};
        }, clip);
    if (clip.audio)
        audioStream = addStream(format, audio, "aac", [](AVCodecContext* c, const Clip&) {
            c->sample_fmt = AV_SAMPLE_FMT_FLTP;
            c->sample_rate = kSampleRate;
            c->ch_layout = AV_CHANNEL_LAYOUT_MONO;
            c->bit_rate = 64000;
            c->time_base = {1, kSampleRate};
        }, clip);
    check(avio_open(&format->pb, path.c_str(), AVIO_FLAG_WRITE), "open");
    check(avformat_write_header(format, nullptr), "header");
    if (videoStream != nullptr)
        writeVideo(format, video.codec, videoStream, clip);
    const std::int64_t millis = clip.lumas.empty() ? 1000 : clip.millis.back() + 33;
    if (clip.audio)
        writeTone(format, audio.codec, audioStream, millis * kSampleRate / 1000);
    check(av_write_trailer(format), "trailer");
    avio_closep(&format->pb);
    avformat_free_context(format);
}

Contents readClip(const std::string& path)
{
    av_log_set_level(AV_LOG_QUIET);
    AVFormatContext* format = nullptr;
    check(avformat_open_input(&format, path.c_str(), nullptr, nullptr), "open");
    std::unique_ptr<AVFormatContext*, void (*)(AVFormatContext**)> closer(&format, avformat_close_input);
    check(avformat_find_stream_info(format, nullptr), "streams");
    Contents contents;
    contents.container = format->iformat->name;
    std::vector<Context> decoders(format->nb_streams);
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVCodecParameters* par = format->streams[i]->codecpar;
        const AVCodec* codec = avcodec_find_decoder(par->codec_id);
        if (codec == nullptr || (par->codec_type != AVMEDIA_TYPE_VIDEO && par->codec_type != AVMEDIA_TYPE_AUDIO))
            continue;
        decoders[i].codec = avcodec_alloc_context3(codec);
        check(avcodec_parameters_to_context(decoders[i].codec, par), "decoder");
        decoders[i].codec->pkt_timebase = format->streams[i]->time_base;
        check(avcodec_open2(decoders[i].codec, codec, nullptr), "decoder");
        if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
            contents.videoCodec = codec->name;
            contents.width = par->width;
        }
    }
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    const auto drain = [&](unsigned index) {
        AVCodecContext* c = decoders[index].codec;
        while (avcodec_receive_frame(c, frame) == 0) {
            if (c->codec_type == AVMEDIA_TYPE_AUDIO) {
                contents.audioSamples += frame->nb_samples;
            } else {
                Plane luma(static_cast<size_t>(frame->width) * frame->height);
                for (int r = 0; r < frame->height; ++r)
                    std::memcpy(&luma[static_cast<size_t>(r) * frame->width], frame->data[0] + r * frame->linesize[0],
                                static_cast<size_t>(frame->width));
                contents.lumas.push_back(std::move(luma));
                contents.seconds.push_back(frame->best_effort_timestamp * av_q2d(format->streams[index]->time_base));
            }
            av_frame_unref(frame);
        }
    };
    while (av_read_frame(format, packet) >= 0) {
        const unsigned index = static_cast<unsigned>(packet->stream_index);
        if (decoders[index].codec != nullptr) {
            if (decoders[index].codec->codec_type == AVMEDIA_TYPE_AUDIO)
                ++contents.audioPackets;
            if (avcodec_send_packet(decoders[index].codec, packet) >= 0)
                drain(index);
        }
        av_packet_unref(packet);
    }
    for (unsigned i = 0; i < decoders.size(); ++i)
        if (decoders[i].codec != nullptr && avcodec_send_packet(decoders[i].codec, nullptr) >= 0)
            drain(i);
    av_frame_free(&frame);
    av_packet_free(&packet);
    return contents;
}

Run runProgram(const std::string& program, const std::vector<std::string>& arguments,
               const std::string& stdoutPath, int interruptAfter, long fileSizeLimit, const std::string& stdinPath)
{
    int errors[2];
    if (pipe(errors) != 0)
        throw std::runtime_error("pipe");
    const pid_t child = fork();
    if (child == 0) {
        const int out = open(stdoutPath.empty() ? "/dev/null" : stdoutPath.c_str(),
                             O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, STDOUT_FILENO);
        const int in = open(stdinPath.empty() ? "/dev/null" : stdinPath.c_str(), O_RDONLY);
        dup2(in, STDIN_FILENO);
        dup2(errors[1], STDERR_FILENO);
        if (fileSizeLimit > 0) {
            // Writing past the limit then fails with EFBIG, as on a full disk.
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{static_cast<rlim_t>(fileSizeLimit), static_cast<rlim_t>(fileSizeLimit)};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        close(errors[0]);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& a : arguments)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(errors[1]);
    Run run;
    char buffer[4096];
    int lines = 0;
    for (ssize_t n; (n = read(errors[0], buffer, sizeof buffer)) > 0;) {
        run.errors.append(buffer, static_cast<size_t>(n));
        const int before = lines;
        lines = static_cast<int>(std::count(run.errors.begin(), run.errors.end(), '\n'));
        if (interruptAfter > 0 && before < interruptAfter && lines >= interruptAfter)
            kill(child, SIGINT);
    }
    close(errors[0]);
    int status = 0;
    waitpid(child, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

}  // namespace media
