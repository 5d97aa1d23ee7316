// Padding a frame by repeating its last column and row.
#include "frame_padding.h"

extern "C" {
#include <libavutil/imgutils.h>
}

#include <algorithm>
#include <cstring>

namespace video {
namespace {

// Bytes one pixel takes in the plane: two for the interleaved chroma of NV12.
int pixelStep(const AVPixFmtDescriptor* desc, int plane)
{
    int step = 1;
    for (int c = 0; c < desc->nb_components; ++c)
        if (desc->comp[c].plane == plane)
            step = std::max(step, desc->comp[c].step);
    return step;
}

int planeRows(const AVPixFmtDescriptor* desc, int plane, int height)
{
    const bool chroma = (plane == 1 || plane == 2) && !(desc->flags & AV_PIX_FMT_FLAG_RGB);
    return chroma ? AV_CEIL_RSHIFT(height, desc->log2_chroma_h) : height;
}

}  // namespace

void padFrame(const AVFrame* from, AVFrame* to)
{
    const AVPixelFormat format = static_cast<AVPixelFormat>(from->format);
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    for (int p = 0; p < AV_NUM_DATA_POINTERS && from->data[p] != nullptr; ++p) {
        const int fromRows = planeRows(desc, p, from->height), toRows = planeRows(desc, p, to->height);
        const int fromBytes = av_image_get_linesize(format, from->width, p);
        const int toBytes = av_image_get_linesize(format, to->width, p);
        const int step = pixelStep(desc, p);
        for (int r = 0; r < toRows; ++r) {
            std::uint8_t* row = to->data[p] + static_cast<ptrdiff_t>(r) * to->linesize[p];
            const std::uint8_t* source =
                from->data[p] + static_cast<ptrdiff_t>(std::min(r, fromRows - 1)) * from->linesize[p];
            std::memcpy(row, source, static_cast<size_t>(fromBytes));
            for (int b = fromBytes; b + step <= toBytes; b += step)
                std::memcpy(row + b, row + fromBytes - step, static_cast<size_t>(step));
        }
    }
}

}  // namespace video
