// Quality of every camera-path mode on clips with a known camera path, against
// no stabilisation and the usual two-pass smoothing of the same measured
// motion; then the time per frame of each mode at 1920x1080.
//
//   quality [--photo FILE] [--frames N] [--timing-frames N] [--divisor N] [--template N]
//
// Jitter: rms of what is left of the shake (px, lower is steadier). Fill:
// share of the output that the border covers with a black border (%).
#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "camera_clips.h"
#include "regviafft/stabilizer.h"

namespace {

using regviafft::PathMode;

constexpr int kWidth = 480;
constexpr int kHeight = 270;
constexpr double kSceneZoom = 2.0;
constexpr double kFaintContrast = 0.12;
constexpr double kNoise = 1.5;
constexpr double kBudgetPercent = 5.0;
// The usual two-pass smoothing: a centred Gaussian over the whole clip.
constexpr double kTwoPassSigma = 15.0;

// Measurement overrides from the command line; unset keeps the defaults.
regviafft::Settings gMeasurement;

struct Clip {
    std::string name;
    clips::CameraTrack track;
    bool faint;
};

struct Result {
    std::vector<double> cx, cy;      // correction per frame
    std::vector<double> pathX, pathY;
    std::vector<bool> pathStart;     // a path (re)starts on this frame
};

struct Frames {
    int width, height;
    std::vector<std::vector<std::uint8_t>> pixels;
};

Frames renderClip(const Clip& clip, const cv::Mat& photo, int width, int height, double zoom)
{
    const cv::Mat scenes[2] = {clips::sceneFromPhoto(photo, zoom, clip.faint ? kFaintContrast : 1.0),
                               clips::sceneFromPhoto(photo, zoom * 1.25, clip.faint ? kFaintContrast : 1.0)};
    // The second scene, seen after a cut, is the larger: placed on the first, the path fits both.
    const clips::Placement placement =
        clips::placeTrack(clip.track, scenes[0].cols, scenes[0].rows, width, height);
    Frames frames{width, height, {}};
    for (size_t t = 0; t < clip.track.size(); ++t) {
        std::vector<std::uint8_t> frame(static_cast<size_t>(width) * height * 4);
        const clips::CameraSample& s = clip.track[t];
        clips::renderFrame(scenes[s.scene], s, placement, width, height, kNoise,
                           static_cast<std::uint32_t>(t), frame.data(), width * 4);
        frames.pixels.push_back(std::move(frame));
    }
    return frames;
}

regviafft::Settings settingsFor(PathMode mode, int lag, int width, int height)
{
    regviafft::Settings s = gMeasurement;
    s.width = width;
    s.height = height;
    s.mode = mode;
    s.lag = lag;
    s.budgetPercent = kBudgetPercent;
    return s;
}

void collect(const regviafft::MotionRecord& r, Result& result)
{
    result.cx.push_back(r.correctionX);
    result.cy.push_back(r.correctionY);
    result.pathX.push_back(r.pathX);
    result.pathY.push_back(r.pathY);
    result.pathStart.push_back(r.index == 0 || r.cut || !r.analysed);
}

// Runs a whole clip through one mode; renders too when `output` is given.
Result stabilise(const Frames& frames, PathMode mode, int lag, std::vector<std::uint8_t>* output)
{
    regviafft::Stabilizer stabilizer(settingsFor(mode, lag, frames.width, frames.height));
    Result result;
    regviafft::MotionRecord record;
    auto drain = [&] {
        while (stabilizer.pull(record) == regviafft::Pull::Ready) {
            collect(record, result);
            if (output != nullptr) {
                auto& in = const_cast<std::vector<std::uint8_t>&>(frames.pixels[record.id]);
                stabilizer.render(record, regviafft::FrameView::packed(in.data(), frames.width, frames.height),
                                  regviafft::FrameView::packed(output->data(), frames.width, frames.height));
            }
        }
    };
    for (size_t t = 0; t < frames.pixels.size(); ++t) {
        auto& in = const_cast<std::vector<std::uint8_t>&>(frames.pixels[t]);
        stabilizer.push(regviafft::FrameView::packed(in.data(), frames.width, frames.height),
                        static_cast<std::int64_t>(t));
        drain();
    }
    stabilizer.finish();
    drain();
    return result;
}

// Centred Gaussian of the measured path within each path segment, the
// correction clipped to the budget: the usual two-pass approach.
Result twoPass(const Result& measured, int width, int height)
{
    Result r = measured;
    const int n = static_cast<int>(measured.pathX.size());
    const int reach = static_cast<int>(std::ceil(3 * kTwoPassSigma));
    const double bx = kBudgetPercent / 100.0 * width, by = kBudgetPercent / 100.0 * height;
    int first = 0;
    for (int t = 0; t < n; ++t) {
        if (measured.pathStart[t])
            first = t;
        int last = t;
        while (last + 1 < n && !measured.pathStart[last + 1] && last + 1 <= t + reach)
            ++last;
        double sx = 0.0, sy = 0.0, weights = 0.0;
        for (int i = std::max(first, t - reach); i <= last; ++i) {
            const double w = std::exp(-(i - t) * (i - t) / (2 * kTwoPassSigma * kTwoPassSigma));
            sx += w * measured.pathX[i];
            sy += w * measured.pathY[i];
            weights += w;
        }
        r.cx[t] = std::clamp(measured.pathX[t] - sx / weights, -bx, bx);
        r.cy[t] = std::clamp(measured.pathY[t] - sy / weights, -by, by);
    }
    return r;
}

double fillPercent(const Result& r, int width, int height)
{
    double sum = 0.0;
    for (size_t t = 0; t < r.cx.size(); ++t) {
        const double w = std::max(0.0, width - std::fabs(r.cx[t]));
        const double h = std::max(0.0, height - std::fabs(r.cy[t]));
        sum += 1.0 - w * h / (static_cast<double>(width) * height);
    }
    return r.cx.empty() ? 0.0 : 100.0 * sum / r.cx.size();
}

double largestCorrection(const Result& r)
{
    double largest = 0.0;
    for (size_t t = 0; t < r.cx.size(); ++t)
        largest = std::max({largest, std::fabs(r.cx[t]), std::fabs(r.cy[t])});
    return largest;
}

std::vector<Clip> makeClips(int frames)
{
    using namespace clips;
    const int half = frames / 2;
    return {
        {"hand-held walk", shaken(walk(frames, 6.0, 11), {2.5, 101}), false},
        {"hand-held sway", shaken(walk(frames, 14.0, 11), {2.5, 101}), false},
        {"steady pan", shaken(pan(frames, 2.5, 0.4), {1.5, 102}), false},
        {"tripod", tripod(frames), false},
        {"fast pan, faint", shaken(whipPan(frames, 280.0), {1.5, 103}), true},
        {"cut", withCut(shaken(walk(frames, 6.0, 12), {2.5, 104}),
                        shaken(walk(frames - half, 6.0, 13), {2.5, 105}), half),
         false},
    };
}

// A stabilised row of the table: a mode with the settings it runs with.
struct ModeRow {
    const char* name;
    PathMode mode;
    int lag;
};
constexpr ModeRow kModeRows[] = {
    {"design", PathMode::Design, 0},
    {"causal", PathMode::Causal, 0},
    {"lag, 15 frames", PathMode::Lag, 15},
    {"lag, 30 frames", PathMode::Lag, 30},
};
constexpr int kModeCount = sizeof kModeRows / sizeof kModeRows[0];
// The reference rows come first: no stabilisation and the two-pass smoothing.
constexpr int kReferenceRows = 2;

void printTable(const std::vector<Clip>& clipList, const std::vector<std::vector<std::string>>& cells)
{
    std::printf("| mode |");
    for (const Clip& clip : clipList)
        std::printf(" %s |", clip.name.c_str());
    std::printf("\n|---|");
    for (size_t c = 0; c < clipList.size(); ++c)
        std::printf("---|");
    std::printf("\n");
    const char* referenceNames[kReferenceRows] = {"none", "two-pass"};
    for (size_t row = 0; row < cells.size(); ++row) {
        std::printf("| %s |", row < kReferenceRows ? referenceNames[row]
                                                   : kModeRows[row - kReferenceRows].name);
        for (const std::string& cell : cells[row])
            std::printf(" %s |", cell.c_str());
        std::printf("\n");
    }
}

void qualityTable(const cv::Mat& photo, int frameCount)
{
    const std::vector<Clip> clipList = makeClips(frameCount);
    const int rowCount = kReferenceRows + kModeCount;
    std::vector<std::vector<std::string>> cells(rowCount);
    std::vector<double> tripodLargest(rowCount, 0.0);
    for (const Clip& clip : clipList) {
        const Frames frames = renderClip(clip, photo, kWidth, kHeight, kSceneZoom);
        std::vector<Result> rows(rowCount);
        for (int m = 0; m < kModeCount; ++m)
            rows[kReferenceRows + m] = stabilise(frames, kModeRows[m].mode, kModeRows[m].lag, nullptr);
        // Both references from the motion the other modes measured.
        const Result& measured = rows[rowCount - 1];
        rows[0] = measured;
        std::fill(rows[0].cx.begin(), rows[0].cx.end(), 0.0);
        std::fill(rows[0].cy.begin(), rows[0].cy.end(), 0.0);
        rows[1] = twoPass(measured, kWidth, kHeight);
        for (int row = 0; row < rowCount; ++row) {
            char cell[64];
            std::snprintf(cell, sizeof cell, "%.3f (%.1f%%)",
                          clips::jitter(clip.track, rows[row].cx, rows[row].cy),
                          fillPercent(rows[row], kWidth, kHeight));
            cells[row].push_back(cell);
            if (clip.name == "tripod")
                tripodLargest[row] = largestCorrection(rows[row]);
        }
    }
    std::printf("Jitter px (fill %%), %dx%d, %d frames, budget %.0f%%\n\n", kWidth, kHeight,
                frameCount, kBudgetPercent);
    printTable(clipList, cells);
    std::printf("\nTripod, largest correction (px):");
    for (int m = 0; m < kModeCount; ++m)
        std::printf(" %s %.3f;", kModeRows[m].name, tripodLargest[kReferenceRows + m]);
    std::printf("\n");
}

void timingTable(const cv::Mat& photo, int frameCount)
{
    const int width = 1920, height = 1080;
    const Clip clip{"hand-held walk", clips::shaken(clips::walk(frameCount, 6.0, 21), {2.5, 121}),
                    false};
    const Frames frames = renderClip(clip, photo, width, height, 4.0);
    std::vector<std::uint8_t> output(frames.pixels[0].size());
    double designMs = 0.0;
    std::printf("\nTime per frame at %dx%d (push, pull and render; %d frames)\n\n", width, height,
                frameCount);
    std::printf("| mode | ms per frame | vs design |\n|---|---|---|\n");
    for (const ModeRow& row : kModeRows) {
        const auto start = std::chrono::steady_clock::now();
        stabilise(frames, row.mode, row.lag, &output);
        const double ms = std::chrono::duration<double, std::milli>(
                              std::chrono::steady_clock::now() - start).count() / frameCount;
        if (row.mode == PathMode::Design)
            designMs = ms;
        std::printf("| %s | %.2f | %.2f |\n", row.name, ms, ms / designMs);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    std::string photoPath = REGVIAFFT_SAMPLE_IMAGE;
    int frames = 150;
    int timingFrames = 60;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--photo") == 0)
            photoPath = argv[i + 1];
        else if (std::strcmp(argv[i], "--frames") == 0)
            frames = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--timing-frames") == 0)
            timingFrames = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--divisor") == 0)
            gMeasurement.divisor = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--template") == 0)
            gMeasurement.templateWidth = gMeasurement.templateHeight = std::atoi(argv[i + 1]);
    }
    const cv::Mat photo = cv::imread(photoPath, cv::IMREAD_COLOR);
    if (photo.empty() || frames < 20 || timingFrames < 1) {
        std::fprintf(stderr, "quality: cannot read %s, or too few frames\n", photoPath.c_str());
        return 1;
    }
    qualityTable(photo, frames);
    timingTable(photo, timingFrames);
    return 0;
}
