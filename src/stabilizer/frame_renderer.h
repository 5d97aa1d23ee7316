// Renders a frame moved by its correction: whole pixels by row copies,
// fractions of a pixel by a fixed bilinear blend, a turn, a zoom or the crop
// zoom by a bilinear warp; every plane of 4:2:0 frames at
// its own resolution, chroma moved by half the offset.
#ifndef REGVIAFFT_STABILIZER_FRAME_RENDERER_H
#define REGVIAFFT_STABILIZER_FRAME_RENDERER_H

#include <cstdint>
#include <vector>

#include "regviafft/stabilizer.h"

namespace regviafft {

// The content turns by `angle` and zooms by `scale` about the frame's centre,
// then moves by the offset; the crop zoom magnifies the result.
struct RenderGeometry {
    double offsetX;     // content moves this many pixels right
    double offsetY;     // and down
    double angle;       // radians, clockwise as seen
    double scale;
    double shownShare;  // 1, or less to zoom in about the centre
    Border border;
    bool wholePixel;
    bool fullRange;
};

// The share of the frame shown by the crop zoom: the largest that keeps a
// correction of up to the budget (pixels per axis) from uncovering a border
// pixel in any plane of the format.
double cropShare(PixelFormat format, int width, int height, double budgetX, double budgetY);

class FrameRenderer {
public:
    // Writes input moved by the geometry into output. Views are checked by
    // the caller; output may be input itself (every plane at the same place),
    // any other overlap throws std::invalid_argument.
    void render(const FrameView& input, const FrameView& output, const RenderGeometry& geometry);

private:
    FrameView copyToScratch(const FrameView& frame);

    std::vector<std::uint8_t> scratch_;  // the input of an in-place render
    std::vector<std::uint8_t> padded_;   // one source row with its border
    std::vector<std::uint16_t> rows_;    // two source rows blended across
    std::vector<std::uint16_t> weights_; // a warped row's weights across and down
};

}  // namespace regviafft

#endif
