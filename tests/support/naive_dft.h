// Reference transforms for tests: the defining sums, accumulated in long
// double, and the error norm the transform tests bound.
#ifndef REGVIAFFT_TEST_NAIVE_DFT_H
#define REGVIAFFT_TEST_NAIVE_DFT_H

#include <cmath>
#include <complex>
#include <cstdint>
#include <vector>

#include "complex16.h"

namespace regviafft::dft {

using LongComplex = std::complex<long double>;

// exp(-2*pi*i*t/n) forward, exp(+2*pi*i*t/n) backward, for t = 0..n-1.
inline std::vector<LongComplex> naiveRoots(int64_t n, bool forward)
{
    const long double step = 2.0L * std::acos(-1.0L) / static_cast<long double>(n);
    std::vector<LongComplex> roots(static_cast<size_t>(n));
    for (int64_t t = 0; t < n; ++t)
        roots[t] = std::polar(1.0L, (forward ? -step : step) * static_cast<long double>(t));
    return roots;
}

inline long double realOf(const LongComplex& z) { return z.real(); }
inline long double imagOf(const LongComplex& z) { return z.imag(); }
inline long double realOf(const Complex& z) { return z.real; }
inline long double imagOf(const Complex& z) { return z.imag; }

// Bin k of n stride-spaced elements from a table of naiveRoots(n, ...); the
// root index j*k is reduced modulo n exactly. The products are written out:
// std::complex multiplication checks every term for infinities and is slow.
template <typename Element>
LongComplex naiveSum(const Element* x, int64_t n, int64_t stride, int64_t k, const LongComplex* roots)
{
    long double re = 0.0L, im = 0.0L;
    k %= n;
    for (int64_t j = 0, t = 0; j < n; ++j) {
        const long double xr = realOf(x[j * stride]), xi = imagOf(x[j * stride]);
        re += xr * roots[t].real() - xi * roots[t].imag();
        im += xr * roots[t].imag() + xi * roots[t].real();
        t += k;
        if (t >= n)
            t -= n;
    }
    return {re, im};
}

// The unnormalised transform along every axis of a dense row-major array,
// slowest axis first: X[k] = sum_j x[j] exp(-+2*pi*i*j*k/n) per axis.
inline std::vector<Complex> naiveDft(const Complex* x, const std::vector<int64_t>& lengths,
                                            bool forward)
{
    int64_t total = 1;
    for (int64_t n : lengths)
        total *= n;
    std::vector<LongComplex> a(static_cast<size_t>(total)), line;
    for (int64_t i = 0; i < total; ++i)
        a[i] = {x[i].real, x[i].imag};
    int64_t stride = total;
    for (int64_t n : lengths) {
        stride /= n;
        const std::vector<LongComplex> roots = naiveRoots(n, forward);
        line.resize(static_cast<size_t>(n));
        for (int64_t start = 0; start < total; ++start) {
            if ((start / stride) % n != 0)
                continue;
            for (int64_t k = 0; k < n; ++k)
                line[k] = naiveSum(&a[start], n, stride, k, roots.data());
            for (int64_t k = 0; k < n; ++k)
                a[start + k * stride] = line[k];
        }
    }
    std::vector<Complex> out(a.size());
    for (size_t i = 0; i < a.size(); ++i)
        out[i] = {static_cast<double>(a[i].real()), static_cast<double>(a[i].imag())};
    return out;
}

// For lengths too long for the full sum: the largest error of the given bins
// of y, the transform of x, against sums over forwardRoots = naiveRoots(n,
// true), relative to the largest |y|. A backward bin k is the forward one at n - k.
inline double binError(const std::vector<Complex>& x, const std::vector<Complex>& y,
                       const std::vector<int64_t>& bins, bool forward,
                       const std::vector<LongComplex>& forwardRoots)
{
    const int64_t n = static_cast<int64_t>(x.size());
    double largest = 0.0, worst = 0.0;
    for (const Complex& v : y)
        largest = std::fmax(largest, std::hypot(v.real, v.imag));
    for (int64_t k : bins) {
        const LongComplex e = naiveSum(x.data(), n, 1, forward ? k : n - k, forwardRoots.data());
        worst = std::fmax(worst, std::hypot(y[k].real - static_cast<double>(e.real()),
                                            y[k].imag - static_cast<double>(e.imag())));
    }
    return worst / largest;
}

// Largest |actual - expected| over the elements, relative to the largest
// |expected| (absolute when expected is all zero); a NaN fails every bound.
inline double relativeError(const Complex* actual, const Complex* expected, int64_t n)
{
    double worst = 0.0, largest = 0.0;
    for (int64_t i = 0; i < n; ++i) {
        const double dr = actual[i].real - expected[i].real, di = actual[i].imag - expected[i].imag;
        const double error = dr * dr + di * di;
        if (std::isnan(error))
            return INFINITY;
        worst = std::fmax(worst, error);
        const double re = expected[i].real, im = expected[i].imag;
        largest = std::fmax(largest, re * re + im * im);
    }
    return largest > 0.0 ? std::sqrt(worst / largest) : std::sqrt(worst);
}

}  // namespace regviafft::dft

#endif
