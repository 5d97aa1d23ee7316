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
// A hand-held camera's roll sways more slowly than its tremor.
constexpr double kLowestRollHz = 0.5;
constexpr double kHighestRollHz = 2.0;
constexpr int kRollComponents = 4;
// A sum of a few sinusoids peaks at about this many times its rms.
constexpr double kPeakToRms = 2.5;
constexpr double kRadiansPerDegree = kTwoPi / 360.0;
// Scene pixels kept around a view beyond its turn and zoom, for the
// interpolation's neighbours.
constexpr int kInterpolationMargin = 4;
// Views averaged into one smeared by the camera's motion.
constexpr int kExposureSteps = 8;
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

CameraTrack rolled(CameraTrack track, double degrees, std::uint32_t seed)
{
    Random random(seed);
    const int frames = static_cast<int>(track.size());
    const std::vector<double> roll = sinusoidNoise(frames, degrees * kRadiansPerDegree / kPeakToRms,
                                                   kLowestRollHz, kHighestRollHz, kRollComponents, random);
    for (int t = 0; t < frames; ++t)
        track[t].angle += roll[t];
    return track;
}

CameraTrack zoomed(CameraTrack track, double last)
{
    const size_t frames = track.size();
    for (size_t t = 0; t < frames; ++t)
        track[t].zoom *= 1.0 + (last - 1.0) * t / std::max<size_t>(1, frames - 1);
    return track;
}

CameraTrack following(const std::vector<cv::Point2d>& subjectPath)
{
    CameraTrack track(subjectPath.size());
    for (size_t t = 0; t < subjectPath.size(); ++t) {
        track[t].x = track[t].intendedX = subjectPath[t].x;
        track[t].y = track[t].intendedY = subjectPath[t].y;
    }
    return track;
}

