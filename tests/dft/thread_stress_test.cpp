// Eight threads with descriptors of their own must reproduce the
// single-threaded results bit for bit; REGVIAFFT_STRESS_SECONDS sets the time.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "dft_plans.h"
#include "sanitizers.h"

namespace regviafft::dft {

namespace {

#ifdef REGVIAFFT_TEST_SANITIZED
constexpr double kDefaultSeconds = 1.5;  // instrumented code runs several times slower
#else
constexpr double kDefaultSeconds = 3.0;
#endif

// Codelet, power-of-two, mixed-radix, direct and chirp lengths, and arrays
// large enough for the driver's row buffer.
constexpr int32_t kShapes[8][2] = {{16, 16}, {24, 20}, {32, 64}, {17, 33},
                                   {64, 128}, {9, 100}, {128, 32}, {7, 79}};
constexpr int kComputesPerRound = 4;  // descriptors are reused, as the registration object does

// Fresh descriptors, then repeated forward and backward transforms into out
// (forward results, then backward ones); false on any status or change.
bool runRound(const int32_t shape[2], const Signal& in, Signal* out)
{
    Descriptor f, b;
    bool ok = commitOutOfPlace(f, shape[0], shape[1]) + commitOutOfPlace(b, shape[0], shape[1]) == 0;
    Signal first;
    out->assign(2 * in.size(), {0, 0});
    for (int i = 0; ok && i < kComputesPerRound; ++i) {
        ok = DftComputeForward(f.h, const_cast<Complex*>(in.data()), out->data()) == 0 &&
             DftComputeBackward(b.h, out->data(), out->data() + in.size()) == 0 &&
             (i == 0 || sameBits(*out, first));
        if (i == 0)
            first = *out;
    }
    return ok;
}

TEST(ThreadStress, EightThreadsReproduceSingleThreadedResults)
{
    Signal inputs[8], expected[8];
    for (int t = 0; t < 8; ++t) {
        inputs[t] = testSignal(size_t(kShapes[t][0]) * kShapes[t][1], 0.11 + 0.05 * t);
        ASSERT_TRUE(runRound(kShapes[t], inputs[t], &expected[t])) << "shape " << t;
    }
    const char* seconds = std::getenv("REGVIAFFT_STRESS_SECONDS");
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration<double>(seconds ? std::atof(seconds) : kDefaultSeconds);
    std::atomic<int> failures{0}, rounds{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            Signal out;
            do {
                if (!runRound(kShapes[t], inputs[t], &out) || !sameBits(out, expected[t]))
                    failures.fetch_add(1);
                rounds.fetch_add(1);
            } while (std::chrono::steady_clock::now() < deadline);
        });
    }
    for (std::thread& th : threads)
        th.join();
    EXPECT_EQ(failures.load(), 0) << "of " << rounds.load() << " rounds";
}

}  // namespace

}  // namespace regviafft::dft
