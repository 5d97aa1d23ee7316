// A camera meant to stand still: each shot's view is locked to its first
// frame, as far as the budget reaches.
#ifndef REGVIAFFT_STABILIZER_TRIPOD_PATH_H
#define REGVIAFFT_STABILIZER_TRIPOD_PATH_H

#include <deque>
#include <memory>

#include "camera_path.h"

namespace regviafft {

// Every frame of a path is corrected back onto the path's first frame, until
// a correction would leave the budget: from there the mode's own path takes
// over, blended in over a few frames, until the next path (a cut) locks again.
class TripodPath final : public CameraPath {
public:
    TripodPath(std::unique_ptr<CameraPath> mode, const CorrectionBudget& budget);
    TripodPath(const TripodPath& other);
    std::unique_ptr<CameraPath> clone() const override;
    void push(const PathSample& sample) override;
    bool take(Pose& correction) override;
    void finish() override { mode_->finish(); }

private:
    struct Entry {
        Pose lock;  // the correction that holds the path's first view
        int sinceRelease;  // frames since the lock let go; -1 while it holds
    };

    std::unique_ptr<CameraPath> mode_;
    CorrectionBudget budget_;
    std::deque<Entry> entries_;  // pushed, correction not yet taken
    bool locked_ = false;
    Pose held_;                  // the last lock within the budget
    int sinceRelease_ = -1;
};

}  // namespace regviafft

#endif
