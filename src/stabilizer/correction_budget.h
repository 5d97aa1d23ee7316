// How far a frame may be moved to compensate: the correction budget, which
// bounds how much of the picture's edge a correction uncovers. A turn or a
// zoom uncovers the most at the corners, so it spends the budget there as a
// shift would.
#ifndef REGVIAFFT_STABILIZER_CORRECTION_BUDGET_H
#define REGVIAFFT_STABILIZER_CORRECTION_BUDGET_H

#include "regviafft/stabilizer.h"

namespace regviafft {

// A place on the camera path, or a correction: a shift in pixels, a turn in
// radians and a zoom as its logarithm, each about the frame's centre; the four
// are smoothed and limited alike. As a correction, the frame's content turns
// by `angle`, zooms by exp(logScale) and then moves by (x, y).
struct Pose {
    double x = 0.0;
    double y = 0.0;
    double angle = 0.0;
    double logScale = 0.0;
};

class CorrectionBudget {
public:
    // The settings' budget for their frame size.
    explicit CorrectionBudget(const Settings& resolved);
    // A budget of x and y pixels for a frame of width x height.
    CorrectionBudget(double x, double y, int width, int height);

    // How far the correction moves the frame's corners along each axis:
    // its shift, plus what its turn and zoom add there (to first order).
    double reachX(const Pose& correction) const;
    double reachY(const Pose& correction) const;

    // The correction limited so that its reach stays inside the budget:
    // below part of it unchanged, beyond it approaching the budget smoothly,
    // never exceeding it. A turn or zoom is scaled down with the shift of
    // the axis it presses on the most.
    Pose limit(const Pose& correction) const;

    // The budget along each axis, in pixels, and what a turn (radians) or a
    // zoom (its logarithm) alone may spend of it.
    double x() const { return x_; }
    double y() const { return y_; }
    double angle() const;
    double logScale() const;

private:
    double x_;
    double y_;
    double halfWidth_;
    double halfHeight_;
};

// Offsets up to part of the budget pass unchanged; beyond, they approach the
// budget smoothly and never exceed it. A budget of 0 allows no correction.
double limitToBudget(double offset, double budget);

}  // namespace regviafft

#endif
