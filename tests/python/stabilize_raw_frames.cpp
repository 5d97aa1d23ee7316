// The C++ stabiliser on raw frames from a file, for the Python tests to
// compare the module against: prints one CSV line per record.
//
//   stabilize_raw_frames WIDTH HEIGHT packed4|packed3|i420 FRAMES_FILE MODE LAG BUDGET BORDER
#include <cstdio>
#include <cstdlib>
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
    const std::string format = argv[3], mode = argv[5], border = argv[8];
    Settings s;
    s.width = width;
    s.height = height;
    s.mode = mode == "lag" ? PathMode::Lag : mode == "causal" ? PathMode::Causal : PathMode::Design;
    s.lag = std::atoi(argv[6]);
    s.budgetPercent = std::atof(argv[7]);
    s.border = border == "crop" ? Border::Crop : border == "edge" ? Border::Edge : Border::Black;
    const int cw = (width + 1) / 2, ch = (height + 1) / 2;
    const size_t frameBytes = format == "i420" ? static_cast<size_t>(width) * height + 2 * cw * ch
                                               : static_cast<size_t>(width) * height * (format == "packed3" ? 3 : 4);
    std::ifstream in(argv[4], std::ios::binary);
    Stabilizer stabilizer(s);
    MotionRecord r;
    const auto drain = [&] {
        while (stabilizer.pull(r) == Pull::Ready)
            std::printf("%lld,%.17g,%.17g,%.17g,%.17g,%d\n", static_cast<long long>(r.index), r.motionX,
                        r.motionY, r.correctionX, r.correctionY, r.cut ? 1 : 0);
    };
    // The stabiliser reads a frame only while measuring it: one buffer serves every frame.
    std::vector<std::uint8_t> frame(frameBytes);
    for (std::int64_t id = 0; in.read(reinterpret_cast<char*>(frame.data()), static_cast<std::streamsize>(frameBytes));
         ++id) {
        std::uint8_t* p = frame.data();
        const FrameView view =
            format == "i420" ? FrameView::i420(width, height, {p, width}, {p + width * height, cw},
                                               {p + width * height + cw * ch, cw})
            : format == "packed3" ? FrameView::packed3(p, width, height) : FrameView::packed(p, width, height);
        stabilizer.push(view, id);
        drain();
    }
    stabilizer.finish();
    drain();
    return 0;
}
