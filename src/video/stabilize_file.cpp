// The file job: decode, push, pull, render, encode, in the decoder's own
// pixel format where the stabiliser takes it.
#include "stabilize_file.h"

extern "C" {
#include <libavutil/imgutils.h>
}

#include <chrono>
#include <string>

#include "av_handles.h"
#include "output_files.h"
#include "regviafft/frame_queue.h"
#include "regviafft/options.h"
#include "time_stamps.h"
#include "video_input.h"
#include "video_output.h"

namespace video {
namespace {

using regviafft::FrameView;
using regviafft::MotionRecord;

// A frame's time where the file gives no frame rate.
constexpr AVRational kUnknownFrameTime{1, 25};

// The formats the stabiliser takes as they are; anything else becomes 4:2:0.
bool takenAsIs(int format)
{
    return format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_NV12;
}

AVPixelFormat workingFormat(AVPixelFormat decoded)
{
    return takenAsIs(decoded) ? decoded : AV_PIX_FMT_YUV420P;
}

// The frame's planes as a view, starting `left` pixels in (even) for the
// right half of a side-by-side frame.
FrameView viewOf(AVFrame* frame, int width, int height, int left = 0)
{
    if (frame->format == AV_PIX_FMT_NV12)
        return FrameView::nv12(width, height, {frame->data[0] + left, frame->linesize[0]},
                               {frame->data[1] + left, frame->linesize[1]});
    return FrameView::i420(width, height, {frame->data[0] + left, frame->linesize[0]},
                           {frame->data[1] + left / 2, frame->linesize[1]},
                           {frame->data[2] + left / 2, frame->linesize[2]});
}

void fillBlack(AVFrame* frame)
{
    ptrdiff_t linesizes[4];
    for (int p = 0; p < 4; ++p)
        linesizes[p] = frame->linesize[p];
    check(av_image_fill_black(frame->data, linesizes, static_cast<AVPixelFormat>(frame->format),
                              frame->color_range, frame->width, frame->height),
          "cannot make an output frame");
}

std::string sizeText(int width, int height)
{
    return std::to_string(width) + "x" + std::to_string(height);
}

// The job's settings for the file's frames. A refusal of a field no option
// sets is one of the frame size itself, and said so.
regviafft::Settings settingsFor(const JobOptions& job, const VideoInput& input)
{
    regviafft::Settings s = job.settings;
    const AVCodecContext* d = input.decoder();
    s.width = d->width;
    s.height = d->height;
    s.fullRange = d->color_range == AVCOL_RANGE_JPEG || d->pix_fmt == AV_PIX_FMT_YUVJ420P;
    try {
        regviafft::resolveSettings(s);
    } catch (const regviafft::SettingsError& e) {
        if (regviafft::asOptionError(e))
            throw;
        throw Failure(input.name() + ": its " + sizeText(s.width, s.height) +
                      " frames are too small to measure motion in; set the template size yourself to "
                      "stabilise them anyway");
    }
    return s;
}

// One frame's time in the stream's time base, from the frame rate.
std::int64_t frameDuration(const VideoInput& input)
{
    const AVRational rate = input.decoder()->framerate;
    return av_rescale_q(1, rate.num > 0 ? av_inv_q(rate) : kUnknownFrameTime, input.videoStream()->time_base);
}

class FileJob {
public:
    FileJob(const std::string& in, const std::string& out, const JobOptions& job, Progress& progress)
        : job_(job), progress_(progress), input_(in), queue_(settingsFor(job, input_)),
          width_(input_.decoder()->width), height_(input_.decoder()->height),
          evenWidth_(width_ + (width_ & 1)), shape_(outputShape()),
          output_(out, shape_, job.encoder, &input_), timeBase_(input_.videoStream()->time_base),
          stamps_(frameDuration(input_))
    {
    }

    JobReport run(const std::atomic<bool>* stop);

private:
    VideoShape outputShape() const;
    void take(AVFrame* decoded);
    void push(std::vector<FramePtr>& stamped);
    FramePtr toWorking(AVFrame* decoded);
    void drain();
    void render(const MotionRecord& record, AVFrame* in);
    void copyLeftHalf(AVFrame* in, AVFrame* out) const;

