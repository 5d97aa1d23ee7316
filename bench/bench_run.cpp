// Time of Run per frame at common video sizes, with the plain copy of one frame
// as the yardstick. Run pauses 1 ms twice on every analysed frame; the table
// also shows the time without them, taking out two such pauses as measured in
// the same run (a 1 ms pause lasts a little longer than 1 ms).
//
// A second table splits out Run's per-pixel work at 1920x1080: the grey
// conversion, the reduction and the shifted copy of the output frame, against
// three plain copies of the frame.
#include <benchmark/benchmark.h>
#include <opencv2/core/core_c.h>
#include <opencv2/imgproc/imgproc_c.h>

#include <chrono>
#include <cstdio>
#include <thread>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "RegViaFFT.h"
#include "kernels.h"
#include "synthetic_frames.h"

namespace {

struct FrameSize {
    int width;
    int height;
};

constexpr FrameSize kSizes[] = {{640, 360}, {1280, 720}, {1920, 1080}};

std::vector<uint8_t> texturedPixels(int width, int height, int shift)
{
    return synthetic::toFourBytePixels(synthetic::texturedFrame(width, height, 3, shift, -shift));
}

std::map<std::string, double>& results()
{
    static std::map<std::string, double> table;
    return table;
}

std::string key(const char* what, int width, int height, int divisor)
{
    return std::string(what) + " " + std::to_string(width) + "x" + std::to_string(height) +
           (divisor > 0 ? " /" + std::to_string(divisor) : "");
}

void runPerFrame(benchmark::State& state)
{
    const FrameSize size = kSizes[state.range(0)];
    const int divisor = static_cast<int>(state.range(1));
    // 10 templates of 64x64 full-resolution pixels, margins 16, window 30.
    CRegViaFFT stream;
    if (stream.Create(size.height, size.width, 64, 64, 10, divisor, 16, 16, 30, 1.0) != 1) {
        state.SkipWithError("Create failed");
        return;
    }
    std::vector<uint8_t> frames[2] = {texturedPixels(size.width, size.height, 0),
                                      texturedPixels(size.width, size.height, 3)};
    std::vector<uint8_t> out(frames[0].size());
    stream.Run(frames[0].data(), out.data(), false);  // places the templates

    int which = 1;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        benchmark::DoNotOptimize(stream.Run(frames[which].data(), out.data(), false));
        which ^= 1;
    }
    const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
    results()[key("run", size.width, size.height, divisor)] =
        elapsed.count() / static_cast<double>(state.iterations());
}

void copyPerFrame(benchmark::State& state)
{
    const FrameSize size = kSizes[state.range(0)];
    std::vector<uint8_t> in = texturedPixels(size.width, size.height, 0);
    std::vector<uint8_t> out(in.size());
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        std::memcpy(out.data(), in.data(), in.size());
        benchmark::ClobberMemory();
    }
    const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
    results()[key("copy", size.width, size.height, 0)] =
        elapsed.count() / static_cast<double>(state.iterations());
}

void twoPauses(benchmark::State& state)
{
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
    results()["pauses"] = elapsed.count() / static_cast<double>(state.iterations());
}

// ---- Run's per-pixel stages at one size ----------------------------------

constexpr FrameSize kStageSize = {1920, 1080};
constexpr int kFrameBytesPerPixel = 4;

// An 8-bit one-channel image made the way the registration object makes its own.
class Image8 {
public:
    Image8(int width, int height) : image_(cvCreateImage(cvSize(width, height), IPL_DEPTH_8U, 1)) {}
    ~Image8() { cvReleaseImage(&image_); }
    Image8(const Image8&) = delete;
    Image8& operator=(const Image8&) = delete;
    IplImage* get() const { return image_; }
    uint8_t* data() const { return reinterpret_cast<uint8_t*>(image_->imageData); }

private:
    IplImage* image_;
};

void recordPerIteration(const char* what, int divisor, benchmark::State& state,
                        std::chrono::steady_clock::time_point start)
{
    const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
    results()[key(what, kStageSize.width, kStageSize.height, divisor)] =
        elapsed.count() / static_cast<double>(state.iterations());
}

