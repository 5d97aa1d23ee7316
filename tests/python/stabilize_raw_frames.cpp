// The C++ stabiliser on raw frames from a file, for the Python tests to
// compare the module against: prints one CSV line per record.
//
//   stabilize_raw_frames WIDTH HEIGHT packed4|packed3|i420 FRAMES_FILE MODE LAG BUDGET BORDER
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "regviafft/stabilizer.h"

using namespace regviafft;

int main(int argc, char** argv)
{
    if (argc != 9) {
        std::fprintf(stderr, "usage: %s WIDTH HEIGHT FORMAT FILE MODE LAG BUDGET BORDER\n", argv[0]);
        return 2;
    }
    const int width = std::atoi(argv[1]), height = std::atoi(argv[2]);
    const std::string format = argv[3];
    Settings s;
    s.width = width;
    s.height = height;
    s.mode = std::strcmp(argv[5], "lag") == 0 ? PathMode::Lag
             : std::strcmp(argv[5], "causal") == 0 ? PathMode::Causal : PathMode::Design;
    s.lag = std::atoi(argv[6]);
    s.budgetPercent = std::atof(argv[7]);
    s.border = std::strcmp(argv[8], "crop") == 0 ? Border::Crop
               : std::strcmp(argv[8], "edge") == 0 ? Border::Edge : Border::Black;
    const int cw = (width + 1) / 2, ch = (height + 1) / 2;
    const size_t frameBytes = format == "i420" ? static_cast<size_t>(width) * height + 2 * cw * ch
                                               : static_cast<size_t>(width) * height * (format == "packed3" ? 3 : 4);
    std::ifstream in(argv[4], std::ios::binary);
    Stabilizer stabilizer(s);
    std::vector<std::vector<std::uint8_t>> frames;
    MotionRecord r;
    const auto drain = [&] {
        while (stabilizer.pull(r) == Pull::Ready)
            std::printf("%lld,%.17g,%.17g,%.17g,%.17g,%d\n", static_cast<long long>(r.index), r.motionX,
                        r.motionY, r.correctionX, r.correctionY, r.cut ? 1 : 0);
    };
    for (std::vector<std::uint8_t> frame(frameBytes);
         in.read(reinterpret_cast<char*>(frame.data()), static_cast<std::streamsize>(frameBytes));) {
        frames.push_back(frame);
        std::uint8_t* p = frames.back().data();
        const FrameView view =
            format == "i420" ? FrameView::i420(width, height, {p, width}, {p + width * height, cw},
                                               {p + width * height + cw * ch, cw})
            : format == "packed3" ? FrameView::packed3(p, width, height) : FrameView::packed(p, width, height);
        stabilizer.push(view, static_cast<std::int64_t>(frames.size() - 1));
        drain();
    }
    stabilizer.finish();
    drain();
    return 0;
}
