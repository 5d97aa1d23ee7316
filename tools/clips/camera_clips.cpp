// Camera paths, scenes and frames of the synthetic clips.
#include "camera_clips.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace clips {
namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kFramesPerSecond = 30.0;
constexpr double kLowestShakeHz = 1.0;
constexpr double kHighestShakeHz = 8.0;
constexpr int kShakeComponents = 7;
// A walking operator's intended framing wanders over seconds.
constexpr double kLowestSwayHz = 0.1;
constexpr double kHighestSwayHz = 0.35;
constexpr int kSwayComponents = 3;
// The output camera's slow deviations from the intended path are a matter of
// taste; shake is what changes within this many frames.
constexpr double kJitterSigma = 8.0;

// A fixed congruential generator: the same clip on every platform.
struct Random {
    explicit Random(std::uint32_t seed) : state(seed * 2654435761u + 12345u) {}
    double uniform()
    {
        state = state * 1664525u + 1013904223u;
        return static_cast<double>(state >> 8) / 16777216.0;
    }
    double uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }
    std::uint32_t state;
};

// Sum of sinusoids with log-spread periods, scaled to the given rms.
std::vector<double> sinusoidNoise(int frames, double rms, double lowHz, double highHz,
                                  int components, Random& random)
{
    std::vector<double> signal(static_cast<size_t>(frames), 0.0);
    for (int k = 0; k < components; ++k) {
        const double hz = lowHz * std::pow(highHz / lowHz, random.uniform());
        const double phase = random.uniform(0.0, kTwoPi);
        const double weight = 1.0 / std::sqrt(hz);
        for (int t = 0; t < frames; ++t)
            signal[t] += weight * std::sin(kTwoPi * hz * t / kFramesPerSecond + phase);
    }
    double power = 0.0;
    for (double v : signal)
        power += v * v;
    const double scale = frames > 0 && power > 0.0 ? rms / std::sqrt(power / frames) : 0.0;
    for (double& v : signal)
        v *= scale;
    return signal;
}

// Gaussian average of values[first..last] at index t, weights renormalised
// where the window is cut short.
double gaussianAverage(const std::vector<double>& values, int first, int last, int t, double sigma)
{
    const int reach = static_cast<int>(std::ceil(3.0 * sigma));
    double sum = 0.0, weights = 0.0;
    for (int i = std::max(first, t - reach); i <= std::min(last, t + reach); ++i) {
        const double w = std::exp(-(i - t) * (i - t) / (2.0 * sigma * sigma));
        sum += w * values[i];
        weights += w;
    }
    return sum / weights;
}

}  // namespace

CameraTrack tripod(int frames)
{
    return CameraTrack(static_cast<size_t>(frames));
}

CameraTrack walk(int frames, double sway, std::uint32_t seed)
{
    Random random(seed);
    const std::vector<double> x =
        sinusoidNoise(frames, sway, kLowestSwayHz, kHighestSwayHz, kSwayComponents, random);
    const std::vector<double> y =
        sinusoidNoise(frames, sway / 2, kLowestSwayHz, kHighestSwayHz, kSwayComponents, random);
    CameraTrack track(static_cast<size_t>(frames));
    for (int t = 0; t < frames; ++t) {
        track[t].x = track[t].intendedX = x[t] - x[0];
        track[t].y = track[t].intendedY = y[t] - y[0];
    }
    return track;
}

CameraTrack pan(int frames, double pixelsPerFrameX, double pixelsPerFrameY)
{
    CameraTrack track(static_cast<size_t>(frames));
    for (int t = 0; t < frames; ++t) {
        track[t].x = track[t].intendedX = pixelsPerFrameX * t;
        track[t].y = track[t].intendedY = pixelsPerFrameY * t;
    }
    return track;
}

CameraTrack whipPan(int frames, double distance)
{
    const int start = 2 * frames / 5;
    const int length = std::max(1, frames / 5);
    CameraTrack track(static_cast<size_t>(frames));
    for (int t = 0; t < frames; ++t) {
        const double progress = std::clamp(static_cast<double>(t - start) / length, 0.0, 1.0);
        track[t].x = track[t].intendedX = distance * 0.5 * (1.0 - std::cos(kTwoPi / 2 * progress));
    }
    return track;
}

