// The camera-motion fit on templates of known shifts: each model recovers its
// own motion exactly; a subject moving on its own, even one with more
// templates on it, loses to the consensus spread over the picture; a still
// camera's expected motion is held while enough of the picture agrees.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "motion_fit.h"

namespace {

using namespace regviafft;

constexpr double kCentreX = 320.0;
constexpr double kCentreY = 180.0;

// Templates on a 6 x 4 grid over a 640 x 360 frame.
std::vector<TemplateObservation> grid()
{
    std::vector<TemplateObservation> all;
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 6; ++column) {
            TemplateObservation o;
            o.x = 52.5 + 107.0 * column;
            o.y = 45.0 + 90.0 * row;
            o.peak = 0.5;
            o.measured = true;
            all.push_back(o);
        }
    return all;
}

// Every template shifted as the motion brings its centre back.
void moveBy(std::vector<TemplateObservation>& observations, const Similarity& m)
{
    for (TemplateObservation& o : observations) {
        const double px = o.x - kCentreX, py = o.y - kCentreY;
        o.shiftX = m.mapX(px, py) - px;
        o.shiftY = m.mapY(px, py) - py;
    }
}

FitOptions options(MotionModel model)
{
    FitOptions o;
    o.model = model;
    o.centreX = kCentreX;
    o.centreY = kCentreY;
    o.inlierRadius = 1.0;
    return o;
}

TEST(MotionFit, EachModelRecoversItsOwnMotion)
{
    const Similarity turned{3.5, -1.25, 0.02, 1.0}, zoomed{-2.0, 0.5, -0.015, 1.03};
    for (const auto& [model, truth] : {std::pair{MotionModel::Rotation, turned},
                                       std::pair{MotionModel::Similarity, zoomed},
                                       std::pair{MotionModel::Translation, Similarity{1.5, 2.5, 0.0, 1.0}}}) {
        std::vector<TemplateObservation> observations = grid();
        moveBy(observations, truth);
        const MotionFit fit = fitCameraMotion(observations, options(model));
        EXPECT_NEAR(fit.motion.x, truth.x, 1e-9);
        EXPECT_NEAR(fit.motion.y, truth.y, 1e-9);
        EXPECT_NEAR(fit.motion.angle, truth.angle, 1e-12);
        EXPECT_NEAR(fit.motion.scale, truth.scale, 1e-12);
        EXPECT_EQ(fit.inliers, 24);
        EXPECT_NEAR(fit.residual, 0.0, 1e-9);
    }
    // A translation fitted to a turn averages the templates' shifts, about
    // the centre of the grid, which is the frame's.
    std::vector<TemplateObservation> observations = grid();
    moveBy(observations, {0.0, 0.0, 0.001, 1.0});
    FitOptions loose = options(MotionModel::Translation);
    loose.inlierRadius = 10.0;
    const MotionFit fit = fitCameraMotion(observations, loose);
    EXPECT_NEAR(fit.motion.x, 0.0, 1e-9);
    EXPECT_NEAR(fit.motion.y, 0.0, 1e-9);
    // Too few measured templates for the model: the expected motion, no inlier.
    std::vector<TemplateObservation> one = grid();
    for (size_t k = 1; k < one.size(); ++k)
        one[k].measured = false;
    FitOptions expecting = options(MotionModel::Rotation);
    expecting.expected = {0.5, 0.0, 0.0, 1.0};
    const MotionFit alone = fitCameraMotion(one, expecting);
    EXPECT_EQ(alone.motion.x, 0.5);
    EXPECT_EQ(alone.inliers, 0);
}

