// The look-ahead camera path: each frame's smooth position fitted over the
// frames around it, `lag` of them ahead.
#ifndef REGVIAFFT_STABILIZER_LAG_PATH_H
#define REGVIAFFT_STABILIZER_LAG_PATH_H

#include <cstdint>
#include <deque>

#include "camera_path.h"

namespace regviafft {

// At frame t, a Gaussian-weighted (sigma frames) straight-line fit of the
// path over frames t - 3 sigma .. t + lag gives the smooth path (frames whose
// motion was predicted, not measured, count less in it): a straight
// pan needs no correction, and the ends of a path need no padding. Where the
// line would spend much of the budget within a few frames (a whip pan, a
// sudden stop), it blends into a narrow quadratic fit that follows the
// camera's acceleration. A correction is final `lag` frames later, or when
// its path ends; no window crosses into another path.
class LagPath final : public CameraPath {
public:
    LagPath(int lag, double sigma, const CorrectionBudget& budget);
    std::unique_ptr<CameraPath> clone() const override;
    void push(const PathSample& sample) override;
    bool take(Pose& correction) override;
    void finish() override { finished_ = true; }

private:
    struct Point {
        Pose pose;
        bool onPath;
        bool reliable;           // its motion was measured, not predicted
        std::int64_t pathStart;  // index of the frame its path started on
    };
    const Point& at(std::int64_t index) const { return points_[index - firstKept_]; }
    bool isFinal(std::int64_t index) const;
    Pose correctionOf(std::int64_t index) const;

    int lag_;
    double sigma_;
    CorrectionBudget budget_;
    int framesBack_;               // history a window reaches back
    std::deque<Point> points_;     // from firstKept_ to the last pushed
    std::int64_t firstKept_ = 0;
    std::int64_t pushed_ = 0;      // index of the next frame
    std::int64_t nextOut_ = 0;     // index of the next correction to take
    std::int64_t lastBreak_ = -1;  // latest frame that started a path or was on none
    std::int64_t pathStart_ = 0;
    bool finished_ = false;
};

}  // namespace regviafft

#endif
