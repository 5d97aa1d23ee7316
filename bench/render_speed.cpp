// Time to render one 1920x1080 I420 frame by its correction, on one core
// (the image library's threads off): a whole-pixel shift, a sub-pixel
// translation, the rotation warp of the camera's roll and the similarity
// warp of roll and zoom, each into another frame and in place (as Python's
// render may be called). A frame copy is the yardstick.
//
//   render_speed [--benchmark_filter=...] [--benchmark_repetitions=N]
#include <benchmark/benchmark.h>

#include <opencv2/core.hpp>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "regviafft/stabilizer.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

// Corrections as the stabiliser hands them out: pixels, degrees, a factor.
struct Correction {
    double x, y, rotationDegrees, scale;
};
constexpr Correction kWholeShift{3.0, -2.0, 0.0, 1.0};
constexpr Correction kSubPixel{2.37, -1.61, 0.0, 1.0};
constexpr Correction kRotation{2.37, -1.61, 0.8, 1.0};
constexpr Correction kSimilarity{2.37, -1.61, 0.8, 1.012};

// One I420 frame, or one of 4-byte pixels, filled with noise so no path can
// skip work.
struct Frame {
    explicit Frame(bool packed) : packed(packed), bytes(kWidth * kHeight * (packed ? 4 : 3) / (packed ? 1 : 2)) {}
    bool packed;
    std::vector<std::uint8_t> bytes;
    regviafft::FrameView view()
    {
        std::uint8_t* y = bytes.data();
        if (packed)
            return regviafft::FrameView::packed(y, kWidth, kHeight);
        std::uint8_t* u = y + kWidth * kHeight;
        std::uint8_t* v = u + kWidth * kHeight / 4;
        return regviafft::FrameView::i420(kWidth, kHeight, {y, kWidth}, {u, kWidth / 2},
                                          {v, kWidth / 2});
    }
};

Frame noiseFrame(bool packed)
{
    Frame frame(packed);
    std::mt19937 generator(7);
    for (std::uint8_t& b : frame.bytes)
        b = static_cast<std::uint8_t>(generator());
    return frame;
}

void renderFrames(benchmark::State& state, Correction c, bool inPlace, bool packed = false)
{
    cv::setNumThreads(1);
    regviafft::Settings settings;
    settings.width = kWidth;
    settings.height = kHeight;
    settings.border = regviafft::Border::Black;
    regviafft::Stabilizer stabilizer(settings);
    regviafft::MotionRecord record;
    record.correctionX = c.x;
    record.correctionY = c.y;
    record.correctionRotation = c.rotationDegrees;
    record.correctionScale = c.scale;
    Frame input = noiseFrame(packed), output(packed);
    for (auto _ : state) {
        stabilizer.render(record, input.view(), inPlace ? input.view() : output.view());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * input.bytes.size());
}

void copyFrames(benchmark::State& state)
{
    Frame input = noiseFrame(false), output(false);
    for (auto _ : state) {
        std::memcpy(output.bytes.data(), input.bytes.data(), input.bytes.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * input.bytes.size());
}

}  // namespace

BENCHMARK(copyFrames)->Name("copy")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(renderFrames, whole_shift, kWholeShift, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(renderFrames, whole_shift_in_place, kWholeShift, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(renderFrames, sub_pixel, kSubPixel, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(renderFrames, sub_pixel_in_place, kSubPixel, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(renderFrames, rotation, kRotation, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(renderFrames, rotation_in_place, kRotation, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(renderFrames, similarity, kSimilarity, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(renderFrames, similarity_in_place, kSimilarity, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(renderFrames, rotation_4_byte_pixels, kRotation, false, true)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
