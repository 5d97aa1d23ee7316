#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <vector>

#include "plan_1d.h"

namespace regviafft::dft {

namespace {

const long double kTwoPi = 2.0L * std::acos(-1.0L);

long double sinTurn(int64_t k, int64_t n) { return std::sin(kTwoPi * k / n); }
long double cosTurn(int64_t k, int64_t n) { return std::cos(kTwoPi * k / n); }

}  // namespace

// Correctly rounded: within half an ulp of the long double value (whose own
// error is about 2^-64), and exact at the ends.
TEST(Roots, SineTableIsCorrectlyRoundedWithExactEnds) {
    EXPECT_EQ(kSineTable1024[0], 0.0);
    EXPECT_EQ(kSineTable1024[kSineTableSize - 1], 1.0);
    for (int j = 1; j < kSineTableSize; ++j) {
        const long double exact = sinTurn(j, 1024);
        const double halfUlp = 0.5 * (std::nextafter(kSineTable1024[j], 2.0) - kSineTable1024[j]);
        EXPECT_LE(std::fabs(kSineTable1024[j] - exact), halfUlp * (1.0L + 1e-3L)) << j;
    }
}

// Every entry, computed or filled by symmetry, is within a few ulps of the
// definition; lengths cover n divisible by 4, n = 2 mod 4 and odd n, so each
// symmetry range and its boundaries are exercised. A mirrored entry from the
// wrong range or with a wrong sign is off by order one. Where n is divisible
// by 4 the quarter-wave sine table is checked too, and both reach 1 exactly.
TEST(Roots, FullCircleAndQuarterWaveEntriesMatchDefinitionForEveryResidue) {
    for (const int64_t n :
         {1, 2, 3, 4, 5, 6, 7, 8, 10, 12, 14, 16, 30, 31, 64, 100, 158, 1031, 4096, 1 << 20}) {
        std::vector<Complex> roots(static_cast<size_t>(n));
        fillFullCircleRoots(roots.data(), n);
        double worst = 0.0;
        for (int64_t k = 0; k < n; ++k) {
            const double dr = static_cast<double>(roots[k].real - cosTurn(k, n));
            const double di = static_cast<double>(roots[k].imag + sinTurn(k, n));
            worst = std::fmax(worst, std::fmax(std::fabs(dr), std::fabs(di)));
        }
        // An angle up to pi carries two roundings (step, product) of eps/2
        // relative, the value one more: about 3 eps at worst.
        EXPECT_LE(worst, 4 * DBL_EPSILON) << "n = " << n;
        if (n % 4 != 0)
            continue;
        EXPECT_TRUE(roots[n / 4].real == 0.0 && roots[n / 4].imag == -1.0) << n;
        std::vector<double> table(static_cast<size_t>(n / 4 + 1));
        fillQuarterWaveSines(table.data(), n);
        worst = 0.0;
        for (int64_t k = 0; k <= n / 4; ++k)
            worst = std::fmax(worst, static_cast<double>(std::fabs(table[k] - sinTurn(k, n))));
        EXPECT_LE(worst, 2 * DBL_EPSILON) << "quarter wave, n = " << n;
        EXPECT_TRUE(table[0] == 0.0 && table[n / 4] == 1.0) << n;
    }
}

}  // namespace regviafft::dft