    const JobOptions& job_;
    Progress& progress_;
    VideoInput input_;
    regviafft::FrameQueue<FramePtr> queue_;  // the stabiliser with the frames it still needs
    int width_;
    int height_;
    int evenWidth_;  // where the right half of a side-by-side frame starts
    VideoShape shape_;
    VideoOutput output_;
    AVRational timeBase_;
    TimeStamps stamps_;
    ScalePtr converter_;
    AVPixelFormat converterFrom_ = AV_PIX_FMT_NONE;
    std::int64_t pushed_ = 0;
    JobReport report_;
};

VideoShape FileJob::outputShape() const
{
    VideoShape shape = shapeOf(input_);
    shape.format = workingFormat(input_.decoder()->pix_fmt);
    shape.width = job_.sideBySide ? 2 * evenWidth_ : width_;
    return shape;
}

FramePtr FileJob::toWorking(AVFrame* decoded)
{
    FramePtr frame = allocateFrame();
    if (decoded->format == shape_.format) {
        check(av_frame_ref(frame.get(), decoded), "cannot hold a frame");
        return frame;
    }
    const AVPixelFormat from = static_cast<AVPixelFormat>(decoded->format);
    if (!converter_ || converterFrom_ != from) {
        converter_.reset(sws_getContext(width_, height_, from, width_, height_, shape_.format,
                                        SWS_BICUBIC, nullptr, nullptr, nullptr));
        converterFrom_ = from;
        if (!converter_)
            throw Failure(std::string("cannot convert ") + av_get_pix_fmt_name(from) + " frames");
    }
    frame->format = shape_.format;
    frame->width = width_;
    frame->height = height_;
    check(av_frame_get_buffer(frame.get(), 0), "cannot convert a frame");
    sws_scale(converter_.get(), decoded->data, decoded->linesize, 0, height_, frame->data,
              frame->linesize);
    check(av_frame_copy_props(frame.get(), decoded), "cannot convert a frame");
    return frame;
}

void FileJob::take(AVFrame* decoded)
{
    if (decoded->width != width_ || decoded->height != height_)
        throw Failure("the frame size changes from " + sizeText(width_, height_) + " to " +
                      sizeText(decoded->width, decoded->height) + " at frame " + std::to_string(pushed_) +
                      "; cut the file there and stabilise the parts");
    FramePtr frame = toWorking(decoded);
    frame->pts = decoded->best_effort_timestamp;
    std::vector<FramePtr> stamped;
    stamps_.push(std::move(frame), stamped);
    push(stamped);
}

void FileJob::push(std::vector<FramePtr>& stamped)
{
    for (FramePtr& frame : stamped) {
        const FrameView view = viewOf(frame.get(), width_, height_);
        queue_.push(view, std::move(frame));
        ++pushed_;
        drain();
    }
}

void FileJob::copyLeftHalf(AVFrame* in, AVFrame* out) const
{
    const int chromaWidth = (width_ + 1) / 2, chromaHeight = (height_ + 1) / 2;
    av_image_copy_plane(out->data[0], out->linesize[0], in->data[0], in->linesize[0], width_, height_);
    if (in->format == AV_PIX_FMT_NV12) {
        av_image_copy_plane(out->data[1], out->linesize[1], in->data[1], in->linesize[1],
                            2 * chromaWidth, chromaHeight);
        return;
    }
    for (int p = 1; p < 3; ++p)
        av_image_copy_plane(out->data[p], out->linesize[p], in->data[p], in->linesize[p],
                            chromaWidth, chromaHeight);
}

void FileJob::render(const MotionRecord& record, AVFrame* in)
{
    FramePtr out = allocateFrame();
    out->format = shape_.format;
    out->width = shape_.width;
    out->height = shape_.height;
    check(av_frame_get_buffer(out.get(), 0), "cannot make an output frame");
    check(av_frame_copy_props(out.get(), in), "cannot make an output frame");
    if (job_.sideBySide) {
        // An odd-width left half leaves one column between the halves.
        if (evenWidth_ != width_)
            fillBlack(out.get());
        copyLeftHalf(in, out.get());
        queue_.stabilizer().render(record, viewOf(in, width_, height_),
                           viewOf(out.get(), width_, height_, evenWidth_));
    } else {
        queue_.stabilizer().render(record, viewOf(in, width_, height_), viewOf(out.get(), width_, height_));
    }
    output_.writeVideo(out.get());
    report_.log.push_back({record, in->pts * av_q2d(timeBase_)});
}

void FileJob::drain()
{
    MotionRecord record;
    FramePtr frame;
    while (queue_.pull(record, frame)) {
        render(record, frame.get());
        progress_.update(static_cast<std::int64_t>(report_.log.size()));
    }
}

JobReport FileJob::run(const std::atomic<bool>* stop)
{
    const auto started = std::chrono::steady_clock::now();
    progress_.start(input_.frameEstimate());
    FramePtr frame = allocateFrame();
    PacketPtr packet = allocatePacket();
    for (;;) {
        if (stop != nullptr && stop->load()) {
            report_.interrupted = true;
            break;
        }
        const VideoInput::Item item = input_.next(frame.get(), packet.get());
        if (item == VideoInput::Item::End)
            break;
        if (item == VideoInput::Item::Packet) {
            output_.copyPacket(packet.get());
            continue;
        }
        take(frame.get());
        av_frame_unref(frame.get());
    }
    std::vector<FramePtr> stamped;
    stamps_.finish(stamped);
    push(stamped);
    queue_.finish();
    drain();
    report_.frames = static_cast<std::int64_t>(report_.log.size());
    report_.width = width_;
    report_.height = height_;
    report_.paddedWidth = output_.encodedWidth();
    report_.paddedHeight = output_.encodedHeight();
    report_.refusedPackets = input_.refusedPackets();
    report_.earlyEnd = input_.earlyEnd();
    // A file without frames is one no player opens: none is written.
    if (report_.frames == 0 && !report_.interrupted)
        throw Failure(input_.name() + ": no frame of its video could be decoded" +
                      (report_.earlyEnd.empty() ? "" : " (" + report_.earlyEnd + ")"));
    if (report_.frames > 0)
        output_.finish();
    progress_.finish(report_.frames);
    report_.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return std::move(report_);
}

}  // namespace

JobReport stabilizeFile(const std::string& input, const std::string& output, const JobOptions& job,
                        Progress& progress, const std::atomic<bool>* stop)
{
    checkOutputFiles(input, output, job);
    checkEncoderChoice(job.encoder);
    FileJob fileJob(input, output, job, progress);
    JobReport report = fileJob.run(stop);
    if (report.frames == 0)
        return report;
    if (!job.motionPath.empty())
        writeMotionLog(job.motionPath, report.log);
    if (!job.plotPath.empty())
        writePathPlot(job.plotPath, report.log);
    return report;
}

}  // namespace video
