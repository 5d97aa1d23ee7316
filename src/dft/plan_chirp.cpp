// Chirp convolution: a transform of any length N as a cyclic convolution of
// length M >= 2N-1, computed by a fast plan of length M. With
// jk = (j^2 + k^2 - (k-j)^2)/2, X[k] = c[k] * sum_j (x[j]*c[j]) * conj(c[k-j])
// where c[k] = exp(-i*pi*k^2/N).
#include <cstring>

#include "complex_vec.h"
#include "plan_1d.h"

namespace {

// Convolution lengths with fast plans (products of 2, 3 and 5); above the
// last one, powers of two.
constexpr int64_t kConvolutionLengths[] = {
    128,  144,  160,  192,  200,  256,  288,  320,  384,  400,  512,
    576,  640,  768,  800,  1024, 1152, 1280, 1536, 1600, 2048, 2304,
    2560, 3072, 3200, 4096, 4608, 5120, 6144, 6400, 8192};

struct ChirpData {
    int64_t convolutionLength;  // M
    DftPlan1D* sub;             // plan of length M, owned
    Complex* chirp;             // c[k], k < N
    Complex* kernel;            // forward transform of the kernel, times 1/M
};

// dst[k] = a[k] * b[k] for k < n.
void multiplyPointwise(const Complex* a, const Complex* b, Complex* dst, int64_t n) {
    for (int64_t k = 0; k < n; ++k) {
        storeComplex(dst + k, multiply(loadComplex(a + k), loadComplex(b + k)));
    }
}

void releaseChirpData(ChirpData* d) {
    if (d == nullptr) return;
    if (d->sub != nullptr) planDestroy(d->sub);
    planRelease(d);
}

// The kernel conj(c[k]) at k and at M-k, zero between; the 2N-entry root
// table it is read from fits in the same M elements beforehand.
void fillChirpAndKernel(ChirpData* d, int64_t n) {
    const int64_t m = d->convolutionLength;
    Complex* kernel = d->kernel;
    fillFullCircleRoots(kernel, 2 * n);
    int64_t index = 0;
    for (int64_t k = 0; k < n; ++k) {
        d->chirp[k] = kernel[index];
        index += 2 * k + 1;
        if (index >= 2 * n) index -= 2 * n;
    }
    std::memset(static_cast<void*>(kernel), 0, sizeof(Complex) * static_cast<size_t>(m));
    for (int64_t k = 0; k < n; ++k) {
        const Complex conj = {d->chirp[k].real, -d->chirp[k].imag};
        kernel[k] = conj;
        if (k > 0) kernel[m - k] = conj;
    }
}

int32_t chirpCreate(DftPlan1D* plan) {
    const int64_t n = plan->length;
    if (n < 1) return kPlanBadLength;
    const int64_t m = chirpConvolutionLength(n);
    const int64_t header = 32;
    static_assert(sizeof(ChirpData) <= 32, "header must keep the tables 32-byte aligned");
    auto* block = static_cast<char*>(
        planAllocate(header + static_cast<int64_t>(sizeof(Complex)) * (n + m)));
    if (block == nullptr) return kPlanNoMemory;
    auto* d = reinterpret_cast<ChirpData*>(block);
    d->convolutionLength = m;
    d->sub = nullptr;
    d->kernel = reinterpret_cast<Complex*>(block + header);
    d->chirp = d->kernel + m;
    DftPlan1D* sub = nullptr;
    const int32_t status = planCreate(&sub, plan->variant, m);
    if (status != kPlanOk) {
        releaseChirpData(d);
        return status;
    }
    d->sub = sub;
    fillChirpAndKernel(d, n);
    // Null work: the plan front allocates the sub-plan's buffer for this call.
    const int32_t transformed = planForward(d->sub, d->kernel, d->kernel, nullptr);
    if (transformed != kPlanOk) {
        releaseChirpData(d);
        return transformed;
    }
    const double scale = 1.0 / static_cast<double>(m);
    for (int64_t k = 0; k < m; ++k) {
        d->kernel[k].real *= scale;
        d->kernel[k].imag *= scale;
    }
    plan->kindData = d;
    // M elements of convolution buffer, then the sub-plan's own buffer.
    plan->workBytes =
        d->sub->workBytes + sizeof(Complex) * static_cast<size_t>(m) + kPlanWorkAlignment;
    return kPlanOk;
}

template <bool Forward>
int32_t chirpCompute(const DftPlan1D* plan, const Complex* src, Complex* dst, void* work) {
    const auto* d = static_cast<const ChirpData*>(plan->kindData);
    const int64_t n = plan->length;
    const int64_t m = d->convolutionLength;
    auto* buffer = static_cast<Complex*>(work);
    // M is even, so the sub-plan's buffer stays 32-byte aligned.
    Complex* subWork = buffer + m;
    multiplyPointwise(src, d->chirp, buffer, n);
    std::memset(static_cast<void*>(buffer + n), 0, sizeof(Complex) * static_cast<size_t>(m - n));
    int32_t status = planForward(d->sub, buffer, buffer, subWork);
    if (status != kPlanOk) return status;
    multiplyPointwise(buffer, d->kernel, buffer, m);
    status = planBackward(d->sub, buffer, buffer, subWork);
    if (status != kPlanOk) return status;
    multiplyPointwise(buffer, d->chirp, dst, n);
    if (!Forward) {
        // The backward transform is the forward one read at -k.
        for (int64_t k = 1, j = n - 1; k < j; ++k, --j) {
            const Complex t = dst[k];
            dst[k] = dst[j];
            dst[j] = t;
        }
    }
    return kPlanOk;
}

void chirpRelease(DftPlan1D* plan) {
    releaseChirpData(static_cast<ChirpData*>(plan->kindData));
    plan->kindData = nullptr;
}

}  // namespace

int64_t chirpConvolutionLength(int64_t n) {
    const int64_t needed = 2 * n - 1;
    for (const int64_t length : kConvolutionLengths) {
        if (length >= needed) return length;
    }
    int64_t length = 16384;
    while (length < needed) length *= 2;
    return length;
}

const PlanKindOps chirpPlanOps = {"chirp", chirpCreate, chirpCompute<true>, chirpCompute<false>,
                                  chirpRelease};