CameraTrack shaken(CameraTrack track, const Shake& shake)
{
    Random random(shake.seed);
    const int frames = static_cast<int>(track.size());
    const std::vector<double> x = sinusoidNoise(frames, shake.amplitude, kLowestShakeHz,
                                                kHighestShakeHz, kShakeComponents, random);
    const std::vector<double> y = sinusoidNoise(frames, shake.amplitude, kLowestShakeHz,
                                                kHighestShakeHz, kShakeComponents, random);
    for (int t = 0; t < frames; ++t) {
        track[t].x += x[t];
        track[t].y += y[t];
    }
    return track;
}

CameraTrack withCut(CameraTrack before, const CameraTrack& after, int cutFrame)
{
    for (size_t t = static_cast<size_t>(cutFrame); t < before.size() && t - cutFrame < after.size(); ++t) {
        before[t] = after[t - cutFrame];
        before[t].scene = 1;
    }
    return before;
}

cv::Mat sceneFromPhoto(const cv::Mat& photo, double zoom, double contrast)
{
    cv::Mat scene;
    cv::resize(photo, scene, cv::Size(), zoom, zoom, cv::INTER_CUBIC);
    if (contrast != 1.0) {
        const cv::Scalar mean = cv::mean(scene);
        scene.convertTo(scene, -1, contrast, 0.0);
        scene += mean * (1.0 - contrast);
    }
    return scene;
}

Placement placeTrack(const CameraTrack& track, int sceneWidth, int sceneHeight, int width,
                     int height)
{
    double minX = 0.0, maxX = 0.0, minY = 0.0, maxY = 0.0;
    for (const CameraSample& s : track) {
        minX = std::min(minX, s.x);
        maxX = std::max(maxX, s.x);
        minY = std::min(minY, s.y);
        maxY = std::max(maxY, s.y);
    }
    // One pixel spare on the right and below for the bilinear neighbour.
    const double roomX = sceneWidth - width - 1.0, roomY = sceneHeight - height - 1.0;
    if (maxX - minX > roomX || maxY - minY > roomY)
        throw std::invalid_argument("the camera path leaves the scene");
    return {(roomX - (maxX - minX)) / 2.0 - minX, (roomY - (maxY - minY)) / 2.0 - minY};
}

void renderFrame(const cv::Mat& scene, const CameraSample& sample, const Placement& placement,
                 int width, int height, double noise, std::uint32_t seed, std::uint8_t* pixels,
                 std::ptrdiff_t stride)
{
    const double x = placement.left + sample.x, y = placement.top + sample.y;
    const int left = static_cast<int>(std::floor(x)), top = static_cast<int>(std::floor(y));
    const cv::Mat window = scene(cv::Rect(left - 3, top - 3, width + 8, height + 8));
    const cv::Matx23d shift(1.0, 0.0, x - left + 3, 0.0, 1.0, y - top + 3);
    cv::Mat view;
    cv::warpAffine(window, view, shift, cv::Size(width, height),
                   cv::INTER_LANCZOS4 | cv::WARP_INVERSE_MAP);
    Random random(seed);
    for (int r = 0; r < height; ++r) {
        const std::uint8_t* in = view.ptr<std::uint8_t>(r);
        std::uint8_t* out = pixels + r * stride;
        for (int c = 0; c < width; ++c) {
            for (int b = 0; b < 3; ++b) {
                // Four uniforms make a bell curve of variance 1/3.
                const double bell = random.uniform() + random.uniform() + random.uniform() +
                                    random.uniform() - 2.0;
                const double value = in[3 * c + b] + noise * std::sqrt(3.0) * bell;
                out[4 * c + b] = static_cast<std::uint8_t>(std::clamp(std::lrint(value), 0L, 255L));
            }
            out[4 * c + 3] = 255;
        }
    }
}

double jitter(const CameraTrack& track, const std::vector<double>& correctionX,
              const std::vector<double>& correctionY)
{
    const int frames = static_cast<int>(track.size());
    std::vector<double> ex(track.size()), ey(track.size());
    for (int t = 0; t < frames; ++t) {
        ex[t] = track[t].x - correctionX[t] - track[t].intendedX;
        ey[t] = track[t].y - correctionY[t] - track[t].intendedY;
    }
    double sum = 0.0;
    for (int first = 0; first < frames;) {
        int last = first;
        while (last + 1 < frames && track[last + 1].scene == track[first].scene)
            ++last;
        for (int t = first; t <= last; ++t) {
            const double hx = ex[t] - gaussianAverage(ex, first, last, t, kJitterSigma);
            const double hy = ey[t] - gaussianAverage(ey, first, last, t, kJitterSigma);
            sum += hx * hx + hy * hy;
        }
        first = last + 1;
    }
    return frames > 0 ? std::sqrt(sum / frames) : 0.0;
}

}  // namespace clips
