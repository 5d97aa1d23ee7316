// Drawing the progress of a run.
#include "progress.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace video {
namespace {

constexpr int kBarCells = 30;
// A bar is redrawn at most this often, a line written at most this often.
constexpr std::chrono::milliseconds kBarInterval{100};
constexpr std::chrono::seconds kLineInterval{5};

std::string clock(double seconds)
{
    const long whole = std::lround(std::max(0.0, seconds));
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

}  // namespace

Progress::Style Progress::styleFor(bool quiet)
{
    if (quiet)
        return Style::Quiet;
    return isatty(STDERR_FILENO) ? Style::Bar : Style::Lines;
}

Progress::Progress(Style style, std::FILE* out) : style_(style), out_(out) {}

void Progress::start(std::int64_t total)
{
    total_ = total;
    started_ = std::chrono::steady_clock::now();
    // The first frame is reported at once, so a slow run shows it has begun.
    lastDrawn_ = started_ - kLineInterval;
}

double Progress::elapsedSeconds() const
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
}

void Progress::update(std::int64_t done)
{
    if (style_ == Style::Quiet)
        return;
    const auto now = std::chrono::steady_clock::now();
    const std::chrono::milliseconds interval =
        style_ == Style::Bar ? kBarInterval : std::chrono::milliseconds(kLineInterval);
    if (now - lastDrawn_ < interval)
        return;
    lastDrawn_ = now;
    draw(done, false);
}

void Progress::finish(std::int64_t done)
{
    if (style_ != Style::Quiet)
        draw(done, true);
}

void Progress::draw(std::int64_t done, bool last)
{
    const double seconds = elapsedSeconds();
    const double rate = seconds > 0.0 ? done / seconds : 0.0;
    // The file's own count may be an estimate: never show more than done.
    const std::int64_t total = std::max(total_, done);
    std::string left = "?";
    if (total_ > 0 && rate > 0.0)
        left = clock((total - done) / rate);
    if (style_ == Style::Bar) {
        const int filled = total > 0 ? static_cast<int>(kBarCells * done / total) : 0;
        std::fprintf(out_, "\r[%s%s] %lld/%lld frames  %.1f fps  %s left ",
                     std::string(filled, '#').c_str(), std::string(kBarCells - filled, '.').c_str(),
                     static_cast<long long>(done), static_cast<long long>(total), rate, left.c_str());
        if (last)
            std::fputc('\n', out_);
    } else {
        std::fprintf(out_, "stabilised %lld of %lld frames, %.1f fps, %s left\n",
                     static_cast<long long>(done), static_cast<long long>(total), rate,
                     last ? "0:00" : left.c_str());
    }
    std::fflush(out_);
}

}  // namespace video
