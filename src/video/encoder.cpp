// Checking and opening the video encoder.
#include "encoder.h"

extern "C" {
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "regviafft/option.h"

namespace video {
namespace {

// Encoders without a constant-quality rate factor take a fixed quantiser
// instead, this many rate-factor steps to one quantiser step.
constexpr double kRateFactorsPerQuantiser = 6.0;
constexpr int kLargestQuantiser = 31;

// The x264 and x265 wrappers hand the preset's name to the encoder library
// unchecked; an unknown one is reported on the terminal, past the
// libraries' log, and fails the open. These are those libraries' presets.
constexpr const char* kX26xEncoders[] = {"libx264", "libx264rgb", "libx265"};
constexpr const char* kX26xPresets[] = {"ultrafast", "superfast", "veryfast", "faster", "fast",
                                        "medium",    "slow",      "slower",   "veryslow", "placebo"};

bool hasOption(void* object, const char* name)
{
    return av_opt_find(object, name, nullptr, 0, 0) != nullptr;
}

const AVCodec* findEncoder(const std::string& name)
{
    const AVCodec* codec = avcodec_find_encoder_by_name(name.c_str());
    if (codec == nullptr || codec->type != AVMEDIA_TYPE_VIDEO)
        throw Failure("no video encoder named '" + name + "' is installed");
    return codec;
}

void checkX26xPreset(const AVCodec* codec, const std::string& preset)
{
    if (std::find_if(std::begin(kX26xEncoders), std::end(kX26xEncoders),
                     [&](const char* name) { return std::strcmp(codec->name, name) == 0; }) == std::end(kX26xEncoders))
        return;
    std::string names;
    for (const char* name : kX26xPresets) {
        if (preset == name)
            return;
        names += (names.empty() ? "" : ", ") + std::string(name);
    }
    throw regviafft::OptionError("preset", "the " + std::string(codec->name) + " encoder has no preset '" + preset +
                                               "' (" + names + ")");
}

std::string numberText(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// The constant quality where the encoder has one, else a fixed quantiser for
// lossy encoders; and the preset. Refusals are the options'.
void applyQuality(AVCodecContext* encoder, const EncoderChoice& choice)
{
    if (const AVOption* crf = av_opt_find(encoder->priv_data, "crf", nullptr, 0, 0)) {
        if (av_opt_set_int(encoder->priv_data, "crf", choice.crf, 0) < 0)
            throw regviafft::OptionError("crf", "the " + choice.codec + " encoder takes " + numberText(crf->min) +
                                                    " to " + numberText(crf->max) + ", got " +
                                                    std::to_string(choice.crf));
        encoder->bit_rate = 0;  // constant quality, not a bit rate
    } else {
        const AVCodecDescriptor* descriptor = avcodec_descriptor_get(encoder->codec_id);
        if (descriptor == nullptr || !(descriptor->props & AV_CODEC_PROP_LOSSLESS)) {
            const int quantiser = std::clamp(
                static_cast<int>(std::lround(choice.crf / kRateFactorsPerQuantiser)), 1, kLargestQuantiser);
            encoder->flags |= AV_CODEC_FLAG_QSCALE;
            encoder->global_quality = FF_QP2LAMBDA * quantiser;
        }
    }
    // The library's own logging is off; this one writes to the terminal itself.
    if (hasOption(encoder->priv_data, "x265-params"))
        av_opt_set(encoder->priv_data, "x265-params", "log-level=none", 0);
    if (hasOption(encoder->priv_data, "preset") &&
        av_opt_set(encoder->priv_data, "preset", choice.preset.c_str(), 0) < 0)
        throw regviafft::OptionError("preset", "the " + choice.codec + " encoder has no preset '" + choice.preset + "'");
}

bool supportsFormat(const AVCodec* codec, AVPixelFormat format)
{
    if (codec->pix_fmts == nullptr)
        return true;
    for (const AVPixelFormat* f = codec->pix_fmts; *f != AV_PIX_FMT_NONE; ++f)
        if (*f == format)
            return true;
    return false;
}

// The frames' own format where the encoder takes it, else 4:2:0, else the
// encoder's first choice.
AVPixelFormat encoderFormat(const AVCodec* codec, AVPixelFormat frames)
{
    if (supportsFormat(codec, frames))
        return frames;
    if (supportsFormat(codec, AV_PIX_FMT_YUV420P))
        return AV_PIX_FMT_YUV420P;
    return codec->pix_fmts[0];
}

CodecPtr allocateEncoder(const AVCodec* codec)
{
    CodecPtr encoder(avcodec_alloc_context3(codec));
    if (!encoder)
        throw std::bad_alloc();
    return encoder;
}

// One attempt at opening, on a context of its own with every setting.
CodecPtr tryOpen(const AVCodec* codec, const EncoderChoice& choice, const VideoShape& shape, int width, int height,
                 AVRational timeBase, bool globalHeader, int& error)
{
    CodecPtr encoder = allocateEncoder(codec);
    AVCodecContext* e = encoder.get();
    e->width = width;
    e->height = height;
    e->pix_fmt = encoderFormat(codec, shape.format);
    e->sample_aspect_ratio = shape.sampleAspect;
    e->time_base = timeBase;
    e->framerate = shape.frameRate;
    e->color_range = shape.range;
    e->color_primaries = shape.primaries;
    e->color_trc = shape.transfer;
    e->colorspace = shape.space;
    e->chroma_sample_location = shape.chromaLocation;
    e->thread_count = choice.threads;
    if (globalHeader)
        e->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    applyQuality(e, choice);
    error = avcodec_open2(e, codec, nullptr);
    return error < 0 ? CodecPtr() : std::move(encoder);
}

}  // namespace

void checkEncoderChoice(const EncoderChoice& choice)
{
    const AVCodec* codec = findEncoder(choice.codec);
    checkX26xPreset(codec, choice.preset);
    applyQuality(allocateEncoder(codec).get(), choice);
}

OpenedEncoder openEncoder(const EncoderChoice& choice, const VideoShape& shape, bool globalHeader)
{
    const AVCodec* codec = findEncoder(choice.codec);
    checkX26xPreset(codec, choice.preset);
    // The frames' own time base keeps every time stamp, variable rates
    // included; some encoders cannot count in it and get one tick per frame.
    std::vector<AVRational> timeBases{shape.timeBase};
    if (shape.frameRate.num > 0 && av_cmp_q(av_inv_q(shape.frameRate), shape.timeBase) != 0)
        timeBases.push_back(av_inv_q(shape.frameRate));
    // 4:2:0 encoders mostly take even sides only; an odd side gets one more
    // row or column, a copy of the last.
    const bool odd = (shape.width | shape.height) & 1;
    int firstError = 0;
    for (const bool padded : {false, true}) {
        if (padded && !odd)
            break;
        const int width = shape.width + (padded ? shape.width & 1 : 0);
        const int height = shape.height + (padded ? shape.height & 1 : 0);
        for (const AVRational timeBase : timeBases) {
            int error = 0;
            if (CodecPtr opened = tryOpen(codec, choice, shape, width, height, timeBase, globalHeader, error))
                return {std::move(opened), padded};
            firstError = firstError != 0 ? firstError : error;
        }
    }
    check(firstError, "cannot open the " + choice.codec + " encoder");
    throw Failure("cannot open the " + choice.codec + " encoder");
}

}  // namespace video
