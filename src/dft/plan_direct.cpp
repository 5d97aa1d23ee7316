// Direct transform: the defining O(N^2) sum, for the odd primes too large for
// a codelet and too small to be worth a convolution. The same kernel serves
// the mixed-radix plan as its butterfly for odd radices of 7 and more.
#include <cstring>

#include "plan_1d.h"

namespace {

// Both directions in one body: a mirrored pair (q, n-q) of inputs contributes
// c*(x_q + x_{n-q}) + i*s*(x_q - x_{n-q}) to output p and the same with -s to
// output n-p, so each root is read once for two outputs.
template <bool Forward>
void directKernel(const Complex* roots, int32_t n, const Complex* x, Complex* y) {
    Complex sum[kMaxDirectLength / 2 + 1];
    Complex diff[kMaxDirectLength / 2 + 1];
    const int32_t half = (n - 1) / 2;
    const Complex x0 = x[0];
    const Complex middle = (n % 2 == 0) ? x[n / 2] : Complex{0.0, 0.0};
    double total = 0.0;
    double totalIm = 0.0;
    for (int32_t q = 1; q <= half; ++q) {
        sum[q] = {x[q].real + x[n - q].real, x[q].imag + x[n - q].imag};
        diff[q] = {x[q].real - x[n - q].real, x[q].imag - x[n - q].imag};
        total += sum[q].real;
        totalIm += sum[q].imag;
    }
    y[0] = {x0.real + (total + middle.real), x0.imag + (totalIm + middle.imag)};
    for (int32_t p = 1; p <= half; ++p) {
        double cr = 0.0, ci = 0.0, sr = 0.0, si = 0.0;
        int32_t index = 0;
        for (int32_t q = 1; q <= half; ++q) {
            index += p;
            if (index >= n) index -= n;
            const Complex w = roots[index];
            cr += w.real * sum[q].real;
            ci += w.real * sum[q].imag;
            sr += w.imag * diff[q].imag;
            si += w.imag * diff[q].real;
        }
        if (!Forward) {
            sr = -sr;
            si = -si;
        }
        // An even length adds the middle input with sign (-1)^p.
        const double mr = (p % 2 == 0) ? middle.real : -middle.real;
        const double mi = (p % 2 == 0) ? middle.imag : -middle.imag;
        y[p] = {x0.real + ((cr - sr) + mr), x0.imag + ((ci + si) + mi)};
        y[n - p] = {x0.real + ((cr + sr) + mr), x0.imag + ((ci - si) + mi)};
    }
    if (n % 2 == 0 && n > 1) {
        double re = 0.0, im = 0.0;
        for (int32_t q = 1; q <= half; ++q) {
            re += (q % 2 == 0) ? sum[q].real : -sum[q].real;
            im += (q % 2 == 0) ? sum[q].imag : -sum[q].imag;
        }
        const bool evenHalf = (n / 2) % 2 == 0;
        y[n / 2] = {x0.real + (re + (evenHalf ? middle.real : -middle.real)),
                    x0.imag + (im + (evenHalf ? middle.imag : -middle.imag))};
    }
}

int32_t directCreate(DftPlan1D* plan) {
    const int64_t n = plan->length;
    if (n < 1 || n > kMaxDirectLength) return kPlanBadLength;
    auto* roots = static_cast<Complex*>(planAllocate(n * static_cast<int64_t>(sizeof(Complex))));
    if (roots == nullptr) return kPlanNoMemory;
    fillFullCircleRoots(roots, n);
    plan->kindData = roots;
    // Room for the whole result, so that src == dst works.
    plan->workBytes = sizeof(Complex) * static_cast<size_t>(n) + kPlanWorkAlignment;
    return kPlanOk;
}

int32_t directCompute(const DftPlan1D* plan, const Complex* src, Complex* dst, void* work,
                      bool forward) {
    const auto n = static_cast<int32_t>(plan->length);
    Complex* out = (src == dst) ? static_cast<Complex*>(work) : dst;
    directTransform(static_cast<const Complex*>(plan->kindData), n, src, out, forward);
    if (out != dst) std::memcpy(dst, out, sizeof(Complex) * static_cast<size_t>(n));
    return kPlanOk;
}

int32_t directForward(const DftPlan1D* plan, const Complex* src, Complex* dst, void* work) {
    return directCompute(plan, src, dst, work, true);
}

int32_t directBackward(const DftPlan1D* plan, const Complex* src, Complex* dst, void* work) {
    return directCompute(plan, src, dst, work, false);
}

void directRelease(DftPlan1D* plan) {
    planRelease(plan->kindData);
    plan->kindData = nullptr;
}

}  // namespace

void directTransform(const Complex* roots, int32_t n, const Complex* src, Complex* dst,
                     bool forward) {
    if (forward) {
        directKernel<true>(roots, n, src, dst);
    } else {
        directKernel<false>(roots, n, src, dst);
    }
}

const PlanKindOps directPlanOps = {"direct", directCreate, directForward, directBackward,
                                   directRelease};
