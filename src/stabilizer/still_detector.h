// Whether the camera stands still: its fitted motion has stayed within the
// measurement's own noise for about a second. A still camera is held exactly
// where it is, whatever moves in front of it.
#ifndef REGVIAFFT_STABILIZER_STILL_DETECTOR_H
#define REGVIAFFT_STABILIZER_STILL_DETECTOR_H

namespace regviafft {

class StillDetector {
public:
    // `floor`: pixels of motion that count as none whatever the noise says.
    explicit StillDetector(double floor) : floor_(floor) {}

    // One frame: how far its fitted motion moves the agreeing templates (rms,
    // pixels) and the fit's own uncertainty (pixels).
    void observe(double movement, double uncertainty);
    // The motion of the last few frames was noise: none.
    bool quiet() const;
    // And for about a second: a still camera.
    bool still() const;
    // Still only because the shot has just begun, not yet for a second.
    bool presumed() const;
    // The camera is known to move, whatever its fitted motion said.
    void moved();
    // A new shot: its camera counts as still until a frame moves measurably.
    // A subject that moves from the first frame on would otherwise be fitted
    // before the still camera had a second to show itself; the hold fits the
    // still part's own motion, so a camera that does move is seen at once.
    void restart();

private:
    double floor_;
    double noise_ = 0.0;  // the measurement's uncertainty, averaged over recent frames
    int frames_ = 0;      // frames observed, for the average's start
    int quietFrames_ = 0;
    int shotFrames_ = 0;  // frames observed since the shot began
};

}  // namespace regviafft

#endif
