// Frames padded to an encoder's larger size: the extra columns repeat each
// row's last pixel, the extra rows the last row, so the edge shows no seam.
#ifndef REGVIAFFT_VIDEO_FRAME_PADDING_H
#define REGVIAFFT_VIDEO_FRAME_PADDING_H

#include "av_handles.h"

namespace video {

// `to` holds allocated planes of the same pixel format as `from`, at least
// as wide and as high.
void padFrame(const AVFrame* from, AVFrame* to);

}  // namespace video

#endif
