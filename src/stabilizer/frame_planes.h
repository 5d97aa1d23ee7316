// The planes of a frame view: their sizes, pixel widths and black levels, and
// the checks every view passes before a byte of it is read or written.
#ifndef REGVIAFFT_STABILIZER_FRAME_PLANES_H
#define REGVIAFFT_STABILIZER_FRAME_PLANES_H

#include <cstdint>

#include "regviafft/stabilizer.h"

namespace regviafft {

// One plane as the renderer sees it.
struct PlaneLayout {
    int width;               // pixels
    int height;              // rows
    int bytesPerPixel;
    int subsampling;         // 1 for full-size planes, 2 for 4:2:0 chroma
    std::uint8_t black[4];   // the bytes of a black pixel
};

int planeCount(PixelFormat format);
PlaneLayout planeLayout(PixelFormat format, int plane, int width, int height, bool fullRange);
const char* formatName(PixelFormat format);

// Throws std::invalid_argument, naming `role` and the fault, unless the view
// has a known format, the expected size, and every plane it uses has a
// pointer and a stride that holds a row.
void checkFrame(const FrameView& frame, int width, int height, const char* role);

// Address of row r of a plane, for negative strides too.
inline std::uint8_t* planeRow(const Plane& plane, int row)
{
    return plane.data + row * plane.stride;
}

}  // namespace regviafft

#endif
