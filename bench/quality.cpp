// Quality of every camera-path mode on clips with a known camera path, fed as
// 4:2:0 frames (limited-range BT.709 luma, as the command line's decoder hands
// them out), against no stabilisation and the usual two-pass smoothing of the
// same measured motion; then the time per frame of each mode at 1920x1080.
//
//   quality [--photo FILE] [--frames N] [--timing-frames N] [--only NAME]
//
// Jitter: rms of what is left of the shake (px, or degrees for the roll;
// lower is steadier). Fill: share of the output the border covers (%).
// Fixed cameras: any correction is an error, so the largest and the rms
// correction, measured at the frame's corners (px). Cuts: found / true, and
// frames taken for a cut that is not one. Unreliable: frames whose measured
// motion the path did not trust.
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
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
constexpr double kDegreesPerRadian = 57.29577951308232;
// Fill is counted on every this many output pixels across and down.
constexpr int kFillStep = 4;

struct Clip {
    std::string name;
    clips::CameraTrack track;
    bool faint = false;    // a plain, low-contrast picture
    bool smeared = false;  // the camera's motion smears each frame
    bool fixed = false;    // the camera is meant to stand still
    std::vector<clips::Subject> subjects;

    Clip(std::string clipName, clips::CameraTrack cameraTrack, bool faintPicture = false,
         bool smearedByMotion = false)
        : name(std::move(clipName)), track(std::move(cameraTrack)), faint(faintPicture),
          smeared(smearedByMotion)
    {
    }
};

// A frame as the command line's decoder hands it out.
struct Frame420 {
    std::vector<std::uint8_t> y, u, v;
    regviafft::FrameView view(int width, int height)
    {
        const int cw = (width + 1) / 2;
        return regviafft::FrameView::i420(width, height, {y.data(), width}, {u.data(), cw}, {v.data(), cw});
    }
};

struct Frames {
    int width, height;
    std::vector<Frame420> frames;
};

// What a mode did with a clip, frame by frame.
struct Result {
    std::vector<double> cx, cy, angle, scale;  // correction; angle in degrees
    std::vector<double> pathX, pathY, pathAngle;
    std::vector<bool> pathStart;  // a path (re)starts on this frame
    std::vector<bool> cut;
    int unreliable = 0;
};

// Limited-range BT.709 luma and chroma of 4-byte (blue, green, red) pixels.
Frame420 toI420(const std::uint8_t* bgra, int width, int height)
{
    const int cw = (width + 1) / 2, ch = (height + 1) / 2;
    Frame420 f{std::vector<std::uint8_t>(static_cast<size_t>(width) * height),
               std::vector<std::uint8_t>(static_cast<size_t>(cw) * ch),
               std::vector<std::uint8_t>(static_cast<size_t>(cw) * ch)};
    std::vector<double> cb(f.u.size(), 0.0), cr(f.u.size(), 0.0);
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c) {
            const std::uint8_t* p = bgra + (static_cast<size_t>(r) * width + c) * 4;
            const double red = p[2] / 255.0, green = p[1] / 255.0, blue = p[0] / 255.0;
            const double luma = 0.2126 * red + 0.7152 * green + 0.0722 * blue;
            f.y[static_cast<size_t>(r) * width + c] = static_cast<std::uint8_t>(std::lround(16 + 219 * luma));
            const size_t k = static_cast<size_t>(r / 2) * cw + c / 2;
            cb[k] += (blue - luma) / 1.8556 / 4.0;
            cr[k] += (red - luma) / 1.5748 / 4.0;
        }
    for (size_t k = 0; k < f.u.size(); ++k) {
        f.u[k] = static_cast<std::uint8_t>(std::clamp(std::lround(128 + 224 * cb[k]), 16L, 240L));
        f.v[k] = static_cast<std::uint8_t>(std::clamp(std::lround(128 + 224 * cr[k]), 16L, 240L));
    }
    return f;
}