CameraTrack withCut(CameraTrack before, const CameraTrack& after, int cutFrame, int scene)
{
    for (size_t t = static_cast<size_t>(cutFrame); t < before.size() && t - cutFrame < after.size(); ++t) {
        before[t] = after[t - cutFrame];
        before[t].scene = scene;
        before[t].newShot = t == static_cast<size_t>(cutFrame);
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

cv::Mat subjectLook(const cv::Mat& photo, int width, int height, std::uint32_t seed)
{
    Random random(seed);
    const int w = std::min(photo.cols, std::max(width, photo.cols / 3));
    const int h = std::min(photo.rows, std::max(height, photo.rows / 3));
    const cv::Rect crop(static_cast<int>(random.uniform(0.0, photo.cols - w)),
                        static_cast<int>(random.uniform(0.0, photo.rows - h)), w, h);
    cv::Mat look;
    cv::flip(photo(crop), look, -1);
    cv::resize(look, look, cv::Size(width, height), 0.0, 0.0, cv::INTER_AREA);
    return look;
}

Placement placeTrack(const CameraTrack& track, int sceneWidth, int sceneHeight, int width,
                     int height)
{
    double minX = 0.0, maxX = 0.0, minY = 0.0, maxY = 0.0, reach = 0.0;
    for (const CameraSample& s : track) {
        minX = std::min(minX, s.x);
        maxX = std::max(maxX, s.x);
        minY = std::min(minY, s.y);
        maxY = std::max(maxY, s.y);
        // Half the extent of the turned and zoomed view, beyond the plain one.
        const double c = std::fabs(std::cos(s.angle)), d = std::fabs(std::sin(s.angle));
        reach = std::max({reach, (width * c + height * d) / (2.0 * s.zoom) - width / 2.0,
                          (width * d + height * c) / (2.0 * s.zoom) - height / 2.0});
    }
    const int margin = static_cast<int>(std::ceil(reach)) + kInterpolationMargin;
    // One pixel spare on the right and below for the bilinear neighbour.
    const double roomX = sceneWidth - width - 1.0 - 2.0 * margin;
    const double roomY = sceneHeight - height - 1.0 - 2.0 * margin;
    if (maxX - minX > roomX || maxY - minY > roomY)
        throw std::invalid_argument("the camera path leaves the scene");
    return {margin + (roomX - (maxX - minX)) / 2.0 - minX, margin + (roomY - (maxY - minY)) / 2.0 - minY,
            margin};
}

namespace {

// The view of a camera sample over `window`, a copy of the scene around it
// whose top-left corner is at `origin` in the scene.
cv::Mat viewOf(const cv::Mat& window, cv::Point origin, const CameraSample& sample,
               const Placement& placement, int width, int height)
{
    // Output pixel p, relative to the view's centre, shows the scene at the
    // centre plus R(angle) p / zoom.
    const double centreX = placement.left + sample.x + width / 2.0;
    const double centreY = placement.top + sample.y + height / 2.0;
    const double c = std::cos(sample.angle) / sample.zoom, d = std::sin(sample.angle) / sample.zoom;
    const double ox = centreX - origin.x - (c * width / 2.0 - d * height / 2.0);
    const double oy = centreY - origin.y - (d * width / 2.0 + c * height / 2.0);
    const cv::Matx23d toWindow(c, -d, ox, d, c, oy);
    cv::Mat view;
    cv::warpAffine(window, view, toWindow, cv::Size(width, height),
                   cv::INTER_LANCZOS4 | cv::WARP_INVERSE_MAP);
    return view;
}

// The mean of the views along the camera's motion while the shutter is open.
cv::Mat smearedView(const cv::Mat& window, cv::Point origin, const CameraSample& from,
                    const CameraSample& to, const Placement& placement, int width, int height)
{
    cv::Mat sum(height, width, CV_32FC3, cv::Scalar::all(0.0));
    for (int k = 0; k < kExposureSteps; ++k) {
        const double w = (k + 0.5) / kExposureSteps;
        CameraSample at = to;
        at.x = from.x + w * (to.x - from.x);
        at.y = from.y + w * (to.y - from.y);
        at.angle = from.angle + w * (to.angle - from.angle);
        cv::Mat view;
        viewOf(window, origin, at, placement, width, height).convertTo(view, CV_32FC3);
        sum += view;
    }
    cv::Mat mean;
    sum.convertTo(mean, CV_8UC3, 1.0 / kExposureSteps);
    return mean;
}

}  // namespace

void renderFrame(const cv::Mat& scene, const CameraSample& sample, const Placement& placement,
                 int width, int height, double noise, std::uint32_t seed, std::uint8_t* pixels,
                 std::ptrdiff_t stride, const FrameContent& content)
{
    // A window of the scene around the view that holds the whole turned view
    // and its smear.
    const CameraSample& from = content.exposedFrom != nullptr ? *content.exposedFrom : sample;
    const int reach = placement.margin;
    const cv::Rect around(static_cast<int>(std::floor(placement.left + std::min(sample.x, from.x))) - reach,
                          static_cast<int>(std::floor(placement.top + std::min(sample.y, from.y))) - reach,
                          width + 2 * reach + 1 + static_cast<int>(std::ceil(std::fabs(sample.x - from.x))),
                          height + 2 * reach + 1 + static_cast<int>(std::ceil(std::fabs(sample.y - from.y))));
    cv::Mat window = scene(around).clone();
    const std::vector<Subject> none;
    for (const Subject& subject : content.subjects != nullptr ? *content.subjects : none) {
        const cv::Point2d at = subject.path[content.frame];
        const int left = static_cast<int>(std::lround(placement.left + at.x + (width - subject.look.cols) / 2.0)) - around.x;
        const int top = static_cast<int>(std::lround(placement.top + at.y + (height - subject.look.rows) / 2.0)) - around.y;
        const cv::Rect onWindow = cv::Rect(left, top, subject.look.cols, subject.look.rows) &
                                  cv::Rect(0, 0, window.cols, window.rows);
        if (!onWindow.empty())
            subject.look(onWindow - cv::Point(left, top)).copyTo(window(onWindow));
    }
    const cv::Mat view = content.exposedFrom != nullptr
                             ? smearedView(window, around.tl(), from, sample, placement, width, height)
                             : viewOf(window, around.tl(), sample, placement, width, height);
    Random random(seed);
    for (int r = 0; r < height; ++r) {
        const std::uint8_t* in = view.ptr<std::uint8_t>(r);
        std::uint8_t* out = pixels + r * stride;
        for (int col = 0; col < width; ++col) {
            for (int b = 0; b < 3; ++b) {
                // Four uniforms make a bell curve of variance 1/3.
                const double bell = random.uniform() + random.uniform() + random.uniform() +
                                    random.uniform() - 2.0;
                const double value = in[3 * col + b] + noise * std::sqrt(3.0) * bell;
                out[4 * col + b] = static_cast<std::uint8_t>(std::clamp(std::lrint(value), 0L, 255L));
            }
            out[4 * col + 3] = 255;
        }
    }
}

namespace {

// Rms of the residuals less their Gaussian average within each shot.
double highPassRms(const CameraTrack& track, const std::vector<std::vector<double>>& residuals)
{
    const int frames = static_cast<int>(track.size());
    double sum = 0.0;
    for (int first = 0; first < frames;) {
        int last = first;
        while (last + 1 < frames && track[last + 1].scene == track[first].scene && !track[last + 1].newShot)
            ++last;
        for (const std::vector<double>& e : residuals)
            for (int t = first; t <= last; ++t) {
                const double h = e[t] - gaussianAverage(e, first, last, t, kJitterSigma);
                sum += h * h;
            }
        first = last + 1;
    }
    return frames > 0 ? std::sqrt(sum / frames) : 0.0;
}

}  // namespace

double jitter(const CameraTrack& track, const std::vector<double>& correctionX,
              const std::vector<double>& correctionY)
{
    std::vector<double> ex(track.size()), ey(track.size());
    for (size_t t = 0; t < track.size(); ++t) {
        ex[t] = track[t].x - correctionX[t] - track[t].intendedX;
        ey[t] = track[t].y - correctionY[t] - track[t].intendedY;
    }
    return highPassRms(track, {ex, ey});
}

double rotationJitter(const CameraTrack& track, const std::vector<double>& correctionDegrees)
{
    std::vector<double> e(track.size());
    for (size_t t = 0; t < track.size(); ++t)
        e[t] = (track[t].angle - track[t].intendedAngle) / kRadiansPerDegree - correctionDegrees[t];
    return highPassRms(track, {e});
}

}  // namespace clips
