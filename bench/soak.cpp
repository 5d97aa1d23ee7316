// Long runs: create/release cycles and frames through each API with the
// resident memory at the start, middle and end, and objects on threads
// against the same objects run one after another.
//
//   soak [--cycles N] [--frames N] [--threads N]    (20000, 100000, 8 by default)
//
// Exits 1 when resident memory grows by more than 1 MiB after the warm-up or
// a threaded run differs from the serial one.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "RegViaFFT.h"
#include "dft.h"
#include "regviafft/stabilizer.h"
#include "synthetic_frames.h"

namespace {

constexpr int kWidth = 128;
constexpr int kHeight = 96;
constexpr long kFlatBytes = 1L << 20;
// Cycles and frames before the first reading: caches and pools fill first.
constexpr double kWarmUpShare = 0.05;

long residentBytes()
{
    long pages = 0, resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return resident * 4096L;
}

// A few frames of a textured scene seen by a shaking camera, 4 bytes a pixel.
std::vector<std::vector<std::uint8_t>> sceneFrames(int count, unsigned seed)
{
    const int room = 32;
    const std::vector<std::uint8_t> scene = synthetic::texturedFrame(kWidth + room, kHeight + room, seed);
    std::vector<std::vector<std::uint8_t>> frames;
    for (int t = 0; t < count; ++t) {
        const int x = (t * 7 + seed) % room, y = (t * 5 + 3 * seed) % room;
        std::vector<std::uint8_t> grey(static_cast<size_t>(kWidth) * kHeight);
        for (int r = 0; r < kHeight; ++r)
            std::memcpy(&grey[static_cast<size_t>(r) * kWidth], &scene[static_cast<size_t>(y + r) * (kWidth + room) + x], kWidth);
        frames.push_back(synthetic::toFourBytePixels(grey));
    }
    return frames;
}

struct Reading {
    long start, middle, end;
};

// Runs step(i) n times, reading resident memory after the warm-up, half-way
// and at the end.
Reading soak(long n, const std::function<void(long)>& step)
{
    Reading r{};
    const long warmUp = static_cast<long>(n * kWarmUpShare);
    for (long i = 0; i < n; ++i) {
        if (i == warmUp)
            r.start = residentBytes();
        if (i == n / 2)
            r.middle = residentBytes();
        step(i);
    }
    r.end = residentBytes();
    return r;
}

bool report(const char* what, long n, const Reading& r)
{
    const bool flat = r.end - r.start <= kFlatBytes && r.middle - r.start <= kFlatBytes;
    std::printf("| %s | %ld | %.2f | %.2f | %.2f | %s |\n", what, n, r.start / 1048576.0,
                r.middle / 1048576.0, r.end / 1048576.0, flat ? "flat" : "GROWS");
    return flat;
}

bool engineCycles(long n)
{
    std::vector<_DFT_Complex16> data(48 * 64, {1.0, 0.5}), out(data.size());
    return report("engine: create, commit, compute, free", n, soak(n, [&](long) {
        DFT_DESCRIPTOR_HANDLE h = nullptr;
        const int32_t lengths[2] = {48, 64};
        DftCreateDescriptor_d_md(&h, DFT_COMPLEX, 2, lengths);
        DftSetValue(h, DFT_PLACEMENT, static_cast<int32_t>(DFT_NOT_INPLACE));
        DftCommitDescriptor(h);
        DftComputeForward(h, data.data(), out.data());
        DftFreeDescriptor(&h);
    }));
}

bool registrationCycles(long n)
{
    return report("CRegViaFFT: Create, Release", n, soak(n, [](long i) {
        CRegViaFFT o;
        o.Create(kHeight, kWidth, 32 + (i % 3) * 8, 32, 5, 1 + i % 2, 8, 8, 10, 1.0);
        o.Release();
    }));
}

regviafft::Settings settings(regviafft::PathMode mode)
{
    regviafft::Settings s;
    s.width = kWidth;
    s.height = kHeight;
    s.mode = mode;
    return s;
}

bool stabilizerCycles(long n)
{
    return report("Stabilizer: construct, destroy", n, soak(n, [](long i) {
        regviafft::Stabilizer s(settings(static_cast<regviafft::PathMode>(i % 3)));
    }));
}

bool registrationFrames(long n, const std::vector<std::vector<std::uint8_t>>& frames)
{
    CRegViaFFT o;
    o.Create(kHeight, kWidth, 32, 32, 6, 1, 8, 8, 30, 1.0);
    std::vector<std::uint8_t> input, output(frames[0].size());
    return report("CRegViaFFT: Run", n, soak(n, [&](long i) {
        input = frames[i % frames.size()];
        o.Run(input.data(), output.data(), false);
    }));
}

// Every record's correction, as one stabiliser gives them for a stream.
std::vector<double> stabilise(regviafft::PathMode mode, long n,
                              const std::vector<std::vector<std::uint8_t>>& frames)
{
    regviafft::Stabilizer s(settings(mode));
    std::vector<std::uint8_t> output(frames[0].size());
    std::vector<double> corrections;
    regviafft::MotionRecord record;
    const auto drain = [&] {
        while (s.pull(record) == regviafft::Pull::Ready) {
            auto& in = const_cast<std::vector<std::uint8_t>&>(frames[record.id % frames.size()]);
            s.render(record, regviafft::FrameView::packed(in.data(), kWidth, kHeight),
                     regviafft::FrameView::packed(output.data(), kWidth, kHeight));
            corrections.push_back(record.correctionX + 1e3 * record.correctionY + output[output.size() / 2]);
        }
    };
    for (long i = 0; i < n; ++i) {
        auto& in = const_cast<std::vector<std::uint8_t>&>(frames[i % frames.size()]);
        s.push(regviafft::FrameView::packed(in.data(), kWidth, kHeight), i);
        drain();
    }
    s.finish();
    drain();
    return corrections;
}

bool stabilizerFrames(long n, const std::vector<std::vector<std::uint8_t>>& frames)
{
    regviafft::Stabilizer s(settings(regviafft::PathMode::Lag));
    std::vector<std::uint8_t> output(frames[0].size());
    regviafft::MotionRecord record;
    return report("Stabilizer: push, pull, render (lag)", n, soak(n, [&](long i) {
        auto& in = const_cast<std::vector<std::uint8_t>&>(frames[i % frames.size()]);
        s.push(regviafft::FrameView::packed(in.data(), kWidth, kHeight), i);
        while (s.pull(record) == regviafft::Pull::Ready) {
            auto& held = const_cast<std::vector<std::uint8_t>&>(frames[record.id % frames.size()]);
            s.render(record, regviafft::FrameView::packed(held.data(), kWidth, kHeight),
                     regviafft::FrameView::packed(output.data(), kWidth, kHeight));
        }
    }));
}

// Objects on threads give what the same objects give one after another.
bool threadsAgree(int threads, long n)
{
    std::vector<std::vector<std::vector<std::uint8_t>>> streams;
    for (int k = 0; k < threads; ++k)
        streams.push_back(sceneFrames(16, 11 + k));
    const auto mode = [](int k) { return static_cast<regviafft::PathMode>(1 + k % 2); };
    std::vector<std::vector<double>> serial, parallel(threads);
    for (int k = 0; k < threads; ++k)
        serial.push_back(stabilise(mode(k), n, streams[k]));
    std::vector<std::thread> workers;
    for (int k = 0; k < threads; ++k)
        workers.emplace_back([&, k] { parallel[k] = stabilise(mode(k), n, streams[k]); });
    for (std::thread& w : workers)
        w.join();
    const bool same = parallel == serial;
    std::printf("\n%d stabilisers on %d threads, %ld frames each: %s the serial run\n", threads, threads, n,
                same ? "identical to" : "DIFFERENT from");
    return same;
}

}  // namespace

int main(int argc, char** argv)
{
    long cycles = 20000, frames = 100000;
    int threads = 8;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--cycles") == 0)
            cycles = std::atol(argv[i + 1]);
        else if (std::strcmp(argv[i], "--frames") == 0)
            frames = std::atol(argv[i + 1]);
        else if (std::strcmp(argv[i], "--threads") == 0)
            threads = std::atoi(argv[i + 1]);
    }
    const std::vector<std::vector<std::uint8_t>> stream = sceneFrames(32, 3);
    std::printf("Resident memory in MiB after a %.0f %% warm-up, half-way and at the end\n\n",
                kWarmUpShare * 100);
    std::printf("| what | count | start | middle | end | |\n|---|---|---|---|---|---|\n");
    bool ok = engineCycles(cycles);
    ok = registrationCycles(cycles) && ok;
    ok = stabilizerCycles(cycles) && ok;
    ok = registrationFrames(frames, stream) && ok;
    ok = stabilizerFrames(frames, stream) && ok;
    ok = threadsAgree(threads, frames / 20) && ok;
    return ok ? 0 : 1;
}
