// The built-in sample clip, its stabilisation and its score.
#include "sample.h"

#include <opencv2/imgcodecs.hpp>

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "av_handles.h"
#include "camera_clips.h"
#include "exit_status.h"
#include "sample_photo.h"
#include "stabilize_file.h"
#include "video_output.h"

namespace stabilize {
namespace {

using video::Failure;
using video::VideoShape;
using video::VideoOutput;
using video::EncoderChoice;
using video::ScalePtr;
using video::FramePtr;
using video::allocateFrame;
using video::check;
using video::JobOptions;
using video::JobReport;
using video::stabilizeFile;
using video::Progress;
using video::FrameLog;

constexpr int kWidth = 640;
constexpr int kHeight = 360;
constexpr int kFrames = 180;
constexpr int kCutFrame = 110;
constexpr int kFramesPerSecond = 30;
constexpr double kSceneZoom = 2.5;
constexpr double kSecondSceneZoom = 3.2;
constexpr double kSensorNoise = 1.0;  // grey levels rms
const clips::Shake kShake{2.0, 2024};
const clips::Shake kShakeAfterCut{2.0, 2025};

cv::Mat samplePhoto()
{
    const cv::Mat bytes(1, static_cast<int>(kSamplePhotoSize), CV_8U,
                        const_cast<unsigned char*>(kSamplePhoto));
    const cv::Mat photo = cv::imdecode(bytes, cv::IMREAD_COLOR);
    if (photo.empty())
        throw Failure("the built-in sample photograph cannot be decoded");
    return photo;
}

clips::CameraTrack sampleTrack()
{
    const clips::CameraTrack before = clips::shaken(clips::pan(kFrames, 1.6, 0.25), kShake);
    const clips::CameraTrack after =
        clips::shaken(clips::pan(kFrames - kCutFrame, -1.2, 0.4), kShakeAfterCut);
    return clips::withCut(before, after, kCutFrame);
}

VideoShape sampleShape()
{
    VideoShape shape;
    shape.width = kWidth;
    shape.height = kHeight;
    shape.format = AV_PIX_FMT_YUV420P;
    shape.timeBase = {1, kFramesPerSecond};
    shape.frameRate = {kFramesPerSecond, 1};
    shape.sampleAspect = {1, 1};
    shape.range = AVCOL_RANGE_MPEG;
    shape.primaries = AVCOL_PRI_BT709;
    shape.transfer = AVCOL_TRC_BT709;
    shape.space = AVCOL_SPC_BT709;
    return shape;
}

// Renders the shaky clip and encodes it as H.264.
void writeShakyClip(const std::string& path, const clips::CameraTrack& track)
{
    const cv::Mat photo = samplePhoto();
    cv::Mat mirrored;
    cv::flip(photo, mirrored, 1);
    const cv::Mat scenes[2] = {clips::sceneFromPhoto(photo, kSceneZoom),
                               clips::sceneFromPhoto(mirrored, kSecondSceneZoom)};
    const clips::Placement placement = clips::placeTrack(track, scenes[0].cols, scenes[0].rows, kWidth, kHeight);
    const VideoShape shape = sampleShape();
    VideoOutput output(path, shape, EncoderChoice{}, nullptr);
    ScalePtr toYuv(sws_getContext(kWidth, kHeight, AV_PIX_FMT_BGR0, kWidth, kHeight, AV_PIX_FMT_YUV420P,
                                  SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!toYuv)
        throw Failure("cannot convert the sample's frames");
    sws_setColorspaceDetails(toYuv.get(), sws_getCoefficients(SWS_CS_ITU709), 1,
                             sws_getCoefficients(SWS_CS_ITU709), 0, 0, 1 << 16, 1 << 16);
    std::vector<std::uint8_t> pixels(static_cast<size_t>(kWidth) * kHeight * 4);
    for (int t = 0; t < kFrames; ++t) {
        const clips::CameraSample& sample = track[t];
        clips::renderFrame(scenes[sample.scene], sample, placement, kWidth, kHeight, kSensorNoise,
                           static_cast<std::uint32_t>(t), pixels.data(), kWidth * 4);
        FramePtr frame = allocateFrame();
        frame->format = AV_PIX_FMT_YUV420P;
        frame->width = kWidth;
        frame->height = kHeight;
        check(av_frame_get_buffer(frame.get(), 0), "cannot make a sample frame");
        const std::uint8_t* source[1] = {pixels.data()};
        const int stride[1] = {kWidth * 4};
        sws_scale(toYuv.get(), source, stride, 0, kHeight, frame->data, frame->linesize);
        frame->pts = t;
        output.writeVideo(frame.get());
    }
    output.finish();
}

void makeFolder(const std::string& folder)
{
    if (mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST)
        throw Failure("cannot make the folder " + folder + ": " + std::strerror(errno));
}

}  // namespace

int runSample(const Options& options, const std::string& folder, const std::atomic<bool>* stop)
{
    // A bad encoder setting is refused before the sample is rendered.
    video::checkEncoderChoice(options.job.encoder);
    makeFolder(folder);
    const std::string shaky = folder + "/shaky.mp4";
    const std::string stabilized = folder + "/stabilized.mp4";
    const clips::CameraTrack track = sampleTrack();
    if (!options.job.quiet)
        std::fprintf(stderr, "rendering the shaky sample clip into %s\n", shaky.c_str());
    writeShakyClip(shaky, track);

    // The sample's folder is its own: each run replaces what the last one wrote.
    JobOptions job = options.job;
    job.overwrite = true;
    job.motionPath = folder + "/motion.csv";
    job.plotPath = folder + "/path.png";
    Progress progress(Progress::styleFor(options.job.quiet));
    const JobReport report = stabilizeFile(shaky, stabilized, job, progress, stop);

    std::vector<double> cx, cy;
    for (const FrameLog& entry : report.log) {
        cx.push_back(entry.record.correctionX);
        cy.push_back(entry.record.correctionY);
    }
    const clips::CameraTrack shown(track.begin(), track.begin() + static_cast<long>(cx.size()));
    const std::vector<double> none(cx.size(), 0.0);
    if (!options.job.quiet) {
        std::fprintf(stderr,
                     "%s holds shaky.mp4 (the input), stabilized.mp4, motion.csv and path.png\n"
                     "frames: %lld, stabilised at %.1f frames per second\n"
                     "jitter against the known camera path: %.2f px before, %.2f px after\n",
                     folder.c_str(), static_cast<long long>(report.frames),
                     report.seconds > 0.0 ? report.frames / report.seconds : 0.0,
                     clips::jitter(shown, none, none), clips::jitter(shown, cx, cy));
    }
    return report.interrupted ? kInterrupted : kSucceeded;
}

}  // namespace stabilize
