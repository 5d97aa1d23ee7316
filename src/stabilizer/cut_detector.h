// Scene cuts, told by the picture's content: a small grey thumbnail of each
// frame is compared with the previous one once the camera's motion between
// them is compensated. A measurement can fail without a cut (a blurred frame
// of a fast pan) and match across one (two similar shots); the content says
// which.
#ifndef REGVIAFFT_STABILIZER_CUT_DETECTOR_H
#define REGVIAFFT_STABILIZER_CUT_DETECTOR_H

#include <opencv2/core.hpp>

#include "motion_fit.h"
#include "regviafft/stabilizer.h"

namespace regviafft {

// The motion under which two pictures' contents agree best, near a guess,
// and how much they still differ under it.
struct ContentMatch {
    Similarity motion;
    double change = 0.0;
};

class CutDetector {
public:
    explicit CutDetector(const Settings& resolved);

    // The frame's picture, at any reduced size, becomes the current one.
    void load(const cv::Mat& picture);
    // How much the content changed from the previous frame under `motion`
    // (see MotionRecord::contentChange); infinite where the motion leaves
    // too little of both pictures in common to tell, 0 on the first frame.
    double change(const Similarity& motion) const;
    // The motion near `guess` (within a few thumbnail pixels) under which
    // the content changes least: coarse, but sound where the templates fail.
    ContentMatch search(const Similarity& guess) const;

private:
    double changeUnder(const Similarity& motion, double offsetX, double offsetY) const;

    double frameWidth_;
    double frameHeight_;
    cv::Mat current_;   // thumbnails, 32-bit float grey
    cv::Mat previous_;
};

}  // namespace regviafft

#endif
