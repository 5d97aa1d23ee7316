// Chirp convolution: a transform of any length N as a cyclic convolution of
// length M >= 2N-1, computed by a fast plan of length M. With
// jk = (j^2 + k^2 - (k-j)^2)/2, X[k] = c[k] * sum_j (x[j]*c[j]) * conj(c[k-j])
// where c[k] = exp(-i*pi*k^2/N).
#include <cstring>

#include "plan_1d.h"

namespace regviafft::dft {

namespace {

// Convolution lengths with fast plans (products of 2, 3 and 5); above the
// last one, powers of two.
constexpr int64_t kConvolutionLengths[] = {
    128,  144,  160,  192,  200,  256,  288,  320,  384,  400,  512,
    576,  640,  768,  800,  1024, 1152, 1280, 1536, 1600, 2048, 2304,
    2560, 3072, 3200, 4096, 4608, 5120, 6144, 6400, 8192};
constexpr int64_t kFirstPowerOfTwoPastTable = 16384;

struct ChirpData {
    int64_t convolutionLength;  // M
    DftPlan1D* sub;             // plan of length M, owned
    const Complex* chirp;       // c[k], k < N, split
    const Complex* kernel;      // forward transform of the kernel, times 1/M, split
};

void releaseChirpData(ChirpData* d)
{
    if (d == nullptr)
        return;
    planDestroy(d->sub);
    planRelease(d);
}

// c[k] read from a table of 2N roots at k^2 modulo 2N (the index advances by
// 2k+1), and the kernel conj(c[k]) at k and at M-k, zero between; the root
// table fits in the kernel's M elements beforehand.
void fillChirpAndKernel(Complex* chirp, Complex* kernel, int64_t n, int64_t m)
{
    fillFullCircleRoots(kernel, 2 * n);
    int64_t index = 0;
    for (int64_t k = 0; k < n; ++k) {
        chirp[k] = kernel[index];
        index += 2 * k + 1;
        if (index >= 2 * n)
            index -= 2 * n;
    }
    std::memset(static_cast<void*>(kernel), 0, sizeof(Complex) * static_cast<size_t>(m));
    for (int64_t k = 0; k < n; ++k) {
        const Complex conj = {chirp[k].real, -chirp[k].imag};
        kernel[k] = conj;
        if (k > 0)
            kernel[m - k] = conj;
    }
}

// The plain table of `count` roots becomes its split form, in place from the
// end down (the split table is twice as long).
void splitInPlace(Complex* table, int64_t count)
{
    for (int64_t k = count - 1; k >= 0; --k)
        splitRoot(table[k], table + kSplitEntries * k);
}

int32_t chirpCreate(DftPlan1D* plan)
{
    const int64_t n = plan->length;
    if (n < 1)
        return kPlanBadLength;
    const int64_t m = chirpConvolutionLength(n);
    const int64_t header = roundUpToPlanAlignment(sizeof(ChirpData));
    auto* block = static_cast<char*>(
        planAllocate(header + int64_t{sizeof(Complex)} * kSplitEntries * (n + m)));
    if (block == nullptr)
        return kPlanNoMemory;
    auto* d = reinterpret_cast<ChirpData*>(block);
    auto* kernel = reinterpret_cast<Complex*>(block + header);
    Complex* chirp = kernel + kSplitEntries * m;
    *d = ChirpData{m, nullptr, chirp, kernel};
    // The sub-plan runs the same groups, never rows.
    const int32_t status = planCreate(&d->sub, plan->kernels, m, PlanUse{plan->use.maxLanes, false});
    if (status != kPlanOk) {
        releaseChirpData(d);
        return status;
    }
    fillChirpAndKernel(chirp, kernel, n, m);
    // Null work: the plan front allocates the sub-plan's buffer for this call.
    const int32_t transformed = planForward(d->sub, kernel, kernel, nullptr);
    if (transformed != kPlanOk) {
        releaseChirpData(d);
        return transformed;
    }
    const double scale = 1.0 / static_cast<double>(m);
    for (int64_t k = 0; k < m; ++k)
        kernel[k] = {kernel[k].real * scale, kernel[k].imag * scale};
    splitInPlace(kernel, m);
    splitInPlace(chirp, n);
    plan->kindData = d;
    // Two convolution buffers of M vectors, then the sub-plan's own work.
    plan->kindWorkBytes = 2 * groupVectorBytes(plan, m) + d->sub->workBytes;
    return kPlanOk;
}

// The backward transform is the forward one read at -k: elements k and n-k
// trade places.
void reverseTail(Complex* dst, ptrdiff_t dist, int64_t n, int32_t lanes)
{
    Complex held[kMaxLanes];
    const size_t bytes = sizeof(Complex) * static_cast<size_t>(lanes);
    for (int64_t k = 1, j = n - 1; k < j; ++k, --j) {
        std::memcpy(held, dst + k * dist, bytes);
        std::memcpy(dst + k * dist, dst + j * dist, bytes);
        std::memcpy(dst + j * dist, held, bytes);
    }
}

template <bool Forward>
int32_t chirpCompute(const DftPlan1D* plan, const PlanLines& lines, void* work)
{
    const auto* d = static_cast<const ChirpData*>(plan->kindData);
    const LaneKernels* k = planLaneKernels(plan, lines.count);
    const int64_t n = plan->length;
    const int64_t m = d->convolutionLength;
    const int32_t lanes = lines.count;
    auto* a = static_cast<Complex*>(work);
    Complex* b = a + m * lanes;
    // M is even, so the sub-plan's work stays aligned.
    Complex* subWork = b + m * lanes;
    k->splitProduct(lines.src, lines.srcDist, d->chirp, a, lanes, n);
    std::memset(static_cast<void*>(a + n * lanes), 0,
                sizeof(Complex) * static_cast<size_t>((m - n) * lanes));
    int32_t status = planCompute(d->sub, true, PlanLines{a, lanes, b, lanes, lanes, false}, subWork);
    if (status != kPlanOk)
        return status;
    k->splitProduct(b, lanes, d->kernel, b, lanes, m);
    status = planCompute(d->sub, false, PlanLines{b, lanes, a, lanes, lanes, false}, subWork);
    if (status != kPlanOk)
        return status;
    k->splitProduct(a, lanes, d->chirp, lines.dst, lines.dstDist, n);
    if (!Forward)
        reverseTail(lines.dst, lines.dstDist, n, lanes);
    return kPlanOk;
}

void chirpRelease(DftPlan1D* plan)
{
    releaseChirpData(static_cast<ChirpData*>(plan->kindData));
    plan->kindData = nullptr;
}

}  // namespace

int64_t chirpConvolutionLength(int64_t n)
{
    const int64_t needed = 2 * n - 1;
    for (const int64_t length : kConvolutionLengths) {
        if (length >= needed)
            return length;
    }
    int64_t length = kFirstPowerOfTwoPastTable;
    while (length < needed)
        length *= 2;
    return length;
}

const PlanKindOps chirpPlanOps = {
    "chirp", chirpCreate, chirpCompute<true>, chirpCompute<false>, chirpRelease,
};

}  // namespace regviafft::dft
