// Writing the output file: the stabilised video encoded, every other stream
// of the input copied, the container chosen by the name. The file is written
// under a temporary name and takes its own only when finished, so a failed
// run never leaves a file that looks complete.
#ifndef REGVIAFFT_VIDEO_VIDEO_OUTPUT_H
#define REGVIAFFT_VIDEO_VIDEO_OUTPUT_H

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "av_handles.h"
#include "encoder.h"

namespace video {

class VideoInput;

// The input's video stream as it is decoded.
VideoShape shapeOf(const VideoInput& input);

// Names of the video encoders the installed libraries offer.
std::vector<std::string> videoEncoderNames();

class VideoOutput {
public:
    // "-" writes Matroska to standard output. The audio and subtitle streams
    // of `copyFrom`, if given, are copied with its metadata. Throws Failure
    // naming the fault.
    VideoOutput(const std::string& path, const VideoShape& shape, const EncoderChoice& encoder,
                const VideoInput* copyFrom);
    VideoOutput(const VideoOutput&) = delete;
    VideoOutput& operator=(const VideoOutput&) = delete;

    // A frame with its time stamp in the shape's time base.
    void writeVideo(AVFrame* frame);
    // A packet of another input stream; streams not copied are passed over.
    void copyPacket(AVPacket* packet);
    // Drains the encoder, closes the file and gives it its name.
    void finish();
    // The frames are written one column or row larger, the last repeated:
    // the encoder takes even sides only.
    bool padded() const { return padded_; }
    int encodedWidth() const { return encoder_->width; }
    int encodedHeight() const { return encoder_->height; }

private:
    void addVideoStream(const VideoShape& shape, const EncoderChoice& encoder, const VideoInput* input);
    void addCopiedStreams(const VideoInput& input);
    void drainEncoder();
    AVFrame* padToEncoder(AVFrame* frame);
    AVFrame* convertForEncoder(AVFrame* frame);

    // The file under its temporary name, removed unless the output is
    // finished; destroyed after the context that writes it.
    class TemporaryFile {
    public:
        explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
        ~TemporaryFile();
        TemporaryFile(const TemporaryFile&) = delete;
        TemporaryFile& operator=(const TemporaryFile&) = delete;
        void keep() { kept_ = true; }

    private:
        std::string path_;  // empty: nothing to remove (standard output)
        bool kept_ = false;
    };

    std::string path_;
    std::string writtenPath_;  // the temporary name, or the pipe
    TemporaryFile temporary_;
    OutputPtr format_;
    CodecPtr encoder_;
    AVStream* videoStream_ = nullptr;
    AVRational frameTimeBase_{};
    AVRational frameRate_{};
    std::map<std::int64_t, std::int64_t> durations_;  // by time stamp, until the packet is out
    std::vector<int> streamMap_;        // input stream -> output stream, -1 passed over
    std::vector<AVRational> inputTimeBases_;
    PacketPtr packet_;
    bool padded_ = false;
    FramePtr paddedFrame_;              // frames at the encoder's size, when it is larger
    FramePtr converted_;                // frames in the encoder's format, when it differs
    ScalePtr converter_;
    std::int64_t lastPts_ = AV_NOPTS_VALUE;
};

}  // namespace video

#endif
