// Forward two-dimensional complex double transforms, out of place with dense
// row-major strides (the registration object's configuration), against FFTW
// in the same run. Ends with a table of CPU nanoseconds per transform, the ratio
// ours/FFTW and the largest difference between the two results.
//
//   bench_dft [--benchmark_filter=...] [--benchmark_repetitions=N]
//
// REGVIAFFT_DEBUG_CPU_TYPE forces a processor variant of the engine;
// bench/dft_variants.sh puts the detected, AVX and generic classes side by side.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "dft.h"

namespace {

struct Size {
    int rows;
    int columns;
};

constexpr Size kSizes[] = {{16, 16},  {32, 32}, {64, 64},  {128, 128}, {30, 40},  {48, 64},
                           {60, 80},  {75, 100}, {79, 79}, {100, 100}, {17, 73}};

std::string label(Size size)
{
    return std::to_string(size.rows) + "x" + std::to_string(size.columns);
}

// Uniform values in [-1, 1), the same for every run.
void fillSignal(double* interleaved, int elements)
{
    std::mt19937 generator(12345);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    for (int i = 0; i < 2 * elements; ++i)
        interleaved[i] = uniform(generator);
}

// A committed out-of-place descriptor, or null.
DFT_DESCRIPTOR_HANDLE commitOurs(Size size)
{
    const int32_t lengths[2] = {size.rows, size.columns};
    const int32_t strides[3] = {0, size.columns, 1};
    DFT_DESCRIPTOR_HANDLE handle = nullptr;
    int32_t status = DftCreateDescriptor(&handle, DFT_DOUBLE, DFT_COMPLEX, 2, lengths);
    status += DftSetValue(handle, DFT_PLACEMENT, DFT_NOT_INPLACE);
    status += DftSetValue(handle, DFT_INPUT_STRIDES, strides);
    status += DftSetValue(handle, DFT_OUTPUT_STRIDES, strides);
    status += DftCommitDescriptor(handle);
    if (status != 0)
        DftFreeDescriptor(&handle);
    return handle;
}

void benchOurs(benchmark::State& state, Size size)
{
    DFT_DESCRIPTOR_HANDLE handle = commitOurs(size);
    if (handle == nullptr) {
        state.SkipWithError("commit failed");
        return;
    }
    const int elements = size.rows * size.columns;
    // Arrays aligned as FFTW's own allocator aligns them, so that both sides
    // get the same memory.
    fftw_complex* in = fftw_alloc_complex(elements);
    fftw_complex* out = fftw_alloc_complex(elements);
    fillSignal(&in[0][0], elements);
    for (auto _ : state) {
        if (DftComputeForward(handle, in, out) != 0) {
            state.SkipWithError("compute failed");
            break;
        }
        benchmark::ClobberMemory();
    }
    DftFreeDescriptor(&handle);
    fftw_free(in);
    fftw_free(out);
}

void benchFftw(benchmark::State& state, Size size)
{
    const int elements = size.rows * size.columns;
    fftw_complex* in = fftw_alloc_complex(elements);
    fftw_complex* out = fftw_alloc_complex(elements);
    fftw_plan plan =
        fftw_plan_dft_2d(size.rows, size.columns, in, out, FFTW_FORWARD, FFTW_MEASURE);
    fillSignal(&in[0][0], elements);  // measuring overwrites the arrays
    for (auto _ : state) {
        fftw_execute(plan);
        benchmark::ClobberMemory();
    }
    fftw_destroy_plan(plan);
    fftw_free(in);
    fftw_free(out);
}

// Largest difference between the two results, relative to the largest
// magnitude of FFTW's; negative when ours cannot be computed.
double relativeDifference(Size size)
{
    const int elements = size.rows * size.columns;
    std::vector<_DFT_Complex16> in(elements);
    std::vector<_DFT_Complex16> ours(elements);
    fillSignal(&in[0].real, elements);
    DFT_DESCRIPTOR_HANDLE handle = commitOurs(size);
    const bool computed =
        handle != nullptr && DftComputeForward(handle, in.data(), ours.data()) == 0;
    DftFreeDescriptor(&handle);
    if (!computed)
        return -1.0;

    fftw_complex* data = fftw_alloc_complex(elements);
    fftw_plan plan =
        fftw_plan_dft_2d(size.rows, size.columns, data, data, FFTW_FORWARD, FFTW_ESTIMATE);
    fillSignal(&data[0][0], elements);
    fftw_execute(plan);
    double largest = 0.0;
    double difference = 0.0;
    for (int i = 0; i < elements; ++i) {
        largest = std::max(largest, std::hypot(data[i][0], data[i][1]));
        difference = std::max(difference,
                              std::hypot(ours[i].real - data[i][0], ours[i].imag - data[i][1]));
    }
    fftw_destroy_plan(plan);
    fftw_free(data);
    return largest > 0.0 ? difference / largest : difference;
}

// The console output as usual, plus the fastest CPU time of every benchmark:
// the transforms run on one thread, and CPU time is steadier than wall time
// on a shared machine.
class TableReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Iteration)
                continue;
            const std::string name = run.benchmark_name();
            const double ns = run.GetAdjustedCPUTime();
            auto found = fastest_.find(name);
            if (found == fastest_.end() || ns < found->second)
                fastest_[name] = ns;
        }
    }

    double fastest(const std::string& name) const
    {
        auto found = fastest_.find(name);
        return found == fastest_.end() ? NAN : found->second;
    }

private:
    std::map<std::string, double> fastest_;
};

// One line per size, then the geometric mean of the ratios over the sizes
// that both sides ran.
void printTable(const TableReporter& reporter)
{
    std::printf("\n%-9s %12s %12s %8s %12s\n", "size", "ours ns", "FFTW ns", "ratio",
                "rel. diff");
    double logSum = 0.0;
    int counted = 0;
    for (Size size : kSizes) {
        const double ours = reporter.fastest("ours/" + label(size));
        const double fftw = reporter.fastest("fftw/" + label(size));
        if (std::isnan(ours) && std::isnan(fftw))
            continue;
        std::printf("%-9s %12.1f %12.1f %8.2f %12.2e\n", label(size).c_str(), ours, fftw,
                    ours / fftw, relativeDifference(size));
        if (ours > 0.0 && fftw > 0.0) {
            logSum += std::log(ours / fftw);
            ++counted;
        }
    }
    if (counted > 0)
        std::printf("%-9s %12s %12s %8.2f\n", "geo-mean", "", "", std::exp(logSum / counted));
}

}  // namespace

int main(int argc, char** argv)
{
    for (Size size : kSizes) {
        benchmark::RegisterBenchmark(("ours/" + label(size)).c_str(), benchOurs, size)
            ->Unit(benchmark::kNanosecond);
        benchmark::RegisterBenchmark(("fftw/" + label(size)).c_str(), benchFftw, size)
            ->Unit(benchmark::kNanosecond);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    printTable(reporter);
    benchmark::Shutdown();
    fftw_cleanup();
    return 0;
}
