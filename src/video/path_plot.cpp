// Drawing the camera path and the smoothed path with the image library.
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "av_handles.h"
#include "motion_log.h"
#include "regviafft/option.h"

namespace video {
namespace {

constexpr int kWidth = 1200;
constexpr int kPanelHeight = 320;
constexpr int kLeft = 70, kRight = 20, kTop = 40, kBottom = 40;
const cv::Scalar kWhite(255, 255, 255), kGrid(225, 225, 225), kInk(60, 60, 60);
const cv::Scalar kCamera(200, 120, 30), kSmooth(30, 30, 220), kCut(40, 170, 40);
constexpr int kFont = cv::FONT_HERSHEY_SIMPLEX;
// Image formats a plot may be written in, each where the image library was
// built with its writer.
constexpr const char* kImageEndings[] = {".png", ".jpg", ".jpeg", ".bmp", ".tif", ".tiff", ".webp"};

struct Axis {
    const char* name;
    double (*camera)(const regviafft::MotionRecord&);
    double (*correction)(const regviafft::MotionRecord&);
    double leastRange = 1.0;
};

const Axis kAxes[] = {
    {"horizontal (px)", [](const regviafft::MotionRecord& r) { return r.pathX; },
     [](const regviafft::MotionRecord& r) { return r.correctionX; }},
    {"vertical (px)", [](const regviafft::MotionRecord& r) { return r.pathY; },
     [](const regviafft::MotionRecord& r) { return r.correctionY; }},
    {"roll (degrees)", [](const regviafft::MotionRecord& r) { return r.pathRotation; },
     [](const regviafft::MotionRecord& r) { return r.correctionRotation; }, 0.1},
};
constexpr int kPanels = sizeof kAxes / sizeof kAxes[0];

std::string label(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// One panel: the path as the camera went and as the picture is shown.
void drawPanel(cv::Mat& canvas, int top, const Axis& axis, const std::vector<FrameLog>& log)
{
    const int plotHeight = kPanelHeight - kTop - kBottom;
    const int plotWidth = kWidth - kLeft - kRight;
    double lo = 0.0, hi = 0.0;
    for (const FrameLog& e : log) {
        const double camera = axis.camera(e.record), smooth = camera - axis.correction(e.record);
        lo = std::min({lo, camera, smooth});
        hi = std::max({hi, camera, smooth});
    }
    // A flat path still gets an axis of some extent.
    if (hi - lo < axis.leastRange)
        hi = lo + axis.leastRange;
    const auto [earliest, latest] = std::minmax_element(
        log.begin(), log.end(), [](const FrameLog& a, const FrameLog& b) { return a.seconds < b.seconds; });
    const double tStart = earliest->seconds, tEnd = std::max(latest->seconds, tStart + 1e-3);
    const auto x = [&](double seconds) {
        return kLeft + static_cast<int>((seconds - tStart) / (tEnd - tStart) * plotWidth);
    };
    const auto y = [&](double value) {
        return top + kTop + static_cast<int>((hi - value) / (hi - lo) * plotHeight);
    };
    for (int tick = 0; tick <= 4; ++tick) {
        const double value = lo + (hi - lo) * tick / 4.0;
        cv::line(canvas, {kLeft, y(value)}, {kLeft + plotWidth, y(value)}, kGrid, 1);
        cv::putText(canvas, label(std::round(value * 100) / 100), {5, y(value) + 5}, kFont, 0.45, kInk, 1, cv::LINE_AA);
    }
    for (const FrameLog& e : log)
        if (e.record.cut)
            cv::line(canvas, {x(e.seconds), top + kTop}, {x(e.seconds), top + kTop + plotHeight}, kCut, 2);
    std::vector<cv::Point> camera, smooth;
    for (const FrameLog& e : log) {
        camera.emplace_back(x(e.seconds), y(axis.camera(e.record)));
        smooth.emplace_back(x(e.seconds), y(axis.camera(e.record) - axis.correction(e.record)));
    }
    cv::polylines(canvas, camera, false, kCamera, 1, cv::LINE_AA);
    cv::polylines(canvas, smooth, false, kSmooth, 2, cv::LINE_AA);
    cv::rectangle(canvas, {kLeft, top + kTop}, {kLeft + plotWidth, top + kTop + plotHeight}, kInk, 1);
    cv::putText(canvas, axis.name, {kLeft, top + kTop - 12}, kFont, 0.55, kInk, 1, cv::LINE_AA);
    cv::putText(canvas, label(std::round(tStart * 100) / 100) + " s",
                {kLeft, top + kTop + plotHeight + 20}, kFont, 0.45, kInk, 1, cv::LINE_AA);
    cv::putText(canvas, label(std::round(tEnd * 100) / 100) + " s",
                {kLeft + plotWidth - 50, top + kTop + plotHeight + 20}, kFont, 0.45, kInk, 1, cv::LINE_AA);
}

void drawLegend(cv::Mat& canvas)
{
    const int y = kPanels * kPanelHeight + 20;
    cv::line(canvas, {kLeft, y}, {kLeft + 30, y}, kCamera, 2);
    cv::putText(canvas, "camera path", {kLeft + 40, y + 5}, kFont, 0.5, kInk, 1, cv::LINE_AA);
    cv::line(canvas, {kLeft + 200, y}, {kLeft + 230, y}, kSmooth, 2);
    cv::putText(canvas, "smoothed path (shown)", {kLeft + 240, y + 5}, kFont, 0.5, kInk, 1, cv::LINE_AA);
    cv::line(canvas, {kLeft + 480, y - 8}, {kLeft + 480, y + 8}, kCut, 2);
    cv::putText(canvas, "cut", {kLeft + 490, y + 5}, kFont, 0.5, kInk, 1, cv::LINE_AA);
}

}  // namespace

std::string plotEndings()
{
    std::string endings;
    for (const char* ending : kImageEndings)
        if (cv::haveImageWriter(ending))
            endings += (endings.empty() ? "" : ", ") + std::string(ending);
    return endings;
}

void checkPlotName(const std::string& path)
{
    const size_t dot = path.rfind('.');
    bool writable = false;
    try {
        writable = dot != std::string::npos && path.find('/', dot) == std::string::npos &&
                   cv::haveImageWriter(path.substr(dot));
    } catch (const cv::Exception&) {
        writable = false;
    }
    if (!writable)
        throw regviafft::OptionError("plot", "must end in one of " + plotEndings() + ", got '" + path + "'");
}

void writePathPlot(const std::string& path, const std::vector<FrameLog>& log)
{
    checkPlotName(path);
    if (log.empty())
        throw Failure("no frames to plot in " + path);
    cv::Mat canvas(kPanels * kPanelHeight + 40, kWidth, CV_8UC3, kWhite);
    for (int panel = 0; panel < kPanels; ++panel)
        drawPanel(canvas, panel * kPanelHeight, kAxes[panel], log);
    drawLegend(canvas);
    bool written = false;
    try {
        written = cv::imwrite(path, canvas);
    } catch (const cv::Exception&) {
        written = false;
    }
    if (!written)
        throw Failure("cannot write the plot " + path);
}

}  // namespace video
