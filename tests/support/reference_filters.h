// Plain double-precision 5-tap smoothed derivatives with the edge pixel
// repeated beyond the border, to check the library's filtering against.
#ifndef REGVIAFFT_TEST_REFERENCE_FILTERS_H
#define REGVIAFFT_TEST_REFERENCE_FILTERS_H

#include <algorithm>
#include <cstdint>
#include <vector>

namespace reference {

inline const double kLowPass[5] = {0.037659, 0.249153, 0.426375, 0.249153, 0.037659};
inline const double kDeriv[5] = {-0.109604, -0.276691, 0.0, 0.276691, 0.109604};

// out(y, x) = sum over k of taps[k] * in(y + k - 2, x) when vertical, else
// in(y, x + k - 2).
inline std::vector<double> correlate(const std::vector<double>& in, int w, int h,
                                     const double* taps, bool vertical)
{
    std::vector<double> out(in.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            double s = 0.0;
            for (int k = 0; k < 5; ++k) {
                const int yy = vertical ? std::clamp(y + k - 2, 0, h - 1) : y;
                const int xx = vertical ? x : std::clamp(x + k - 2, 0, w - 1);
                s += taps[k] * in[static_cast<size_t>(yy) * w + xx];
            }
            out[static_cast<size_t>(y) * w + x] = s;
        }
    return out;
}

struct Derivatives {
    std::vector<double> dx, dy;
};

// dx: horizontal derivative of the vertically smoothed image; dy the converse.
inline Derivatives smoothedDerivatives(const std::vector<uint8_t>& image, int w, int h)
{
    const std::vector<double> src(image.begin(), image.end());
    return {correlate(correlate(src, w, h, kLowPass, true), w, h, kDeriv, false),
            correlate(correlate(src, w, h, kDeriv, true), w, h, kLowPass, false)};
}

}  // namespace reference

#endif
