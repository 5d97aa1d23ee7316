// The registration object under hostile use: any Create parameters, then
// frames, bypassed frames, null buffers, one buffer for input and output,
// copies and repeated Create, in any order. Every call must return 1 or 0 and
// leave the object releasable.
#include <cstdint>
#include <vector>

#include "RegViaFFT.h"
#include "fuzz_bytes.h"

namespace {

constexpr int kMaxOperations = 20;
// Frames are run only up to this area, so that one input stays fast.
constexpr long kMaxFrameArea = 160 * 120;

struct Stream {
    CRegViaFFT object;
    int width = 0;
    int height = 0;
    bool created = false;
};

// Sides past the limit (16384) must be refused; a side at the limit is left
// to the object's own tests: two objects of that size (a copy) need several
// GiB, more than a fuzzing process may hold.
int side(FuzzBytes& b)
{
    return static_cast<int>(b.flag() ? b.range(0, 200)
                                     : b.pick<long>({-1, 0, 1, 2, 31, 64, 4096, 16385, 30000, INT32_MAX}));
}

void create(Stream& s, FuzzBytes& b)
{
    const int height = side(b), width = side(b);
    const int templateHeight = side(b), templateWidth = side(b);
    const int templates = static_cast<int>(b.range(-1, 11));
    const int divisor = static_cast<int>(b.flag() ? b.range(0, 9) : b.pick<long>({-1, 49, INT32_MAX}));
    const int marginY = side(b) / 4, marginX = side(b) / 4;
    const int window = static_cast<int>(b.flag() ? b.range(-1, 40) : b.pick<long>({100000, 100001, INT32_MAX}));
    const double threshold = b.real(-1.0, 8.0);
    s.created = s.object.Create(height, width, templateHeight, templateWidth, templates, divisor,
                                marginY, marginX, window, threshold) == 1;
    if (s.created) {
        s.width = width;
        s.height = height;
    }
}

void run(Stream& s, FuzzBytes& b)
{
    if (!s.created || static_cast<long>(s.width) * s.height > kMaxFrameArea)
        return;
    const size_t bytes = static_cast<size_t>(s.width) * s.height * 4;
    std::vector<std::uint8_t> in(bytes), out(bytes);
    const std::uint8_t base = b.byte(), step = b.byte();
    for (size_t i = 0; i < bytes; ++i)
        in[i] = static_cast<std::uint8_t>(base + step * (i % 257) + (i / 4096));
    switch (b.range(0, 4)) {
    case 0:
        s.object.Run(in.data(), out.data(), b.flag());
        break;
    case 1:
        s.object.Run(in.data(), in.data(), b.flag());
        break;
    case 2:
        s.object.Run(nullptr, out.data(), b.flag());
        break;
    case 3:
        s.object.Run(in.data(), nullptr, b.flag());
        break;
    default:
        for (int k = 0; k < 4; ++k)
            s.object.Run(in.data(), out.data(), false);
        break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzBytes b(data, size);
    Stream streams[2];
    for (int op = 0; op < kMaxOperations && !b.empty(); ++op) {
        Stream& s = streams[b.range(0, 1)];
        switch (b.range(0, 5)) {
        case 0:
            create(s, b);
            break;
        case 1:
        case 2:
            run(s, b);
            break;
        case 3: {
            Stream& other = &s == &streams[0] ? streams[1] : streams[0];
            s.object = other.object;
            s.created = other.created;
            s.width = other.width;
            s.height = other.height;
            break;
        }
        case 4:
            s.object.Release();
            s.created = false;
            break;
        default:
            s.object = s.object;
            break;
        }
    }
    return 0;
}
