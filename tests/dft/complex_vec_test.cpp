// The vector-of-complex type against the scalar formulas it stands for,
// compiled here at baseline flags: every slot must round exactly as the
// scalar expression, and every slot of a wider vector must stay in its place.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "kernel_unit.h"

namespace regviafft::dft {

namespace {
#include "complex_vec.inl"

using V1 = ComplexVec<1>;

bool sameBits(V1 v, Complex expected)
{
    Complex got;
    storeVec(&got, v);
    return std::memcmp(&got, &expected, sizeof got) == 0;
}

// Random parts of mixed magnitude plus signed zeros, where a reordered sum
// or a misplaced negation shows.
std::vector<Complex> samples()
{
    std::mt19937_64 generator(7);
    std::uniform_real_distribution<double> uniform(-4.0, 4.0);
    std::vector<Complex> values = {{0.0, -0.0}, {-0.0, 0.0}, {1e-300, -3e300}};
    for (int i = 0; i < 200; ++i)
        values.push_back({uniform(generator), uniform(generator) * 1e-9});
    return values;
}

// A swapped part, the wrong conjugate or a fused multiply-add each change bits.
TEST(ComplexVec, ProductsAndQuarterTurnsRoundAsTheScalarFormulas)
{
    const std::vector<Complex> values = samples();
    for (size_t i = 0; i + 1 < values.size(); ++i) {
        const Complex a = values[i], w = values[i + 1];
        const V1 va = loadVec<V1>(&a), vw = loadVec<V1>(&w);
        const Complex split[2] = {{w.real, w.real}, {-w.imag, w.imag}};
        EXPECT_TRUE(sameBits(multiplyBy(va, w.real, w.imag),
                             {a.real * w.real - a.imag * w.imag, a.imag * w.real + a.real * w.imag}));
        EXPECT_TRUE(sameBits(rotateSplit<false>(va, split),
                             {a.real * w.real + a.imag * w.imag, a.imag * w.real - a.real * w.imag}));
        EXPECT_TRUE(sameBits(plusI(va, vw), {a.real - w.imag, a.imag + w.real}));
        EXPECT_TRUE(sameBits(minusI(va, vw), {a.real + w.imag, a.imag - w.real}));
        EXPECT_TRUE(sameBits(quarterTurn<true>(va), {a.imag, -a.real}));
        EXPECT_TRUE(sameBits(quarterTurn<false>(va), {-a.imag, a.real}));
        EXPECT_TRUE(sameBits(2.5 * va - vw, {2.5 * a.real - w.real, 2.5 * a.imag - w.imag}));
    }
}

// Slot t of a W-wide vector computes what a one-slot vector computes on the
// same complex number; a lane pattern shifted by one slot or one part fails.
template <int W>
void expectSlotwise(const std::vector<Complex>& values)
{
    using V = ComplexVec<W>;
    for (size_t i = 0; i + W <= values.size(); i += W) {
        const V v = loadVec<V>(&values[i]);
        const V results[] = {swapParts(v), negateReal(v), negateImag(v), timesI(v),
                             plusI(v, swapParts(v))};
        for (int t = 0; t < W; ++t) {
            const V1 one = loadVec<V1>(&values[i + t]);
            const V1 expected[] = {swapParts(one), negateReal(one), negateImag(one), timesI(one),
                                   plusI(one, swapParts(one))};
            for (size_t r = 0; r < std::size(results); ++r) {
                Complex slots[W];
                storeVec(slots, results[r]);
                EXPECT_TRUE(sameBits(expected[r], slots[t])) << "width " << W << ", op " << r;
            }
        }
    }
}

TEST(ComplexVec, WiderVectorsKeepEverySlotInPlace)
{
    const std::vector<Complex> values = samples();
    expectSlotwise<2>(values);
    expectSlotwise<4>(values);
}

// Rows r of a W x W block become slot r of each element's vector, and back;
// the tail elements go one at a time. Element (r, i) holds r + i/100.
template <int W>
void expectRowTransposes()
{
    using V = ComplexVec<W>;
    constexpr int kLength = W + 1;
    constexpr ptrdiff_t kRowStride = kLength + 2;
    std::vector<Complex> rows(W * kRowStride, Complex{-1.0, -1.0});
    for (int r = 0; r < W; ++r) {
        for (int i = 0; i < kLength; ++i)
            rows[r * kRowStride + i] = {r + i / 100.0, -(r + i / 100.0)};
    }
    V v[kLength];
    loadRows<kLength>(rows.data(), kRowStride, v);
    for (int i = 0; i < kLength; ++i) {
        Complex slots[W];
        storeVec(slots, v[i]);
        for (int r = 0; r < W; ++r)
            EXPECT_EQ(slots[r].real, r + i / 100.0) << "width " << W << " element " << i;
    }
    std::vector<Complex> back(rows.size(), Complex{-1.0, -1.0});
    storeRows<kLength>(back.data(), kRowStride, v);
    EXPECT_EQ(std::memcmp(back.data(), rows.data(), rows.size() * sizeof(Complex)), 0) << W;
}

TEST(ComplexVec, RowTransposesPutRowTInSlotTAndBack)
{
    expectRowTransposes<1>();
    expectRowTransposes<2>();
    expectRowTransposes<4>();
}

}  // namespace

}  // namespace regviafft::dft
