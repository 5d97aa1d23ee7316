// The camera's motion from the templates' shifts: a robust fit of a
// translation, a rotation or a similarity about the frame's centre, which
// prefers the consensus that covers the widest part of the picture and agrees
// with the camera's recent motion, so that a moving subject is not taken for
// the camera.
#ifndef REGVIAFFT_STABILIZER_MOTION_FIT_H
#define REGVIAFFT_STABILIZER_MOTION_FIT_H

#include <vector>

#include "grid_measurement.h"
#include "regviafft/stabilizer.h"

namespace regviafft {

// Maps a point p of this frame, relative to the frame's centre, to where it
// was in the previous frame: scale R(angle) p + (x, y). The identity is no motion.
struct Similarity {
    double x = 0.0;      // pixels
    double y = 0.0;
    double angle = 0.0;  // radians, positive from the x axis towards the y axis (clockwise on screen)
    double scale = 1.0;

    // Where the frame's point (px, py) relative to the centre goes.
    double mapX(double px, double py) const;
    double mapY(double px, double py) const;
};

struct FitOptions {
    MotionModel model = MotionModel::Rotation;
    double centreX = 0.0;      // the frame's centre, full-resolution pixels
    double centreY = 0.0;
    double inlierRadius = 1.0; // a template within this many pixels of the motion agrees with it
    Similarity expected;       // the motion the camera's recent frames predict
    double expectedSpread = 1.0;  // how far, in pixels, a real motion strays from the prediction
    // Whenever enough of the picture agrees with the expected motion (this
    // many templates, spread over this share of the extent of all of them),
    // the motion is fitted to those templates alone: a still camera is not
    // moved by a subject, yet a pan that starts slowly is seen.
    bool holdExpected = false;
    int leastHeldTemplates = 3;
    double leastHeldCoverage = 0.3;
    // A hold presumed rather than earned (a shot's first second): the fit
    // also says whether a consensus moving nearly the whole picture
    // disagreed with it, as a caption band across a moving picture does and
    // a wall around a subject does not.
    bool presumedHold = false;
};

struct MotionFit {
    Similarity motion;
    std::vector<bool> inlier;  // per observation
    int inliers = 0;
    double support = 0.0;      // share of the measured templates' peak weight that agrees
    double residual = 0.0;     // rms distance of the agreeing templates from the motion, pixels
    bool held = false;         // fitted to the templates that agree with the expected motion
    bool wholePictureMoved = false;  // a presumed hold, against a consensus over nearly the whole picture
};

// The fit over the measured observations; with fewer than the model needs,
// the expected motion and no inlier.
MotionFit fitCameraMotion(const std::vector<TemplateObservation>& observations,
                          const FitOptions& options);

}  // namespace regviafft

#endif
