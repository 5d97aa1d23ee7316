// Deterministic synthetic grey frames for registration tests: smooth waves and
// soft-edged rectangles, so every region has edges in both directions and the
// content can be displaced by whole or fractional pixels.
#ifndef REGVIAFFT_TEST_SYNTHETIC_FRAMES_H
#define REGVIAFFT_TEST_SYNTHETIC_FRAMES_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace synthetic {

// Edge profile about one pixel wide, so fractional shifts stay meaningful.
inline double softStep(double t) { return 0.5 + 0.5 * std::tanh(1.5 * t); }

// How the content of a view is placed: turned by `angle` radians (from the x
// axis towards the y axis) and zoomed by `scale` about the frame's centre,
// then displaced by (shiftX, shiftY) pixels, right and down.
struct Placing {
    double shiftX = 0.0;
    double shiftY = 0.0;
    double angle = 0.0;
    double scale = 1.0;
};

// Grey frame of width x height, row-major, packed, of the content placed so:
// frame(p) is the content at c + R(-angle) (p - c - shift) / scale, with c the
// frame's centre.
inline std::vector<uint8_t> texturedView(int width, int height, uint32_t seed, const Placing& placing)
{
    // A fixed congruential generator: the same numbers on every platform,
    // unlike the standard distributions.
    uint32_t state = seed * 2654435761u + 1u;
    auto uniform = [&state](double lo, double hi) {
        state = state * 1664525u + 1013904223u;
        return lo + (hi - lo) * static_cast<double>(state >> 8) / 16777216.0;
    };
    struct Wave { double fx, fy, phase, amplitude; };
    struct Rect { double left, top, right, bottom, level; };
    const double twoPi = 6.283185307179586;
    std::vector<Wave> waves(3);
    for (Wave& w : waves) {
        const double angle = uniform(0.0, twoPi);
        const double period = uniform(7.0, 23.0);
        w = {std::cos(angle) / period, std::sin(angle) / period, uniform(0.0, twoPi),
             uniform(12.0, 25.0)};
    }
    const double largest = std::max(4.0, std::min(width, height) / 3.0);
    std::vector<Rect> rects(12);
    for (Rect& r : rects) {
        const double w = uniform(3.0, largest), h = uniform(3.0, largest);
        const double left = uniform(-w / 2, width - w / 2);
        const double top = uniform(-h / 2, height - h / 2);
        r = {left, top, left + w, top + h, uniform(-70.0, 70.0)};
    }
    std::vector<uint8_t> frame(static_cast<size_t>(width) * height);
    const double cx = (width - 1) / 2.0, cy = (height - 1) / 2.0;
    const double c = std::cos(placing.angle) / placing.scale, s = std::sin(placing.angle) / placing.scale;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            // A plain displacement is computed directly, to the last bit.
            const bool turned = placing.angle != 0.0 || placing.scale != 1.0;
            const double px = x - cx - placing.shiftX, py = y - cy - placing.shiftY;
            const double u = turned ? cx + c * px + s * py : x - placing.shiftX;
            const double v = turned ? cy - s * px + c * py : y - placing.shiftY;
            double value = 120.0;
            for (const Wave& w : waves)
                value += w.amplitude * std::sin(twoPi * (w.fx * u + w.fy * v) + w.phase);
            for (const Rect& r : rects)
                value += r.level * softStep(u - r.left) * softStep(r.right - u) *
                         softStep(v - r.top) * softStep(r.bottom - v);
            frame[static_cast<size_t>(y) * width + x] =
                static_cast<uint8_t>(std::lrint(std::clamp(value, 0.0, 255.0)));
        }
    }
    return frame;
}

// The content displaced by (shiftX, shiftY) pixels: positive moves it right
// and down, so frame(x, y) equals the unshifted frame at (x - shiftX,
// y - shiftY) up to rounding.
inline std::vector<uint8_t> texturedFrame(int width, int height, uint32_t seed,
                                          double shiftX = 0.0, double shiftY = 0.0)
{
    return texturedView(width, height, seed, {shiftX, shiftY, 0.0, 1.0});
}

// Four-byte pixels as the host passes them: grey in the first three bytes,
// 255 in the fourth.
inline std::vector<uint8_t> toFourBytePixels(const std::vector<uint8_t>& grey)
{
    std::vector<uint8_t> out(grey.size() * 4);
    for (size_t i = 0; i < grey.size(); ++i) {
        out[4 * i] = out[4 * i + 1] = out[4 * i + 2] = grey[i];
        out[4 * i + 3] = 255;
    }
    return out;
}

}  // namespace synthetic

#endif
