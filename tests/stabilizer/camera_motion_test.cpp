// The camera's motion as the Causal and Lag modes measure it, through the
// public API: a still camera is not moved by a subject crossing its view, and
// the templates the subject covers are found out and placed elsewhere; a
// known turn and zoom come back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "regviafft/stabilizer.h"
#include "stream_frames.h"

namespace {

using namespace regviafft;
using streams::Bytes;
using streams::Frame;
using streams::stabilise;

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr double kPi = 3.141592653589793;

// A textured block crossing a still scene: its top-left corner on frame t.
struct Subject {
    int width = 100, height = 90;
    int left(int t) const { return 40 + 4 * t; }
    int top() const { return 70; }
    bool covers(double x, double y, int t) const
    {
        return x >= left(t) && x < left(t) + width && y >= top() && y < top() + height;
    }
};

// The scene's texture scaled about mid-grey by `contrast`: a faint wall's
// cells hold a hundredth of the subject's structure, and are still what
// tells the camera from the subject.
std::vector<Frame> crossing(const Subject& subject, int frames, double contrast)
{
    Bytes scene = synthetic::texturedFrame(kWidth, kHeight, 2);
    for (std::uint8_t& v : scene)
        v = static_cast<std::uint8_t>(std::lround(128.0 + contrast * (v - 128.0)));
    const Bytes look = synthetic::texturedFrame(subject.width, subject.height, 9);
    std::vector<Frame> out;
    for (int t = 0; t < frames; ++t) {
        Bytes grey = scene;
        for (int r = 0; r < subject.height; ++r)
            for (int c = 0; c < subject.width && subject.left(t) + c < kWidth; ++c)
                grey[static_cast<size_t>(subject.top() + r) * kWidth + subject.left(t) + c] =
                    look[static_cast<size_t>(r) * subject.width + c];
        out.emplace_back(grey, kWidth, kHeight);
    }
    return out;
}

Settings sized(PathMode mode)
{
    Settings s;
    s.width = kWidth;
    s.height = kHeight;
    s.mode = mode;
    s.lag = 10;
    return s;
}

TEST(CameraMotion, ASubjectCrossingAStillSceneMovesNothingAndItsTemplatesMove)
{
    const Subject subject;
    Settings tripod = sized(PathMode::Lag);
    tripod.tripod = true;
    for (const double contrast : {1.0, 0.1})
    for (const Settings& s : {sized(PathMode::Causal), sized(PathMode::Lag), tripod}) {
        SCOPED_TRACE(contrast);
        std::vector<Frame> frames = crossing(subject, 40, contrast);
        const std::vector<MotionRecord> records = stabilise(s, frames);
        ASSERT_EQ(records.size(), frames.size());
        int disagreeing = 0, moved = 0;
        for (size_t t = 0; t < records.size(); ++t) {
            const MotionRecord& r = records[t];
            EXPECT_TRUE(r.correctionX == 0.0 && r.correctionY == 0.0 && r.correctionRotation == 0.0 &&
                        r.correctionScale == 1.0)
                << "frame " << t << ": " << r.correctionX << ", " << r.correctionY;
            EXPECT_TRUE(r.pathX == 0.0 && r.pathY == 0.0) << "frame " << t;
            for (int k = 0; k < r.templateCount && t > 0; ++k) {
                const TemplateMotion& m = r.templates[k];
                // A template on the subject disagrees with the still camera,
                disagreeing += m.peak > 0.0 && !m.inlier && subject.covers(m.centreX, m.centreY, static_cast<int>(t));
                // and once it has for a few frames it is placed elsewhere.
                const TemplateMotion& before = records[t - 1].templates[k];
                moved += m.centreX != before.centreX || m.centreY != before.centreY;
            }
        }
        EXPECT_GT(disagreeing, 5);
        EXPECT_GT(moved, 0);
    }
}

TEST(CameraMotion, AStillShotThatStartsASlowPanIsFollowed)
{
    // Still for 35 frames, then the content drifts 0.5 px a frame: less than
    // a template's agreement radius, so only the measured motion of the still
    // part tells the pan from a still camera.
    constexpr int kStill = 35, kFrames = 75;
    constexpr double kDrift = 0.5;
    std::vector<Frame> frames;
    for (int t = 0; t < kFrames; ++t) {
        const double x = t < kStill ? 0.0 : kDrift * (t - kStill);
        frames.emplace_back(synthetic::texturedView(kWidth, kHeight, 5, {x, 0.0, 0.0, 1.0}), kWidth, kHeight);
    }
    for (const PathMode mode : {PathMode::Causal, PathMode::Lag}) {
        const std::vector<MotionRecord> records = stabilise(sized(mode), frames);
        ASSERT_EQ(records.size(), frames.size());
        EXPECT_EQ(records[kStill - 1].pathX, 0.0);
        EXPECT_NEAR(std::fabs(records.back().pathX), kDrift * (kFrames - 1 - kStill), 1.0);
    }
}

TEST(CameraMotion, ACaptionOverAShakenPictureDoesNotHoldItStill)
{
    // A hand-held shake from the first frame, under a caption band burnt
    // into the bottom of every frame: the caption stands still, the picture
    // around it moves, so the camera is not taken as still for long.
    constexpr int kFrames = 30, kPresumed = 10;
    const Bytes caption = synthetic::texturedFrame(kWidth - 40, 50, 9);
    std::vector<Frame> plain, captioned;
    for (int t = 0; t < kFrames; ++t) {
        const synthetic::Placing shake{std::round(3.0 * std::sin(t * 1.3)), std::round(2.0 * std::cos(t * 0.9)), 0.0, 1.0};
        Bytes grey = synthetic::texturedView(kWidth, kHeight, 5, shake);
        plain.emplace_back(grey, kWidth, kHeight);
        for (int r = 0; r < 50; ++r)
            std::copy_n(&caption[static_cast<size_t>(r) * (kWidth - 40)], kWidth - 40,
                        &grey[static_cast<size_t>(kHeight - 70 + r) * kWidth + 20]);
        captioned.emplace_back(grey, kWidth, kHeight);
    }
    const std::vector<MotionRecord> truth = stabilise(sized(PathMode::Causal), plain);
    const std::vector<MotionRecord> records = stabilise(sized(PathMode::Causal), captioned);
    ASSERT_EQ(records.size(), truth.size());
    for (int t = kPresumed; t < kFrames; ++t) {
        EXPECT_NEAR(records[t].motionX, truth[t].motionX, 0.5) << "frame " << t;
        EXPECT_NEAR(records[t].motionY, truth[t].motionY, 0.5) << "frame " << t;
    }
}

TEST(CameraMotion, AKnownTurnAndZoomComeBack)
{
    const double degree = kPi / 180.0;
    struct Case {
        MotionModel model;
        synthetic::Placing second;
    };
    // The content turned by a degree (and zoomed by 2 %), shifted a little.
    for (const Case& c : {Case{MotionModel::Rotation, {1.5, -1.0, 1.0 * degree, 1.0}},
                          Case{MotionModel::Similarity, {-2.0, 0.5, 0.5 * degree, 1.02}}}) {
        std::vector<Frame> frames;
        frames.emplace_back(synthetic::texturedView(kWidth, kHeight, 5, {}), kWidth, kHeight);
        frames.emplace_back(synthetic::texturedView(kWidth, kHeight, 5, c.second), kWidth, kHeight);
        Settings s = sized(PathMode::Causal);
        s.motionModel = c.model;
        const std::vector<MotionRecord> records = stabilise(s, frames);
        ASSERT_EQ(records.size(), 2u);
        // What brings the second frame back turns it the other way, by as much.
        EXPECT_NEAR(records[1].rotation, -c.second.angle / degree, 0.05);
        EXPECT_NEAR(records[1].scale * c.second.scale, 1.0, 0.005);
        // The shift at the centre is the placing's, turned back. A turn of a
        // degree shears each 64-pixel template by up to half a pixel from its
        // middle to its edges, which its measurement weighs unevenly.
        const double a = -c.second.angle;
        const double x = -(std::cos(a) * c.second.shiftX - std::sin(a) * c.second.shiftY) / c.second.scale;
        const double y = -(std::sin(a) * c.second.shiftX + std::cos(a) * c.second.shiftY) / c.second.scale;
        EXPECT_NEAR(records[1].motionX, x, 0.25);
        EXPECT_NEAR(records[1].motionY, y, 0.25);
    }
}

}  // namespace
