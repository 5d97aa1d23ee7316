// Frames per second of the C++ stabiliser API on raw frames from a file
// (push, pull and render), the yardstick for the Python module's speed.
//
//   api_speed WIDTH HEIGHT FRAMES_FILE MODE
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include "regviafft/stabilizer.h"

using namespace regviafft;

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s WIDTH HEIGHT FRAMES_FILE MODE\n", argv[0]);
        return 2;
    }
    const int width = std::atoi(argv[1]), height = std::atoi(argv[2]);
    const size_t bytes = static_cast<size_t>(width) * height * 4;
    std::ifstream in(argv[3], std::ios::binary);
    std::vector<std::vector<std::uint8_t>> frames;
    for (std::vector<std::uint8_t> frame(bytes); in.read(reinterpret_cast<char*>(frame.data()), bytes);)
        frames.push_back(frame);
    Settings s;
    s.width = width;
    s.height = height;
    s.mode = std::strcmp(argv[4], "lag") == 0 ? PathMode::Lag : PathMode::Causal;
    Stabilizer stabilizer(s);
    std::vector<std::uint8_t> output(bytes);
    MotionRecord record;
    const auto drain = [&] {
        while (stabilizer.pull(record) == Pull::Ready)
            stabilizer.render(record, FrameView::packed(frames[record.id].data(), width, height),
                              FrameView::packed(output.data(), width, height));
    };
    const auto start = std::chrono::steady_clock::now();
    for (size_t t = 0; t < frames.size(); ++t) {
        stabilizer.push(FrameView::packed(frames[t].data(), width, height), static_cast<std::int64_t>(t));
        drain();
    }
    stabilizer.finish();
    drain();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.2f\n", frames.size() / seconds);
    return 0;
}
