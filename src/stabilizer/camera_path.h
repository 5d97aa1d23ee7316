// The camera path of a stream and the correction of each frame: one class per
// path mode behind one small interface. Frames go in in push order, each with
// the camera's place on its path; their corrections come out in the same
// order once final.
#ifndef REGVIAFFT_STABILIZER_CAMERA_PATH_H
#define REGVIAFFT_STABILIZER_CAMERA_PATH_H

#include <memory>

#include "correction_budget.h"
#include "regviafft/stabilizer.h"

namespace regviafft {

// How a frame stands to the path of the frames before it.
enum class PathStep {
    Follow,  // moves on along the current path
    Start,   // starts a new path (the first frame with templates, a cut)
    Off,     // on no path (a frame passed through); the next one starts anew
};

struct PathSample {
    PathStep step = PathStep::Follow;
    Pose pose;           // the camera's place on its path
    bool still = false;  // the camera has stood still for a while: no correction is needed
    // The pose follows the frame's measured motion; otherwise the motion its
    // recent frames predicted, which a path leans on as little as it can.
    bool reliable = true;
    Pose applied;        // what the measurement applied itself (design mode only)
};

class CameraPath {
public:
    virtual ~CameraPath() = default;
    virtual std::unique_ptr<CameraPath> clone() const = 0;

    virtual void push(const PathSample& sample) = 0;
    // The correction of the oldest frame whose correction has not been taken,
    // when it is final; false while it waits for later frames.
    virtual bool take(Pose& correction) = 0;
    // End of stream: every correction becomes final.
    virtual void finish() = 0;
};

// The path of the settings' mode, limited to their budget.
std::unique_ptr<CameraPath> makeCameraPath(const Settings& resolved);

}  // namespace regviafft

#endif
