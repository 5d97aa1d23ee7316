// The content comparison of consecutive frames.
#include "cut_detector.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <limits>

namespace regviafft {
namespace {

// The thumbnail's longer side: enough to see a scene's layout, too coarse
// to see its noise, its blur or a subject's small moves.
constexpr int kThumbnailSide = 64;
// The thumbnail is softened by this many of its pixels (a Gaussian's sigma):
// a picture's finest detail aliases into a thumbnail differently at every
// shift, and motion blur takes it away; neither is a change of content.
constexpr double kThumbnailSoftening = 1.0;
// A guessed motion (the prediction where the templates failed) is searched
// around by this many thumbnail pixels: a few percent of the frame, more than
// a camera's motion changes from one frame to the next.
constexpr int kSearchReach = 3;
// A comparison needs this share of the thumbnail in both pictures.
constexpr double kLeastOverlap = 0.25;
// Grey levels of contrast below which a picture is plain: its changes are
// measured against this much instead, so that noise on a black frame is no
// change of content.
constexpr double kLeastContrast = 2.0;

float sampleBilinear(const cv::Mat& image, double x, double y)
{
    const int x0 = static_cast<int>(std::floor(x)), y0 = static_cast<int>(std::floor(y));
    const int x1 = std::min(x0 + 1, image.cols - 1), y1 = std::min(y0 + 1, image.rows - 1);
    const float fx = static_cast<float>(x - x0), fy = static_cast<float>(y - y0);
    const float* top = image.ptr<float>(y0);
    const float* bottom = image.ptr<float>(y1);
    const float upper = top[x0] + fx * (top[x1] - top[x0]);
    const float lower = bottom[x0] + fx * (bottom[x1] - bottom[x0]);
    return upper + fy * (lower - upper);
}

}  // namespace

CutDetector::CutDetector(const Settings& resolved)
    : frameWidth_(resolved.width), frameHeight_(resolved.height)
{
}

void CutDetector::load(const cv::Mat& picture)
{
    const double shrink = static_cast<double>(kThumbnailSide) / std::max(picture.cols, picture.rows);
    const cv::Size size(std::max(1, static_cast<int>(std::lround(picture.cols * shrink))),
                        std::max(1, static_cast<int>(std::lround(picture.rows * shrink))));
    cv::swap(previous_, current_);
    cv::Mat grey;
    cv::resize(picture, grey, size, 0.0, 0.0, cv::INTER_AREA);
    grey.convertTo(current_, CV_32F);
    cv::GaussianBlur(current_, current_, cv::Size(), kThumbnailSoftening);
}

// Mean absolute difference of the two thumbnails where they overlap, each
// less its mean there (a change of exposure is no change of content), over
// their mean contrast there. `motion` maps a point of the current frame to
// the previous one, in frame pixels about the centre; the offset is added in
// thumbnail pixels.
double CutDetector::changeUnder(const Similarity& motion, double offsetX, double offsetY) const
{
    const int cols = current_.cols, rows = current_.rows;
    const double perThumbX = frameWidth_ / cols, perThumbY = frameHeight_ / rows;
    const double centreX = (frameWidth_ - 1) / 2.0, centreY = (frameHeight_ - 1) / 2.0;
    std::vector<float> now, before;
    now.reserve(static_cast<size_t>(cols) * rows);
    before.reserve(now.capacity());
    for (int r = 0; r < rows; ++r) {
        const double py = (r + 0.5) * perThumbY - 0.5 - centreY;
        const float* row = current_.ptr<float>(r);
        for (int c = 0; c < cols; ++c) {
            const double px = (c + 0.5) * perThumbX - 0.5 - centreX;
            const double x = (motion.mapX(px, py) + centreX + 0.5) / perThumbX - 0.5 + offsetX;
            const double y = (motion.mapY(px, py) + centreY + 0.5) / perThumbY - 0.5 + offsetY;
            if (x < 0.0 || y < 0.0 || x > cols - 1 || y > rows - 1)
                continue;
            now.push_back(row[c]);
            before.push_back(sampleBilinear(previous_, x, y));
        }
    }
    const size_t count = now.size();
    if (count == 0 || count < kLeastOverlap * cols * rows)
        return std::numeric_limits<double>::infinity();
    double meanNow = 0.0, meanBefore = 0.0;
    for (size_t k = 0; k < count; ++k) {
        meanNow += now[k];
        meanBefore += before[k];
    }
    meanNow /= count;
    meanBefore /= count;
    double difference = 0.0, contrast = 0.0;
    for (size_t k = 0; k < count; ++k) {
        const double a = now[k] - meanNow, b = before[k] - meanBefore;
        difference += std::fabs(a - b);
        contrast += 0.5 * (std::fabs(a) + std::fabs(b));
    }
    return difference / std::max(contrast, kLeastContrast * count);
}

double CutDetector::change(const Similarity& motion) const
{
    return previous_.empty() ? 0.0 : changeUnder(motion, 0.0, 0.0);
}

ContentMatch CutDetector::search(const Similarity& guess) const
{
    if (previous_.empty())
        return {guess, 0.0};
    constexpr int kSide = 2 * kSearchReach + 1;
    double costs[kSide][kSide];
    int bestX = 0, bestY = 0;
    for (int dy = -kSearchReach; dy <= kSearchReach; ++dy)
        for (int dx = -kSearchReach; dx <= kSearchReach; ++dx) {
            costs[dy + kSearchReach][dx + kSearchReach] = changeUnder(guess, dx, dy);
            if (costs[dy + kSearchReach][dx + kSearchReach] < costs[bestY + kSearchReach][bestX + kSearchReach])
                bestX = dx, bestY = dy;
        }
    const double best = costs[bestY + kSearchReach][bestX + kSearchReach];
    if (!std::isfinite(best))
        return {guess, std::numeric_limits<double>::infinity()};
    // The minimum between whole thumbnail pixels, from a parabola through
    // the best one and its neighbours on each axis.
    auto vertex = [](double before, double at, double after) {
        const double curvature = before - 2.0 * at + after;
        return std::isfinite(curvature) && curvature > 0.0 ? std::clamp(0.5 * (before - after) / curvature, -0.5, 0.5)
                                                           : 0.0;
    };
    const int cx = bestX + kSearchReach, cy = bestY + kSearchReach;
    const double fineX = bestX + (cx > 0 && cx < kSide - 1 ? vertex(costs[cy][cx - 1], best, costs[cy][cx + 1]) : 0.0);
    const double fineY = bestY + (cy > 0 && cy < kSide - 1 ? vertex(costs[cy - 1][cx], best, costs[cy + 1][cx]) : 0.0);
    ContentMatch match{guess, std::min(best, changeUnder(guess, fineX, fineY))};
    match.motion.x += fineX * frameWidth_ / current_.cols;
    match.motion.y += fineY * frameHeight_ / current_.rows;
    return match;
}

}  // namespace regviafft
