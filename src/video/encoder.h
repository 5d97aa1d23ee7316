// The video encoder of an output file: the user's choice of encoder, quality
// and preset, checked before any frame is read and opened for the frames'
// size, padded to even sides where the encoder takes no other.
#ifndef REGVIAFFT_VIDEO_ENCODER_H
#define REGVIAFFT_VIDEO_ENCODER_H

#include <string>

#include "av_handles.h"

namespace video {

struct EncoderChoice {
    std::string codec = "libx264";
    int crf = 18;                   // constant quality, for encoders that have it
    std::string preset = "medium";  // speed against size, for encoders that have it
    int threads = 0;                // encoder threads; 0: the encoder's choice, one per core
};

// The video stream as it is written: size and pixel format of the frames
// handed to the output, their time base, and what a player needs to show them.
struct VideoShape {
    int width = 0;
    int height = 0;
    AVPixelFormat format = AV_PIX_FMT_YUV420P;
    AVRational timeBase{1, 30};
    AVRational frameRate{30, 1};
    AVRational sampleAspect{0, 1};
    AVColorRange range = AVCOL_RANGE_UNSPECIFIED;
    AVColorPrimaries primaries = AVCOL_PRI_UNSPECIFIED;
    AVColorTransferCharacteristic transfer = AVCOL_TRC_UNSPECIFIED;
    AVColorSpace space = AVCOL_SPC_UNSPECIFIED;
    AVChromaLocation chromaLocation = AVCHROMA_LOC_UNSPECIFIED;
};

// Throws regviafft::OptionError, under the option's name, for a preset or a
// quality the chosen encoder does not take, and Failure for an encoder that
// is not installed. Opens nothing, so it costs nothing before a long run.
void checkEncoderChoice(const EncoderChoice& choice);

struct OpenedEncoder {
    CodecPtr context;     // its width and height are the frames' or, padded, one more
    bool padded = false;  // the frames must be padded by a repeated last column or row
};

// The encoder opened for frames of the shape, with every setting of the
// choice (each attempt starts afresh, so none is lost to a retry). Odd sides
// the encoder refuses are padded to even ones. Throws as checkEncoderChoice,
// and Failure when the encoder cannot be opened at all.
OpenedEncoder openEncoder(const EncoderChoice& choice, const VideoShape& shape, bool globalHeader);

}  // namespace video

#endif
