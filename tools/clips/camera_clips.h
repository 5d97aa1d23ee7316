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

// The camera over one frame: the top-left corner of its view in scene
// pixels, where the operator meant it to be, and which scene it sees.
struct CameraSample {
    double x = 0.0;
    double y = 0.0;
    double intendedX = 0.0;
    double intendedY = 0.0;
    int scene = 0;
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
// The frames from cutFrame on see scene 1 from a fresh start of `after`.
CameraTrack withCut(CameraTrack before, const CameraTrack& after, int cutFrame);

// The photograph enlarged by `zoom`, optionally with its contrast scaled
// about the mean (0.1 leaves a faint, nearly plain picture).
cv::Mat sceneFromPhoto(const cv::Mat& photo, double zoom, double contrast = 1.0);

// The rectangle the camera's corner stays inside: where the track is drawn
// within the scene so that every view lies on it (throws when it cannot).
struct Placement {
    double left;
    double top;
};
Placement placeTrack(const CameraTrack& track, int sceneWidth, int sceneHeight, int width,
                     int height);

// One frame of 4-byte pixels (blue, green, red, 255), rows `stride` bytes
// apart: the view of `scene` at the sample's position (bilinear), plus
// seeded sensor noise of `noise` grey levels rms.
void renderFrame(const cv::Mat& scene, const CameraSample& sample, const Placement& placement,
                 int width, int height, double noise, std::uint32_t seed, std::uint8_t* pixels,
                 std::ptrdiff_t stride);

// Residual shake of a stabilised clip: the output camera (true position minus
// the correction applied) about the intended path, high-passed by removing
// its Gaussian average of sigma 8 frames within each scene; rms in pixels.
double jitter(const CameraTrack& track, const std::vector<double>& correctionX,
              const std::vector<double>& correctionY);

}  // namespace clips

#endif
