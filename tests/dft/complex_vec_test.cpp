// The vector complex type against the scalar formulas it stands for: every
// lane must round exactly as the scalar expression, bit for bit.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "complex_vec.h"

namespace {

bool sameBits(ComplexVec v, Complex expected) {
    Complex got;
    storeComplex(&got, v);
    return std::memcmp(&got, &expected, sizeof got) == 0;
}

// Random parts of mixed magnitude plus signed zeros, where a reordered sum
// or a misplaced negation shows.
std::vector<Complex> samples() {
    std::mt19937_64 generator(7);
    std::uniform_real_distribution<double> uniform(-4.0, 4.0);
    std::vector<Complex> values = {{0.0, -0.0}, {-0.0, 0.0}, {1e-300, -3e300}};
    for (int i = 0; i < 200; ++i) values.push_back({uniform(generator), uniform(generator) * 1e-9});
    return values;
}

// A swapped lane, the wrong conjugate or a fused multiply-add each change bits.
TEST(ComplexVec, ProductsAndQuarterTurnsRoundAsTheScalarFormulas) {
    const std::vector<Complex> values = samples();
    for (size_t i = 0; i + 1 < values.size(); ++i) {
        const Complex a = values[i], w = values[i + 1];
        const ComplexVec va = loadComplex(&a), vw = loadComplex(&w);
        EXPECT_TRUE(sameBits(multiply(va, vw), {a.real * w.real - a.imag * w.imag,
                                                 a.real * w.imag + a.imag * w.real}));
        EXPECT_TRUE(sameBits(rotate<false>(va, vw), {a.real * w.real + a.imag * w.imag,
                                                      a.imag * w.real - a.real * w.imag}));
        EXPECT_TRUE(sameBits(plusI(va, vw), {a.real - w.imag, a.imag + w.real}));
        EXPECT_TRUE(sameBits(minusI(va, vw), {a.real + w.imag, a.imag - w.real}));
        EXPECT_TRUE(sameBits(quarterTurn<true>(va), {a.imag, -a.real}));
        EXPECT_TRUE(sameBits(quarterTurn<false>(va), {-a.imag, a.real}));
        EXPECT_TRUE(sameBits(2.5 * va - vw, {2.5 * a.real - w.real, 2.5 * a.imag - w.imag}));
    }
}

}  // namespace
