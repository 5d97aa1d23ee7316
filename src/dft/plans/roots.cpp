// Trigonometric tables: the fixed 1024-point sine table, the full-circle root
// table of the mixed-radix and chirp plans, and the quarter-wave sine table of
// the large power-of-two plans. Everything here runs at plan time only.
#include <cmath>

#include "plan_1d.h"

namespace regviafft::dft {

const double kSineTable1024[kSineTableSize] = {
#include "sine_table_1024.inc"
};

namespace {

// The double nearest 2*pi; every computed angle starts from it.
constexpr double kTwoPi = 6.283185307179586;

}  // namespace

void fillFullCircleRoots(Complex* roots, int64_t n) {
    if (n < 1) {
        return;
    }
    const double step = kTwoPi / static_cast<double>(n);
    // Only the first octant (or quarter, or half) is evaluated; symmetry
    // gives the rest, so equal angles get bit-identical values.
    int64_t computed;
    if (n % 4 == 0) {
        computed = n / 8;
    } else if (n % 4 == 2) {
        computed = n / 4;
    } else {
        computed = (n - 1) / 2;
    }
    for (int64_t k = 0; k <= computed; ++k) {
        const double theta = static_cast<double>(k) * step;
        roots[k] = Complex{std::cos(theta), -std::sin(theta)};
    }
    if (n % 4 == 0) {
        for (int64_t k = computed + 1; k <= n / 4; ++k) {
            const Complex& mirror = roots[n / 4 - k];
            roots[k] = Complex{-mirror.imag, -mirror.real};
        }
    }
    if (n % 2 == 0) {
        for (int64_t k = n / 4 + 1; k <= n / 2; ++k) {
            const Complex& mirror = roots[n / 2 - k];
            roots[k] = Complex{-mirror.real, mirror.imag};
        }
    }
    for (int64_t k = n / 2 + 1; k < n; ++k) {
        const Complex& mirror = roots[n - k];
        roots[k] = Complex{mirror.real, -mirror.imag};
    }
}

void fillQuarterWaveSines(double* table, int64_t n) {
    if (n < 4) {
        return;
    }
    const int64_t quarter = n / 4;
    const double scale = kTwoPi / static_cast<double>(n);
    // Past the octant the cosine of the complement is the better-conditioned
    // evaluation of the same sine.
    for (int64_t k = 0; k <= quarter; ++k) {
        table[k] = (k <= n / 8) ? std::sin(static_cast<double>(k) * scale)
                                : std::cos(static_cast<double>(quarter - k) * scale);
    }
}

void splitRoot(Complex w, Complex* split)
{
    split[0] = {w.real, w.real};
    split[1] = {-w.imag, w.imag};
}

void fillDirectTable(Complex* table, int64_t n, const Complex* roots, int64_t rootStep)
{
    const int64_t half = (n - 1) / 2;
    for (int64_t e = 0; e < directTableEntries(n); ++e) {
        const int64_t p = e / half + 1, q = e % half + 1;
        table[e] = p <= half ? roots[(p * q % n) * rootStep] : Complex{0.0, 0.0};
    }
}

}  // namespace regviafft::dft
