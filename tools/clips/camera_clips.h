// Clips with a known camera path, rendered from a still photograph: the
// sample the command line stabilises, the quality benchmark's test clips and
// the end-to-end tests' input. The camera's true and intended positions are
// known for every frame, so what a stabiliser leaves of the shake is measured.
#ifndef REGVIAFFT_CAMERA_CLIPS_H
#define REGVIAFFT_CAMERA_CLIPS_H

#include <opencv2/core.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace clips {

// The camera over one frame: where its view sits in scene pixels (an offset
// of the view, its centre and corners alike when it does not turn), its roll
// and zoom, where the operator meant it to be, and which scene it sees. The
// view's pixel p, relative to its centre, shows the scene at the centre plus
// R(angle) p / zoom.
struct CameraSample {
    double x = 0.0;
    double y = 0.0;
    double angle = 0.0;  // radians, from the x axis towards the y axis
    double zoom = 1.0;
    double intendedX = 0.0;
    double intendedY = 0.0;
    double intendedAngle = 0.0;
    int scene = 0;
    bool newShot = false;  // a cut: the first frame of another shot
};
using CameraTrack = std::vector<CameraSample>;

// Hand shake: a seeded sum of sinusoids from 1 to 8 cycles per second at 30
// frames per second (tremor and the bob of walking), rms `amplitude` pixels
// on each axis.
struct Shake {
    double amplitude;
    std::uint32_t seed;
};

// Camera paths starting at (0, 0); add the shake with shaken().
CameraTrack tripod(int frames);
// A walking operator's framing: a seeded drift over several seconds, rms
// `sway` pixels across and half that up and down.
CameraTrack walk(int frames, double sway, std::uint32_t seed);
CameraTrack pan(int frames, double pixelsPerFrameX, double pixelsPerFrameY);
// Still, then a whip pan over `distance` pixels in `frames / 5` frames, then still.
CameraTrack whipPan(int frames, double distance);
CameraTrack shaken(CameraTrack track, const Shake& shake);
// Roll shake of a hand-held camera: a seeded sum of sinusoids from 0.5 to 2
// cycles per second, peaking near `degrees`.
CameraTrack rolled(CameraTrack track, double degrees, std::uint32_t seed);
// A slow, intended zoom from 1 to `last` over the clip.
CameraTrack zoomed(CameraTrack track, double last);
// The operator follows a subject: the intended path is the subject's.
CameraTrack following(const std::vector<cv::Point2d>& subjectPath);
// The frames from cutFrame on see `scene` (another scene, or the same one
// from elsewhere) from a fresh start of `after`.
CameraTrack withCut(CameraTrack before, const CameraTrack& after, int cutFrame, int scene = 1);

// The photograph enlarged by `zoom`, optionally with its contrast scaled
// about the mean (0.1 leaves a faint, nearly plain picture).
cv::Mat sceneFromPhoto(const cv::Mat& photo, double zoom, double contrast = 1.0);

// Something that moves in the scene on its own: a patch whose centre is at
// path[t] on frame t, in the track's coordinates (where a camera at the same
// offset would have it in the middle of its view).
struct Subject {
    cv::Mat look;  // BGR
    std::vector<cv::Point2d> path;
};
// A patch of the photograph, mirrored and turned so it looks like nothing
// behind it, `width` x `height` pixels.
cv::Mat subjectLook(const cv::Mat& photo, int width, int height, std::uint32_t seed);

// Where the track is drawn within the scene so that every view, turned and
// zoomed, lies on it (throws when it cannot).
struct Placement {
    double left;
    double top;
    int margin;  // scene pixels around a view that its turn or zoom may reach
};
Placement placeTrack(const CameraTrack& track, int sceneWidth, int sceneHeight, int width,
                     int height);

// What else a frame shows: the subjects where they are on frame `frame`,
// and the smear of the camera's own motion while the shutter is open, from
// `exposedFrom` (the camera at the shutter's opening) to the frame's sample.
struct FrameContent {
    const std::vector<Subject>* subjects = nullptr;
    int frame = 0;
    const CameraSample* exposedFrom = nullptr;
};

// One frame of 4-byte pixels (blue, green, red, 255), rows `stride` bytes
// apart: the view of `scene` at the sample's position, roll and zoom
// (bilinear), with the content's subjects and smear, plus seeded sensor
// noise of `noise` grey levels rms.
void renderFrame(const cv::Mat& scene, const CameraSample& sample, const Placement& placement,
                 int width, int height, double noise, std::uint32_t seed, std::uint8_t* pixels,
                 std::ptrdiff_t stride, const FrameContent& content = {});

// Residual shake of a stabilised clip: the output camera (true position minus
// the correction applied) about the intended path, high-passed by removing
// its Gaussian average of sigma 8 frames within each shot; rms in pixels.
double jitter(const CameraTrack& track, const std::vector<double>& correctionX,
              const std::vector<double>& correctionY);
// The same for the roll (true angle minus the correction's), in degrees.
double rotationJitter(const CameraTrack& track, const std::vector<double>& correctionDegrees);

}  // namespace clips

#endif
