// Stabilises a shaken sequence made from a still photograph and reports how
// much of the shake is left in the output.
//
//   regviafft-stabilize [--image FILE] [--frames N]
//
// The camera shake is known, and the offset the stabiliser applied is read
// back from the output's zero border (every input pixel carries a fourth byte
// of 255), so the residual motion is measured, not estimated.
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "RegViaFFT.h"

namespace {

constexpr int kFrameWidth = 480;
constexpr int kFrameHeight = 320;
constexpr int kMaxShake = 24;  // pixels the camera may stray from its rest point

struct Offset {
    int x;
    int y;
};

// Crops the frame whose top-left corner sits at (left, top) of the photo.
void cropFrame(const cv::Mat& photo, int left, int top, std::vector<unsigned char>& frame)
{
    for (int r = 0; r < kFrameHeight; ++r) {
        const unsigned char* in = photo.ptr<unsigned char>(top + r) + left * 3;
        unsigned char* out = frame.data() + static_cast<size_t>(r) * kFrameWidth * 4;
        for (int c = 0; c < kFrameWidth; ++c) {
            out[4 * c] = in[3 * c];
            out[4 * c + 1] = in[3 * c + 1];
            out[4 * c + 2] = in[3 * c + 2];
            out[4 * c + 3] = 255;
        }
    }
}

// Width of the zero border on the left (positive) or right (negative) of
// the middle row, and likewise on top or bottom of the middle column.
Offset appliedOffset(const std::vector<unsigned char>& out)
{
    auto alpha = [&](int r, int c) { return out[(static_cast<size_t>(r) * kFrameWidth + c) * 4 + 3]; };
    Offset o{0, 0};
    const int midRow = kFrameHeight / 2;
    const int midCol = kFrameWidth / 2;
    while (o.x < kFrameWidth && alpha(midRow, o.x) == 0) ++o.x;
    if (o.x == 0)
        while (-o.x < kFrameWidth && alpha(midRow, kFrameWidth - 1 + o.x) == 0) --o.x;
    while (o.y < kFrameHeight && alpha(o.y, midCol) == 0) ++o.y;
    if (o.y == 0)
        while (-o.y < kFrameHeight && alpha(kFrameHeight - 1 + o.y, midCol) == 0) --o.y;
    return o;
}

// Root mean square of the frame-to-frame change of a path.
double rmsStep(const std::vector<Offset>& path)
{
    double sum = 0.0;
    for (size_t i = 1; i < path.size(); ++i) {
        const double dx = path[i].x - path[i - 1].x;
        const double dy = path[i].y - path[i - 1].y;
        sum += dx * dx + dy * dy;
    }
    return path.size() > 1 ? std::sqrt(sum / static_cast<double>(path.size() - 1)) : 0.0;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string imagePath = REGVIAFFT_SAMPLE_IMAGE;
    int frames = 90;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--image") == 0 && i + 1 < argc)
            imagePath = argv[++i];
        else if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc)
            frames = std::atoi(argv[++i]);
        else {
            std::fprintf(stderr, "usage: %s [--image FILE] [--frames N]\n", argv[0]);
            return 2;
        }
    }

    const cv::Mat photo = cv::imread(imagePath, cv::IMREAD_COLOR);
    if (photo.empty() || photo.cols < kFrameWidth + 2 * kMaxShake ||
        photo.rows < kFrameHeight + 2 * kMaxShake || frames < 2) {
        std::fprintf(stderr, "cannot use %s: need a photo of at least %dx%d and 2 frames\n",
                     imagePath.c_str(), kFrameWidth + 2 * kMaxShake, kFrameHeight + 2 * kMaxShake);
        return 1;
    }

    CRegViaFFT stabiliser;
    if (stabiliser.Create(kFrameHeight, kFrameWidth, 64, 64, 10, 2, 16, 16, 30, 1.0) != 1) {
        std::fprintf(stderr, "Create failed\n");
        return 1;
    }

    // A hand-held camera: a slow random walk with small jitter, kept in range.
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> jitter(-3, 3);
    std::vector<unsigned char> in(static_cast<size_t>(kFrameWidth) * kFrameHeight * 4);
    std::vector<unsigned char> out(in.size());
    std::vector<Offset> camera;
    std::vector<Offset> content;
    Offset shake{0, 0};
    const int restLeft = (photo.cols - kFrameWidth) / 2;
    const int restTop = (photo.rows - kFrameHeight) / 2;
    int analysed = 0;
    for (int f = 0; f < frames; ++f) {
        shake.x = std::max(-kMaxShake, std::min(kMaxShake, shake.x + jitter(random)));
        shake.y = std::max(-kMaxShake, std::min(kMaxShake, shake.y + jitter(random)));
        cropFrame(photo, restLeft + shake.x, restTop + shake.y, in);
        analysed += stabiliser.Run(in.data(), out.data(), false);
        const Offset applied = appliedOffset(out);
        camera.push_back(shake);
        // Content of the photo at output (r, c) comes from photo row r - oy + top.
        content.push_back({shake.x - applied.x, shake.y - applied.y});
        std::printf("frame %3d  camera %+3d %+3d  applied %+3d %+3d  output %+3d %+3d\n", f,
                    shake.x, shake.y, applied.x, applied.y, content.back().x, content.back().y);
    }
    std::printf("%d of %d frames analysed\n", analysed, frames);
    std::printf("frame-to-frame motion (rms): input %.2f px, output %.2f px\n", rmsStep(camera),
                rmsStep(content));
    stabiliser.Release();
    return 0;
}