void grayStage(benchmark::State& state)
{
    const int w = kStageSize.width, h = kStageSize.height;
    const std::vector<uint8_t> pixels = texturedPixels(w, h, 0);
    Image8 gray(w, h);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        regviafft::grayFromPixels(pixels.data(), std::ptrdiff_t{w} * kFrameBytesPerPixel,
                                  kFrameBytesPerPixel, w, h, gray.data(), gray.get()->widthStep);
        benchmark::ClobberMemory();
    }
    recordPerIteration("grey", 0, state, start);
}

void reductionStage(benchmark::State& state)
{
    const int w = kStageSize.width, h = kStageSize.height;
    const int divisor = static_cast<int>(state.range(0));
    const std::vector<uint8_t> pixels = texturedPixels(w, h, 0);
    Image8 gray(w, h);
    Image8 reduced(w / divisor, h / divisor);  // the size Create derives for these divisors
    regviafft::grayFromPixels(pixels.data(), std::ptrdiff_t{w} * kFrameBytesPerPixel,
                              kFrameBytesPerPixel, w, h, gray.data(), gray.get()->widthStep);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        cvResize(gray.get(), reduced.get(), CV_INTER_LINEAR);  // the call Run makes
        benchmark::ClobberMemory();
    }
    recordPerIteration("reduce", divisor, state, start);
}

void shiftStage(benchmark::State& state)
{
    const int w = kStageSize.width, h = kStageSize.height;
    const std::vector<uint8_t> in = texturedPixels(w, h, 0);
    std::vector<uint8_t> out(in.size());
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        regviafft::writeShiftedFrame(in.data(), out.data(), w, h, 3, -2);
        benchmark::ClobberMemory();
    }
    recordPerIteration("shift", 0, state, start);
}

void threeCopies(benchmark::State& state)
{
    const std::vector<uint8_t> in = texturedPixels(kStageSize.width, kStageSize.height, 0);
    std::vector<uint8_t> out(in.size());
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        for (int k = 0; k < 3; ++k) {
            std::memcpy(out.data(), in.data(), in.size());
            benchmark::ClobberMemory();
        }
    }
    recordPerIteration("three copies", 0, state, start);
}

BENCHMARK(twoPauses)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(runPerFrame)
    ->ArgsProduct({{0, 1, 2}, {2, 4}})
    ->ArgNames({"size", "divisor"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(copyPerFrame)->DenseRange(0, 2)->ArgName("size")->Unit(benchmark::kMicrosecond);
BENCHMARK(grayStage)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(reductionStage)->Arg(2)->Arg(4)->ArgName("divisor")->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(shiftStage)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(threeCopies)->Unit(benchmark::kMicrosecond)->UseRealTime();

void printTable()
{
    const double pauses = results()["pauses"];
    std::printf("\ntwo 1 ms pauses take %.3f ms\n", pauses);
    std::printf("%-12s %8s %12s %18s %12s %10s\n", "frame", "divisor", "run ms", "without pauses ms",
                "memcpy ms", "ratio");
    for (const FrameSize& s : kSizes) {
        const double copy = results()[key("copy", s.width, s.height, 0)];
        for (int divisor : {2, 4}) {
            const double run = results()[key("run", s.width, s.height, divisor)];
            const double work = run - pauses;
            std::printf("%5dx%-6d %8d %12.3f %18.3f %12.3f %10.1f\n", s.width, s.height, divisor, run,
                        work, copy, copy > 0 ? work / copy : 0.0);
        }
    }
}

void printStageTable()
{
    const int w = kStageSize.width, h = kStageSize.height;
    const double grey = results()[key("grey", w, h, 0)];
    const double shift = results()[key("shift", w, h, 0)];
    const double copies = results()[key("three copies", w, h, 0)];
    std::printf("\nper-pixel stages of Run at %dx%d, ms per frame (shift: ox 3, oy -2, out of place)\n",
                w, h);
    std::printf("%8s %8s %8s %8s %8s %10s %14s\n", "divisor", "grey", "reduce", "shift", "sum",
                "3 memcpy", "sum / 3 memcpy");
    for (int divisor : {2, 4}) {
        const double reduce = results()[key("reduce", w, h, divisor)];
        const double sum = grey + reduce + shift;
        std::printf("%8d %8.3f %8.3f %8.3f %8.3f %10.3f %14.2f\n", divisor, grey, reduce, shift,
                    sum, copies, copies > 0 ? sum / copies : 0.0);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    printTable();
    printStageTable();
    return 0;
}
