// Progress on standard error: a bar redrawn in place on a terminal, plain
// lines now and then otherwise, nothing when quiet.
#ifndef REGVIAFFT_VIDEO_PROGRESS_H
#define REGVIAFFT_VIDEO_PROGRESS_H

#include <chrono>
#include <cstdint>
#include <cstdio>

namespace video {

class Progress {
public:
    enum class Style { Bar, Lines, Quiet };
    // Bar when standard error is a terminal, else Lines; Quiet when asked.
    static Style styleFor(bool quiet);

    explicit Progress(Style style, std::FILE* out = stderr);
    // total: frames expected, 0 when unknown.
    void start(std::int64_t total);
    void update(std::int64_t done);
    void finish(std::int64_t done);

private:
    void draw(std::int64_t done, bool last);
    double elapsedSeconds() const;

    Style style_;
    std::FILE* out_;
    std::int64_t total_ = 0;
    std::chrono::steady_clock::time_point started_;
    std::chrono::steady_clock::time_point lastDrawn_;
};

}  // namespace video

#endif