Frames renderClip(const Clip& clip, const cv::Mat& photo, int width, int height, double zoom)
{
    const double contrast = clip.faint ? kFaintContrast : 1.0;
    cv::Mat mirrored, flipped;
    cv::flip(photo, mirrored, 1);
    cv::flip(photo, flipped, 0);
    // Scenes after a cut: larger, so that a path placed on the first fits them.
    const cv::Mat scenes[3] = {clips::sceneFromPhoto(photo, zoom, contrast),
                               clips::sceneFromPhoto(mirrored, zoom * 1.25, contrast),
                               clips::sceneFromPhoto(flipped, zoom * 1.1, contrast)};
    const clips::Placement placement =
        clips::placeTrack(clip.track, scenes[0].cols, scenes[0].rows, width, height);
    Frames frames{width, height, {}};
    std::vector<std::uint8_t> pixels(static_cast<size_t>(width) * height * 4);
    for (size_t t = 0; t < clip.track.size(); ++t) {
        const clips::CameraSample& s = clip.track[t];
        clips::FrameContent content;
        content.subjects = &clip.subjects;
        content.frame = static_cast<int>(t);
        // The shutter is open for the second half of the frame interval.
        clips::CameraSample opened = t > 0 ? clip.track[t - 1] : s;
        opened.x = 0.5 * (opened.x + s.x);
        opened.y = 0.5 * (opened.y + s.y);
        if (clip.smeared && t > 0 && !s.newShot)
            content.exposedFrom = &opened;
        clips::renderFrame(scenes[s.scene], s, placement, width, height, kNoise,
                           static_cast<std::uint32_t>(t), pixels.data(), width * 4, content);
        frames.frames.push_back(toI420(pixels.data(), width, height));
    }
    return frames;
}

struct ModeRow {
    const char* name;
    PathMode mode;
    int lag;
    bool tripod;
};
constexpr ModeRow kModeRows[] = {
    {"design", PathMode::Design, 0, false},
    {"causal", PathMode::Causal, 0, false},
    {"lag, 15 frames", PathMode::Lag, 15, false},
    {"lag, 30 frames", PathMode::Lag, 30, false},
    {"lag, 30 frames, tripod", PathMode::Lag, 30, true},
};
constexpr int kModeCount = sizeof kModeRows / sizeof kModeRows[0];
// The rows whose measured motion the reference rows use: the default mode's.
constexpr int kMeasuringRow = 3;
// The reference rows come first: no stabilisation and the two-pass smoothing.
constexpr int kReferenceRows = 2;
constexpr const char* kReferenceNames[kReferenceRows] = {"none", "two-pass"};

regviafft::Settings settingsFor(const ModeRow& row, int width, int height)
{
    regviafft::Settings s;
    s.width = width;
    s.height = height;
    s.mode = row.mode;
    s.lag = row.lag;
    s.tripod = row.tripod;
    s.budgetPercent = kBudgetPercent;
    return s;
}

void collect(const regviafft::MotionRecord& r, Result& result)
{
    result.cx.push_back(r.correctionX);
    result.cy.push_back(r.correctionY);
    result.angle.push_back(r.correctionRotation);
    result.scale.push_back(r.correctionScale);
    result.pathX.push_back(r.pathX);
    result.pathY.push_back(r.pathY);
    result.pathAngle.push_back(r.pathRotation);
    result.pathStart.push_back(r.index == 0 || r.cut || !r.analysed);
    result.cut.push_back(r.cut);
    result.unreliable += r.replaced;
}

