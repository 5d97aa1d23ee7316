// Reference transforms for tests: the defining sums, accumulated in long
// double, and the error norm the transform tests bound.
#ifndef REGVIAFFT_TEST_NAIVE_DFT_H
#define REGVIAFFT_TEST_NAIVE_DFT_H

#include <cmath>
#include <complex>
#include <cstdint>
#include <vector>

#include "dft.h"

using LongComplex = std::complex<long double>;

// exp(-2*pi*i*t/n) forward, exp(+2*pi*i*t/n) backward, for t = 0..n-1.
inline std::vector<LongComplex> naiveRoots(int64_t n, bool forward) {
    const long double step = 2.0L * std::acos(-1.0L) / static_cast<long double>(n);
    const long double sign = forward ? -1.0L : 1.0L;
    std::vector<LongComplex> roots(static_cast<size_t>(n));
    for (int64_t t = 0; t < n; ++t) {
        const long double angle = step * static_cast<long double>(t);
        roots[static_cast<size_t>(t)] = {std::cos(angle), sign * std::sin(angle)};
    }
    return roots;
}

inline long double realOf(const LongComplex& z) { return z.real(); }
inline long double imagOf(const LongComplex& z) { return z.imag(); }
inline long double realOf(const _DFT_Complex16& z) { return z.real; }
inline long double imagOf(const _DFT_Complex16& z) { return z.imag; }

// Bin k of n stride-spaced elements from a table of naiveRoots(n, ...). The
// products are written out: std::complex multiplication checks for infinities
// on every term and is many times slower.
template <typename Element>
LongComplex naiveSum(const Element* x, int64_t n, int64_t stride, int64_t k,
                     const LongComplex* roots) {
    long double re = 0.0L;
    long double im = 0.0L;
    int64_t t = 0;
    k %= n;
    for (int64_t j = 0; j < n; ++j) {
        const long double xr = realOf(x[j * stride]);
        const long double xi = imagOf(x[j * stride]);
        const long double wr = roots[t].real();
        const long double wi = roots[t].imag();
        re += xr * wr - xi * wi;
        im += xr * wi + xi * wr;
        t += k;
        if (t >= n) t -= n;
    }
    return {re, im};
}

// The full transform of stride-spaced elements, kept in long double; the
// root index j*k is reduced modulo n exactly.
inline std::vector<LongComplex> naiveDftLong(const LongComplex* x, int64_t n, int64_t stride,
                                             bool forward) {
    const std::vector<LongComplex> roots = naiveRoots(n, forward);
    std::vector<LongComplex> out(static_cast<size_t>(n));
    for (int64_t k = 0; k < n; ++k) {
        out[static_cast<size_t>(k)] = naiveSum(x, n, stride, k, roots.data());
    }
    return out;
}

inline std::vector<_DFT_Complex16> toDouble(const std::vector<LongComplex>& x) {
    std::vector<_DFT_Complex16> out(x.size());
    for (size_t i = 0; i < x.size(); ++i) {
        out[i] = {static_cast<double>(x[i].real()), static_cast<double>(x[i].imag())};
    }
    return out;
}

inline std::vector<LongComplex> toLong(const _DFT_Complex16* x, int64_t n) {
    std::vector<LongComplex> out(static_cast<size_t>(n));
    for (int64_t i = 0; i < n; ++i) out[static_cast<size_t>(i)] = {x[i].real, x[i].imag};
    return out;
}

// X[k] = sum_j x[j] exp(-+2*pi*i*j*k/n), unnormalised, O(n^2).
inline std::vector<_DFT_Complex16> naiveDft(const _DFT_Complex16* x, int64_t n, bool forward) {
    const std::vector<LongComplex> in = toLong(x, n);
    return toDouble(naiveDftLong(in.data(), n, 1, forward));
}

// The 2-D transform of n1 rows of n2 elements, row-major: rows, then columns.
inline std::vector<_DFT_Complex16> naiveDft2D(const _DFT_Complex16* x, int64_t n1, int64_t n2,
                                              bool forward) {
    std::vector<LongComplex> a = toLong(x, n1 * n2);
    for (int64_t r = 0; r < n1; ++r) {
        LongComplex* row = &a[static_cast<size_t>(r * n2)];
        const std::vector<LongComplex> out = naiveDftLong(row, n2, 1, forward);
        for (int64_t c = 0; c < n2; ++c) row[c] = out[static_cast<size_t>(c)];
    }
    for (int64_t c = 0; c < n2; ++c) {
        LongComplex* column = &a[static_cast<size_t>(c)];
        const std::vector<LongComplex> out = naiveDftLong(column, n1, n2, forward);
        for (int64_t r = 0; r < n1; ++r) column[r * n2] = out[static_cast<size_t>(r)];
    }
    return toDouble(a);
}

// One output bin in O(n), for lengths too long for the full sum; the second
// form reuses a table of naiveRoots(n, forward) across bins.
inline LongComplex naiveBin(const _DFT_Complex16* x, int64_t n, int64_t k, bool forward) {
    return naiveSum(x, n, 1, k, naiveRoots(n, forward).data());
}

inline LongComplex naiveBin(const _DFT_Complex16* x, int64_t n, int64_t k,
                            const std::vector<LongComplex>& roots) {
    return naiveSum(x, n, 1, k, roots.data());
}

// Largest |actual - expected| over the elements, relative to the largest
// |expected| (absolute when expected is all zero).
inline double relativeError(const _DFT_Complex16* actual, const _DFT_Complex16* expected,
                            int64_t n) {
    double worst = 0.0;
    double largest = 0.0;
    for (int64_t i = 0; i < n; ++i) {
        const double dr = actual[i].real - expected[i].real;
        const double di = actual[i].imag - expected[i].imag;
        const double error = dr * dr + di * di;
        // A NaN must fail the bound, and comparisons alone would skip it.
        if (std::isnan(error)) return INFINITY;
        worst = error > worst ? error : worst;
        const double re = expected[i].real;
        const double im = expected[i].imag;
        largest = re * re + im * im > largest ? re * re + im * im : largest;
    }
    return largest > 0.0 ? std::sqrt(worst / largest) : std::sqrt(worst);
}

#endif