TEST(MotionFit, TheCameraIsWhatTheWidestConsensusAgreesOn)
{
    // Six templates in a block follow a subject moving 4 pixels right, and
    // peak so high that they outweigh the other eighteen, which are spread
    // over the rest of the frame and follow the camera's shake.
    std::vector<TemplateObservation> observations = grid();
    moveBy(observations, {-1.5, 0.75, 0.0, 1.0});
    double subjectWeight = 0.0, cameraWeight = 0.0;
    for (TemplateObservation& o : observations) {
        const bool onSubject = o.x < 300.0 && o.y > 100.0 && o.y < 300.0;
        o.peak = onSubject ? 0.9 : 0.28;
        (onSubject ? subjectWeight : cameraWeight) += o.peak;
        if (onSubject) {
            o.shiftX = -4.0;
            o.shiftY = 0.0;
        }
    }
    ASSERT_GT(subjectWeight, cameraWeight);
    const MotionFit fit = fitCameraMotion(observations, options(MotionModel::Rotation));
    EXPECT_NEAR(fit.motion.x, -1.5, 1e-9);
    EXPECT_NEAR(fit.motion.y, 0.75, 1e-9);
    EXPECT_NEAR(fit.motion.angle, 0.0, 1e-12);
    EXPECT_EQ(fit.inliers, 18);
    for (size_t k = 0; k < observations.size(); ++k)
        EXPECT_EQ(fit.inlier[k], observations[k].shiftX != -4.0) << k;
    // Twelve against twelve, both spread: the one near the camera's recent
    // motion wins.
    std::vector<TemplateObservation> split = grid();
    moveBy(split, {2.0, 0.0, 0.0, 1.0});
    for (size_t k = 0; k < split.size(); k += 2)
        split[k].shiftX = -2.0;
    FitOptions recent = options(MotionModel::Translation);
    recent.expected = {-1.8, 0.0, 0.0, 1.0};
    EXPECT_NEAR(fitCameraMotion(split, recent).motion.x, -2.0, 1e-9);
    recent.expected = {1.8, 0.0, 0.0, 1.0};
    EXPECT_NEAR(fitCameraMotion(split, recent).motion.x, 2.0, 1e-9);
}

TEST(MotionFit, AStillCameraIsHeldWhileThePictureAgrees)
{
    // A large subject sweeps over the left half; the right half stands still.
    std::vector<TemplateObservation> observations = grid();
    for (TemplateObservation& o : observations)
        if (o.x < 320.0)
            o.shiftX = -3.0, o.peak = 0.9;
    FitOptions hold = options(MotionModel::Rotation);
    hold.holdExpected = true;
    const MotionFit held = fitCameraMotion(observations, hold);
    EXPECT_TRUE(held.held);
    EXPECT_EQ(held.motion.x, 0.0);
    EXPECT_EQ(held.motion.angle, 0.0);
    EXPECT_EQ(held.inliers, 12);
    // A pan that starts slowly moves the still half by less than the
    // agreement radius: still held, and its motion measured, not zero.
    std::vector<TemplateObservation> creeping = observations;
    for (TemplateObservation& o : creeping)
        if (o.x >= 320.0)
            o.shiftX = 0.4;
    const MotionFit crept = fitCameraMotion(creeping, hold);
    EXPECT_TRUE(crept.held);
    EXPECT_NEAR(crept.motion.x, 0.4, 1e-9);
    EXPECT_EQ(crept.inliers, 12);
    // Presumed rather than earned, the hold says when a consensus moving
    // nearly the whole picture disagreed: the three upper rows against a
    // still caption row, but not a subject in the middle against the wall
    // around it.
    std::vector<TemplateObservation> captioned = grid(), subject = grid();
    for (TemplateObservation& o : captioned)
        if (o.y < 300.0)
            o.shiftX = 2.0;
    for (TemplateObservation& o : subject)
        if (std::fabs(o.x - kCentreX) < 200.0 && std::fabs(o.y - kCentreY) < 100.0)
            o.shiftX = 2.0, o.peak = 0.9;
    FitOptions presumed = hold;
    presumed.presumedHold = true;
    for (const auto& [observed, moved] : {std::pair{&captioned, true}, std::pair{&subject, false}}) {
        const MotionFit fit = fitCameraMotion(*observed, presumed);
        EXPECT_TRUE(fit.held);
        EXPECT_EQ(fit.wholePictureMoved, moved);
        EXPECT_FALSE(fitCameraMotion(*observed, hold).wholePictureMoved);
    }
    // When nothing stands still any more the camera moved: no hold.
    moveBy(observations, {2.5, -1.0, 0.0, 1.0});
    const MotionFit moved = fitCameraMotion(observations, hold);
    EXPECT_FALSE(moved.held);
    EXPECT_NEAR(moved.motion.x, 2.5, 1e-9);
}

}  // namespace