// Runs a whole clip through one mode; renders too when `output` is given.
Result stabilise(Frames& clip, const ModeRow& row, Frame420* output)
{
    regviafft::Stabilizer stabilizer(settingsFor(row, clip.width, clip.height));
    Result result;
    regviafft::MotionRecord record;
    auto drain = [&] {
        while (stabilizer.pull(record) == regviafft::Pull::Ready) {
            collect(record, result);
            if (output != nullptr)
                stabilizer.render(record, clip.frames[record.id].view(clip.width, clip.height),
                                  output->view(clip.width, clip.height));
        }
    };
    for (size_t t = 0; t < clip.frames.size(); ++t) {
        stabilizer.push(clip.frames[t].view(clip.width, clip.height), static_cast<std::int64_t>(t));
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
    const double bAngle = std::min(bx / (height / 2.0), by / (width / 2.0)) * kDegreesPerRadian;
    int first = 0;
    for (int t = 0; t < n; ++t) {
        if (measured.pathStart[t])
            first = t;
        int last = t;
        while (last + 1 < n && !measured.pathStart[last + 1] && last + 1 <= t + reach)
            ++last;
        double sx = 0.0, sy = 0.0, sa = 0.0, weights = 0.0;
        for (int i = std::max(first, t - reach); i <= last; ++i) {
            const double w = std::exp(-(i - t) * (i - t) / (2 * kTwoPassSigma * kTwoPassSigma));
            sx += w * measured.pathX[i];
            sy += w * measured.pathY[i];
            sa += w * measured.pathAngle[i];
            weights += w;
        }
        r.cx[t] = std::clamp(measured.pathX[t] - sx / weights, -bx, bx);
        r.cy[t] = std::clamp(measured.pathY[t] - sy / weights, -by, by);
        r.angle[t] = std::clamp(measured.pathAngle[t] - sa / weights, -bAngle, bAngle);
        r.scale[t] = 1.0;
    }
    return r;
}

Result unstabilised(const Result& measured)
{
    Result r = measured;
    std::fill(r.cx.begin(), r.cx.end(), 0.0);
    std::fill(r.cy.begin(), r.cy.end(), 0.0);
    std::fill(r.angle.begin(), r.angle.end(), 0.0);
    std::fill(r.scale.begin(), r.scale.end(), 1.0);
    return r;
}

// Where output pixel (x, y) samples the input, under frame t's correction.
void sourceOf(const Result& r, size_t t, double x, double y, int width, int height, double& sx, double& sy)
{
    const double cx = (width - 1) / 2.0, cy = (height - 1) / 2.0;
    const double a = r.angle[t] / kDegreesPerRadian, s = r.scale[t];
    const double px = x - cx - r.cx[t], py = y - cy - r.cy[t];
    sx = cx + (std::cos(a) * px + std::sin(a) * py) / s;
    sy = cy + (-std::sin(a) * px + std::cos(a) * py) / s;
}

double fillPercent(const Result& r, int width, int height)
{
    double uncovered = 0.0, counted = 0.0;
    for (size_t t = 0; t < r.cx.size(); ++t)
        for (int y = 0; y < height; y += kFillStep)
            for (int x = 0; x < width; x += kFillStep) {
                double sx = 0.0, sy = 0.0;
                sourceOf(r, t, x, y, width, height, sx, sy);
                uncovered += sx < -0.5 || sy < -0.5 || sx > width - 0.5 || sy > height - 0.5;
                counted += 1.0;
            }
    return counted > 0.0 ? 100.0 * uncovered / counted : 0.0;
}

// How far frame t's correction moves the frame's corners, at the most.
double cornerCorrection(const Result& r, size_t t, int width, int height)
{
    double largest = 0.0;
    for (const auto& [x, y] : {std::pair{0, 0}, std::pair{width - 1, 0}, std::pair{0, height - 1},
                               std::pair{width - 1, height - 1}}) {
        double sx = 0.0, sy = 0.0;
        sourceOf(r, t, x, y, width, height, sx, sy);
        largest = std::max(largest, std::hypot(sx - x, sy - y));
    }
    return largest;
}

struct Cuts {
    int found = 0;  // true cuts found on their frame
    int wrong = 0;  // frames taken for a cut that is none
    int truth = 0;
};

Cuts countCuts(const clips::CameraTrack& track, const Result& r)
{
    Cuts cuts;
    for (size_t t = 0; t < track.size(); ++t) {
        cuts.truth += track[t].newShot;
        cuts.found += track[t].newShot && r.cut[t];
        cuts.wrong += !track[t].newShot && r.cut[t];
    }
    return cuts;
}

std::vector<clips::Subject> largeSubject(const cv::Mat& photo, int frames)
{
    // A textured object a quarter of the frame's area crossing it.
    clips::Subject s{clips::subjectLook(photo, kWidth / 2, kHeight / 2, 7), {}};
    for (int t = 0; t < frames; ++t)
        s.path.push_back({-kWidth * 0.6 + 1.2 * kWidth * t / frames, 10.0});
    return {s};
}

std::vector<clips::Subject> swingingSubject(const cv::Mat& photo, int frames)
{
    // A textured object a quarter of the frame's area swung to and fro by a
    // hand, before a plain wall that holds far less texture than it does.
    clips::Subject s{clips::subjectLook(photo, kWidth / 2, kHeight / 2, 9), {}};
    for (int t = 0; t < frames; ++t)
        s.path.push_back({0.3 * kWidth * std::sin(t / 8.0), 0.1 * kHeight * std::sin(t / 6.0)});
    return {s};
}

std::vector<clips::Subject> caption(const cv::Mat& photo, const clips::CameraTrack& track)
{
    // A band of text burnt into every frame near its bottom: it moves with
    // the camera, so it stands still in the picture while the scene shakes.
    clips::Subject s{clips::subjectLook(photo, kWidth * 4 / 5, kHeight / 8, 31), {}};
    for (const clips::CameraSample& c : track)
        s.path.push_back({c.x, c.y + kHeight * 0.36});
    return {s};
}

std::vector<clips::Subject> walkers(const cv::Mat& photo, int frames)
{
    // Five small figures walking at their own pace, with a bob in their step.
    std::vector<clips::Subject> all;
    const double speeds[] = {1.2, -0.8, 1.6, -1.4, 0.6};
    for (int k = 0; k < 5; ++k) {
        clips::Subject s{clips::subjectLook(photo, kWidth / 14, kHeight / 4, 20 + k), {}};
        for (int t = 0; t < frames; ++t)
            s.path.push_back({-kWidth * 0.4 + 0.2 * kWidth * k + speeds[k] * t,
                              -kHeight * 0.2 + 0.1 * kHeight * k + 2.0 * std::sin(t * 0.5 + k)});
        all.push_back(s);
    }
    return all;
}

std::vector<Clip> makeClips(const cv::Mat& photo, int frames)
{
    using namespace clips;
    const int half = frames / 2, third = frames / 3;
    std::vector<Clip> list = {
        {"hand-held walk", shaken(walk(frames, 6.0, 11), {2.5, 101})},
        {"hand-held sway", shaken(walk(frames, 14.0, 11), {2.5, 101})},
        {"steady pan", shaken(pan(frames, 2.5, 0.4), {1.5, 102})},
        {"tripod", tripod(frames)},
        {"fast pan, faint", shaken(whipPan(frames, 280.0), {1.5, 103}), true},
        {"cut", withCut(shaken(walk(frames, 6.0, 12), {2.5, 104}),
                        shaken(walk(frames - half, 6.0, 13), {2.5, 105}), half)},
        {"hand-held, roll and zoom", zoomed(rolled(shaken(walk(frames, 6.0, 14), {2.5, 106}), 1.5, 107), 1.04)},
        {"fixed, large subject", tripod(frames)},
        {"fixed, walkers", tripod(frames)},
        {"following a subject", {}},
        {"swing pan, blurred", shaken(whipPan(frames, 360.0), {1.5, 108}), false, true},
        {"fast pan, faint, blurred", shaken(whipPan(frames, 280.0), {1.5, 109}), true, true},
        {"three cuts", {}},
        {"fixed, subject, plain wall", tripod(frames), true},
        {"hand-held walk, caption", shaken(walk(frames, 6.0, 11), {2.5, 101})},
    };
    for (Clip& c : list) {
        if (c.name == "fixed, large subject") {
            c.fixed = true;
            c.subjects = largeSubject(photo, frames);
        } else if (c.name == "fixed, subject, plain wall") {
            c.fixed = true;
            c.subjects = swingingSubject(photo, frames);
        } else if (c.name == "hand-held walk, caption") {
            c.subjects = caption(photo, c.track);
        } else if (c.name == "fixed, walkers") {
            c.fixed = true;
            c.subjects = walkers(photo, frames);
        } else if (c.name == "tripod") {
            c.fixed = true;
        } else if (c.name == "following a subject") {
            // The operator keeps a subject walking across the scene in view.
            std::vector<cv::Point2d> subjectPath;
            for (int t = 0; t < frames; ++t)
                subjectPath.push_back({1.8 * t, 6.0 * std::sin(t / 40.0)});
            c.track = shaken(following(subjectPath), {2.5, 110});
            c.subjects = {{subjectLook(photo, kWidth / 5, kHeight / 3, 30), subjectPath}};
        } else if (c.name == "three cuts") {
            // Another scene, the first scene seen from far off (two similar
            // shots), then a third scene.
            CameraTrack track = shaken(walk(frames, 6.0, 15), {2.5, 111});
            track = withCut(track, shaken(walk(frames, 6.0, 16), {2.5, 112}), third, 1);
            CameraTrack elsewhere = shaken(walk(frames, 6.0, 17), {2.5, 113});
            for (CameraSample& s : elsewhere)
                s.x += 420.0, s.y += 200.0, s.intendedX += 420.0, s.intendedY += 200.0;
            track = withCut(track, elsewhere, half, 0);
            c.track = withCut(track, shaken(walk(frames, 6.0, 18), {2.5, 114}), 2 * third + third / 2, 2);
        }
    }
    return list;
}

using Table = std::vector<std::vector<std::string>>;  // rows of cells, one per clip

void printTable(const char* title, const std::vector<std::string>& clipNames, const Table& cells)
{
    std::printf("\n%s\n\n| mode |", title);
    for (const std::string& name : clipNames)
        std::printf(" %s |", name.c_str());
    std::printf("\n|---|");
    for (size_t c = 0; c < clipNames.size(); ++c)
        std::printf("---|");
    std::printf("\n");
    for (size_t row = 0; row < cells.size(); ++row) {
        std::printf("| %s |", row < kReferenceRows ? kReferenceNames[row] : kModeRows[row - kReferenceRows].name);
        for (const std::string& cell : cells[row])
            std::printf(" %s |", cell.c_str());
        std::printf("\n");
    }
}

std::string format(const char* pattern, double a, double b = 0.0)
{
    char cell[64];
    std::snprintf(cell, sizeof cell, pattern, a, b);
    return cell;
}

void qualityTables(const cv::Mat& photo, int frameCount, const std::string& only)
{
    const int rows = kReferenceRows + kModeCount;
    Table jitter(rows), roll(rows), still(rows), cuts(rows), unreliable(rows);
    std::vector<std::string> names, fixedNames, cutNames;
    for (Clip& clip : makeClips(photo, frameCount)) {
        if (!only.empty() && clip.name.find(only) == std::string::npos)
            continue;
        Frames frames = renderClip(clip, photo, kWidth, kHeight, kSceneZoom);
        std::vector<Result> results(rows);
        for (int m = 0; m < kModeCount; ++m)
            results[kReferenceRows + m] = stabilise(frames, kModeRows[m], nullptr);
        // Both references from the motion the default mode measured.
        const Result& measured = results[kReferenceRows + kMeasuringRow];
        results[0] = unstabilised(measured);
        results[1] = twoPass(measured, kWidth, kHeight);
        names.push_back(clip.name);
        if (clip.fixed)
            fixedNames.push_back(clip.name);
        const bool cutClip = std::any_of(clip.track.begin(), clip.track.end(),
                                         [](const clips::CameraSample& s) { return s.newShot; });
        if (cutClip)
            cutNames.push_back(clip.name);
        for (int row = 0; row < rows; ++row) {
            const Result& r = results[row];
            jitter[row].push_back(format("%.3f (%.1f%%)", clips::jitter(clip.track, r.cx, r.cy),
                                         fillPercent(r, kWidth, kHeight)));
            roll[row].push_back(format("%.3f", clips::rotationJitter(clip.track, r.angle)));
            unreliable[row].push_back(row < kReferenceRows ? "-" : std::to_string(r.unreliable));
            if (clip.fixed) {
                double largest = 0.0, squares = 0.0;
                for (size_t t = 0; t < r.cx.size(); ++t) {
                    const double c = cornerCorrection(r, t, kWidth, kHeight);
                    largest = std::max(largest, c);
                    squares += c * c;
                }
                still[row].push_back(format("%.3f / %.3f", largest, std::sqrt(squares / r.cx.size())));
            }
            if (cutClip) {
                const Cuts c = countCuts(clip.track, r);
                char cell[64];
                std::snprintf(cell, sizeof cell, "%d/%d (%d wrong)", c.found, c.truth, c.wrong);
                cuts[row].push_back(row < kReferenceRows ? "-" : cell);
            }
        }
    }
    std::printf("%dx%d 4:2:0, %d frames, budget %.0f%%", kWidth, kHeight, frameCount, kBudgetPercent);
    printTable("Jitter px (fill %)", names, jitter);
    printTable("Roll jitter, degrees", names, roll);
    if (!fixedNames.empty())
        printTable("Fixed cameras: largest / rms correction at the corners, px", fixedNames, still);
    if (!cutNames.empty())
        printTable("Cuts found / true", cutNames, cuts);
    printTable("Unreliable frames", names, unreliable);
}

void timingTable(const cv::Mat& photo, int frameCount)
{
    const int width = 1920, height = 1080;
    const Clip clip("hand-held walk", clips::shaken(clips::walk(frameCount, 6.0, 21), {2.5, 121}));
    Frames frames = renderClip(clip, photo, width, height, 4.0);
    Frame420 output = frames.frames[0];
    double designMs = 0.0;
    std::printf("\nTime per frame at %dx%d 4:2:0 (push, pull and render; %d frames)\n\n", width, height,
                frameCount);
    std::printf("| mode | ms per frame | vs design |\n|---|---|---|\n");
    for (const ModeRow& row : kModeRows) {
        const auto start = std::chrono::steady_clock::now();
        stabilise(frames, row, &output);
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
    std::string photoPath = REGVIAFFT_SAMPLE_IMAGE, only;
    int frames = 150;
    int timingFrames = 60;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--photo") == 0)
            photoPath = argv[i + 1];
        else if (std::strcmp(argv[i], "--frames") == 0)
            frames = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--timing-frames") == 0)
            timingFrames = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--only") == 0)
            only = argv[i + 1];
    }
    const cv::Mat photo = cv::imread(photoPath, cv::IMREAD_COLOR);
    if (photo.empty() || frames < 20 || timingFrames < 0) {
        std::fprintf(stderr, "quality: cannot read %s, or too few frames\n", photoPath.c_str());
        return 1;
    }
    qualityTables(photo, frames, only);
    if (timingFrames > 0)
        timingTable(photo, timingFrames);
    return 0;
}
