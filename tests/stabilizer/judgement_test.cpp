// How far a measurement is trusted, and how a frame's content tells a cut:
// the judge's confidence and its memory of recent peaks, and the content
// comparison under compensated motion.
#include <gtest/gtest.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <vector>

#include "cut_detector.h"
#include "measurement_judge.h"
#include "synthetic_frames.h"

namespace {

using namespace regviafft;

MotionFit fitWith(int inliers, double support)
{
    MotionFit fit;
    fit.inliers = inliers;
    fit.support = support;
    return fit;
}

TEST(MeasurementJudge, AgreementAndPeakMakeTheConfidence)
{
    MeasurementJudge judge;
    // No history yet: agreement alone.
    Judgement j = judge.judge(fitWith(8, 0.8), 0.5);
    EXPECT_DOUBLE_EQ(j.confidence, 0.8);
    EXPECT_TRUE(j.reliable);
    for (int t = 0; t < 9; ++t)
        EXPECT_TRUE(judge.judge(fitWith(10, 1.0), 0.5).reliable);
    // Two of ten agree with a low peak: the fault a faint, blurred frame shows.
    j = judge.judge(fitWith(2, 0.2), 0.1);
    EXPECT_NEAR(j.confidence, 0.2 * 0.1 / 0.5, 1e-12);
    EXPECT_FALSE(j.reliable);
    // Full agreement of two templates is still no measurement to use.
    EXPECT_FALSE(judge.judge(fitWith(2, 1.0), 0.5).reliable);
    // Three that agree fully are; a peak above the usual one counts as usual.
    j = judge.judge(fitWith(3, 1.0), 2.0);
    EXPECT_DOUBLE_EQ(j.confidence, 1.0);
    EXPECT_TRUE(j.reliable);
    // A peak at a fifth of the usual one leaves a fifth of the agreement.
    j = judge.judge(fitWith(10, 1.0), 0.1);
    EXPECT_NEAR(j.confidence, 0.2, 1e-12);
    EXPECT_FALSE(j.reliable);
    // Just at the threshold is reliable.
    EXPECT_TRUE(judge.judge(fitWith(10, kLeastConfidence), 0.5).reliable);
}

TEST(MeasurementJudge, OnlyReliablePeaksSetTheUsualPeakAndANewPathForgetsThem)
{
    MeasurementJudge judge;
    for (int t = 0; t < 15; ++t)
        judge.judge(fitWith(10, 1.0), 0.6);
    // A long run of unreliable frames with tiny peaks does not lower the bar.
    for (int t = 0; t < 40; ++t)
        EXPECT_FALSE(judge.judge(fitWith(2, 1.0), 0.01).reliable);
    EXPECT_NEAR(judge.judge(fitWith(10, 1.0), 0.06).confidence, 0.1, 1e-12);
    // The usual peak is the median of the recent reliable ones, not their mean:
    // one frame with a huge peak does not raise it.
    judge.judge(fitWith(10, 1.0), 60.0);
    EXPECT_NEAR(judge.judge(fitWith(10, 1.0), 0.3).confidence, 0.5, 1e-12);
    // Another scene's peaks are its own.
    judge.restart();
    EXPECT_DOUBLE_EQ(judge.judge(fitWith(10, 0.9), 0.01).confidence, 0.9);
}

constexpr int kWidth = 320;
constexpr int kHeight = 180;

Settings frameSize()
{
    Settings s;
    s.width = kWidth;
    s.height = kHeight;
    return s;
}

// A textured view, softened as a photograph is: the synthetic texture keeps
// much of its contrast at the finest scales, where a thumbnail only aliases.
cv::Mat picture(std::uint32_t seed, const synthetic::Placing& placing = {})
{
    const std::vector<std::uint8_t> grey = synthetic::texturedView(kWidth, kHeight, seed, placing);
    cv::Mat soft;
    cv::GaussianBlur(cv::Mat(kHeight, kWidth, CV_8UC1, const_cast<std::uint8_t*>(grey.data())), soft,
                     cv::Size(), 3.0);
    return soft;
}

TEST(CutDetector, ContentUnderTheCamerasMotionTellsTheSameSceneFromAnother)
{
    CutDetector cuts(frameSize());
    cuts.load(picture(4));
    EXPECT_EQ(cuts.change({}), 0.0) << "the first frame has nothing to differ from";
    // The camera moved 12 pixels right and 5 down: the content moved left and
    // up, and a point of this frame was 12 right and 5 down of it before.
    cuts.load(picture(4, {-12.0, -5.0}));
    Similarity camera;
    camera.x = 12.0;
    camera.y = 5.0;
    const double same = cuts.change(camera);
    EXPECT_LT(same, 0.5 * kCutChange);
    Similarity backwards;
    backwards.x = -12.0;
    backwards.y = -5.0;
    EXPECT_GT(cuts.change(backwards), 3 * same) << "the motion is compensated the right way round";
    // From no motion, the search finds the camera's within a pixel of the
    // thumbnail (5 frame pixels here), and the content agrees there.
    const ContentMatch found = cuts.search({});
    EXPECT_NEAR(found.motion.x, 12.0, 2.5);
    EXPECT_NEAR(found.motion.y, 5.0, 2.5);
    EXPECT_LT(found.change, 0.5 * kCutChange);
    // A turn is compensated too.
    CutDetector turning(frameSize());
    turning.load(picture(4));
    turning.load(picture(4, {0.0, 0.0, -0.03, 1.0}));
    Similarity turn;
    turn.angle = 0.03;
    EXPECT_LT(turning.change(turn), 0.5 * turning.change({}));
    // Another scene differs under any motion near its own.
    cuts.load(picture(5));
    EXPECT_GT(cuts.search({}).change, kCutChange);
    // A change of exposure is no change of content.
    cv::Mat brighter = picture(5) + cv::Scalar(40);
    cuts.load(brighter);
    EXPECT_LT(cuts.change({}), 0.1);
}

TEST(CutDetector, PlainFramesAndFramesWithoutOverlapAreNoCut)
{
    CutDetector cuts(frameSize());
    // Two black frames with sensor noise: nothing to compare but noise.
    cv::Mat noise(kHeight, kWidth, CV_8UC1);
    cv::randn(noise, 16, 2);
    cuts.load(noise);
    cv::randn(noise, 16, 2);
    cuts.load(noise);
    EXPECT_LT(cuts.change({}), kCutChange);
    // A motion that leaves the two pictures nothing in common cannot tell.
    cuts.load(picture(6));
    Similarity away;
    away.x = 2.0 * kWidth;
    EXPECT_TRUE(std::isinf(cuts.change(away)));
}

}  // namespace
