// The per-frame record of a run, and its files: the motion table (.csv or
// .json) and the plot of the camera path (an image).
#ifndef REGVIAFFT_VIDEO_MOTION_LOG_H
#define REGVIAFFT_VIDEO_MOTION_LOG_H

#include <string>
#include <vector>

#include "regviafft/stabilizer.h"

namespace video {

struct FrameLog {
    regviafft::MotionRecord record;
    double seconds;  // presentation time of the frame
};

// One record per frame: its time in seconds, then the record's fields in the
// order and with the names of regviafft::recordFields(), then its templates
// (CSV: template_inliers, a 1 or 0 for each template that agrees with the
// camera's motion or not; JSON: templates, every field of
// regviafft::templateFields()). The format follows the name: .csv or .json.
// Throws Failure.
void writeMotionLog(const std::string& path, const std::vector<FrameLog>& log);

// The camera path and the smoothed path over time for both axes and the
// roll, cuts marked, as an image in the format its name ends in. Throws
// Failure.
void writePathPlot(const std::string& path, const std::vector<FrameLog>& log);

// The names' endings each file takes, for help texts: ".csv or .json", and
// the image formats the plot is written in here (".png, .jpg, ...").
std::string motionLogEndings();
std::string plotEndings();

// Throw regviafft::OptionError ("motion", "plot") for a name whose ending
// says no format these files are written in.
void checkMotionLogName(const std::string& path);
void checkPlotName(const std::string& path);

}  // namespace video

#endif
