// The stabiliser API under hostile use: settings of any value, then frames
// of every format with any strides (padding, bottom-up, too short), of the
// right size or not, pushed, pulled, rendered in place or apart, finished and
// reset in any order. Bad values must come back as exceptions, never crash.
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "fuzz_bytes.h"
#include "regviafft/stabilizer.h"

namespace {

using namespace regviafft;

constexpr int kMaxOperations = 24;
constexpr long kMaxFrameArea = 128 * 96;

Settings settingsFrom(FuzzBytes& b)
{
    Settings s;
    s.width = static_cast<int>(b.flag() ? b.range(1, 128) : b.pick<long>({0, -3, 16384, 16385, INT32_MAX}));
    s.height = static_cast<int>(b.flag() ? b.range(1, 96) : b.pick<long>({0, -3, 16385}));
    s.mode = static_cast<PathMode>(b.range(-1, 3));
    s.lag = static_cast<int>(b.range(-2, 130));
    if (b.flag())
        s.smoothness = b.real(-1.0, 300.0);
    s.budgetPercent = b.real(-1.0, 30.0);
    s.border = static_cast<Border>(b.range(-1, 3));
    s.wholePixel = b.flag();
    s.fullRange = b.flag();
    if (b.flag())
        s.divisor = static_cast<int>(b.range(-1, 9));
    if (b.flag()) {
        s.templateWidth = static_cast<int>(b.range(-1, 130));
        s.templateHeight = static_cast<int>(b.range(-1, 100));
    }
    if (b.flag())
        s.templateCount = static_cast<int>(b.range(-1, 11));
    if (b.flag()) {
        s.marginX = static_cast<int>(b.range(-1, 60));
        s.marginY = static_cast<int>(b.range(-1, 60));
    }
    s.windowLength = static_cast<int>(b.range(-1, 40));
    s.steadyThreshold = b.real(-1.0, 5.0);
    return s;
}

// A frame in its own buffer: one or more planes, each with its own stride.
struct Frame {
    std::vector<std::vector<std::uint8_t>> buffers;
    FrameView view;
};

Frame frameFrom(FuzzBytes& b, int width, int height)
{
    Frame f;
    // Now and then a frame of another size, which push must refuse.
    if (b.byte() % 8 == 0) {
        width += static_cast<int>(b.range(-2, 2));
        height += static_cast<int>(b.range(-2, 2));
    }
    f.view.format = static_cast<PixelFormat>(b.range(0, 3));
    f.view.width = width;
    f.view.height = height;
    if (width < 1 || height < 1 || static_cast<long>(width) * height > kMaxFrameArea)
        return f;
    const int planes = f.view.format == PixelFormat::I420 ? 3 : f.view.format == PixelFormat::NV12 ? 2 : 1;
    const std::uint8_t seed = b.byte();
    for (int p = 0; p < planes; ++p) {
        const bool chroma = p > 0;
        const int bytes = f.view.format == PixelFormat::Packed4 ? 4
                          : f.view.format == PixelFormat::Packed3 ? 3
                          : f.view.format == PixelFormat::NV12 && chroma ? 2 : 1;
        const int w = chroma ? (width + 1) / 2 : width, h = chroma ? (height + 1) / 2 : height;
        const long rowBytes = static_cast<long>(w) * bytes;
        // Padding now and then, a row too short (refused) now and then.
        const long stride = rowBytes + b.pick<long>({0, 0, 0, 1, 16, -1});
        const long positive = stride > 0 ? stride : rowBytes;
        f.buffers.emplace_back(static_cast<size_t>(positive * h + 16));
        for (size_t i = 0; i < f.buffers.back().size(); ++i)
            f.buffers.back()[i] = static_cast<std::uint8_t>(seed + i * 7 + (i >> 9) * 13);
        std::uint8_t* first = f.buffers.back().data();
        // Bottom-up rows half the time.
        if (b.flag() && stride > 0)
            f.view.planes[p] = {first + (h - 1) * stride, -stride};
        else
            f.view.planes[p] = {first, stride};
    }
    return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzBytes b(data, size);
    Settings settings = settingsFrom(b);
    try {
        Stabilizer stabilizer(settings);
        const Settings s = stabilizer.settings();
        std::vector<Frame> held;
        MotionRecord record;
        for (int op = 0; op < kMaxOperations && !b.empty(); ++op) {
            try {
                switch (b.range(0, 6)) {
                case 0:
                case 1: {
                    Frame f = frameFrom(b, s.width, s.height);
                    stabilizer.push(f.view, static_cast<std::int64_t>(held.size()));
                    held.push_back(std::move(f));
                    break;
                }
                case 2:
                case 3:
                    while (stabilizer.pull(record) == Pull::Ready) {
                        Frame& in = held.at(static_cast<size_t>(record.id));
                        if (b.flag()) {
                            stabilizer.render(record, in.view, in.view);
                        } else {
                            Frame out = frameFrom(b, s.width, s.height);
                            stabilizer.render(record, in.view, out.view);
                        }
                    }
                    break;
                case 4:
                    stabilizer.finish();
                    break;
                case 5:
                    stabilizer.reset();
                    held.clear();
                    break;
                default: {
                    Stabilizer copy = stabilizer;
                    stabilizer = std::move(copy);
                    break;
                }
                }
            } catch (const std::invalid_argument&) {
            } catch (const std::runtime_error&) {
            }
        }
    } catch (const std::invalid_argument&) {
        // Settings refused, with their message.
    }
    return 0;
}
