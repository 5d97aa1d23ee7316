// Small video files for the command-line tests, written and read back with
// FFmpeg's libraries, and the command run as a child process.
#ifndef REGVIAFFT_TEST_MEDIA_FILES_H
#define REGVIAFFT_TEST_MEDIA_FILES_H

#include <cstdint>
#include <string>
#include <vector>

namespace media {

using Plane = std::vector<std::uint8_t>;

struct Clip {
    int width = 0;
    int height = 0;
    std::vector<Plane> lumas;          // packed rows; chroma is a fixed pattern; none: audio only
    std::vector<std::int64_t> millis;  // time stamp of each frame, milliseconds
    bool audio = true;                 // an AAC tone as long as the video
    std::string codec = "ffv1";
    std::string container = "matroska";
};

// A camera moving by whole pixels (up to 3 a frame) over a textured scene
// with fine grain, so every patch has texture to register on, at irregular
// times (a variable frame rate).
struct ShakyClip {
    Clip clip;
    std::vector<int> x, y;  // the camera's corner in each frame
    int stepX(size_t t) const { return t == 0 ? 0 : x[t] - x[t - 1]; }
    int stepY(size_t t) const { return t == 0 ? 0 : y[t] - y[t - 1]; }
};
ShakyClip shakyClip(int width, int height, int frames, unsigned seed);

// Writes the file in its container; throws std::runtime_error.
void writeClip(const std::string& path, const Clip& clip);

struct Contents {
    std::string container;             // the demuxer's name
    std::string videoCodec;
    int width = 0;                     // of the video stream
    std::vector<Plane> lumas;          // decoded, packed rows
    std::vector<double> seconds;       // presentation time of each frame
    int audioPackets = 0;
    std::int64_t audioSamples = 0;
};

// Decodes every stream of a file; throws std::runtime_error.
Contents readClip(const std::string& path);

// A run of the command: its exit status and what it wrote to standard error.
struct Run {
    int status = -1;
    std::string errors;
};

// Runs the program with arguments; standard output goes to `stdoutPath` (or
// is thrown away). With `interruptAfter`, sends SIGINT once standard error
// has shown that many lines; with `fileSizeLimit`, no file it writes may grow
// beyond that many bytes; with `stdinPath`, standard input is read from that
// file (else it is empty).
Run runProgram(const std::string& program, const std::vector<std::string>& arguments,
               const std::string& stdoutPath = "", int interruptAfter = 0, long fileSizeLimit = 0,
               const std::string& stdinPath = "");

}  // namespace media

#endif
