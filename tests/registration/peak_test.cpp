// Correlation peak search, signed whole-pixel shift and sub-pixel refinement.
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kernels.h"

namespace {

struct Cell {
    int r, c;
    double v;
};

struct PeakCase {
    const char* name;
    int h, w;
    double scale;
    std::vector<Cell> cells;  // everything else is 0
    double y, x, peak;        // expected results
};

std::vector<double> surface(int h, int w, const std::vector<Cell>& cells)
{
    std::vector<double> s(static_cast<size_t>(h) * w, 0.0);
    for (const Cell& cell : cells)
        s[static_cast<size_t>(cell.r) * w + cell.c] = cell.v;
    return s;
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kThird = 1.0 / 3.0;

TEST(SurfaceShift, PeakPositionSignAndRefinement)
{
    const PeakCase cases[] = {
        // Whole pixels at scale 1.0; ties go to the first in row-major order.
        {"tie", 8, 10, 1.0, {{6, 3, 1.0}, {6, 4, 0.9}, {7, 0, 1.0}, {2, 2, kNaN}}, 2, -3, 1.0},
        {"origin", 8, 10, 1.0, {{0, 0, 0.5}}, 0, 0, 0.5},
        {"odd 15", 33, 4, 1.0, {{15, 0, 1.0}}, -15, 0, 1.0},
        {"odd 16", 33, 4, 1.0, {{16, 0, 1.0}}, 17, 0, 1.0},
        {"no peak", 2, 3, 0.5, {{0, 1, -0.5}, {1, 1, kNaN}, {1, 2, -0.0}}, 800, 800, 0.0},
        // N / (N + P) towards the larger neighbour, ties to the following one.
        {"right", 8, 8, 0.5, {{3, 2, 1.0}, {3, 3, 0.5}, {3, 1, 0.2}}, -3, -(2 + kThird), 1.0},
        {"tie down", 8, 8, 0.5, {{3, 2, 1.0}, {2, 2, 0.25}, {4, 2, 0.25}}, -3.2, -2, 1.0},
        // Neighbours wrap: after the last index comes 0, before 0 the last.
        {"last", 6, 8, 0.5, {{5, 7, 1.0}, {5, 0, 0.5}, {5, 6, 0.2}, {0, 7, 0.5}, {4, 7, 0.2}},
         1 - kThird, 1 - kThird, 1.0},
        {"first", 6, 8, 0.5, {{0, 0, 1.0}, {0, 7, 0.5}, {0, 1, 0.2}, {5, 0, 0.5}, {1, 0, 0.2}},
         kThird, kThird, 1.0},
        {"w - 2", 6, 8, 0.5, {{2, 6, 1.0}, {2, 7, 0.5}, {2, 5, 0.2}}, -2, 2 - kThird, 1.0},
        // Neighbours -P/2 give N / (N + P) = -1: accepted vertically (a whole
        // pixel), rejected horizontally in favour of N / (N - P) = 1/3.
        {"bound", 8, 8, 0.5, {{2, 2, 1.0}, {1, 2, -0.5}, {3, 2, -0.5}, {2, 1, -0.5}, {2, 3, -0.5}},
         -3, -(2 + kThird), 1.0},
    };
    for (const PeakCase& k : cases) {
        const std::vector<double> s = surface(k.h, k.w, k.cells);
        double y = -1, x = -1, peak = -1;
        regviafft::measureSurfaceShift(s.data(), k.h, k.w, k.scale, &y, &x, &peak);
        EXPECT_NEAR(y, k.y, 1e-15) << k.name;
        EXPECT_NEAR(x, k.x, 1e-15) << k.name;
        EXPECT_EQ(peak, k.peak) << k.name;
    }
}

TEST(SurfaceShift, NonFiniteNeighbourPrintsDiagnosticAndKeepsWholePixel)
{
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<double> s =
        surface(8, 8, {{2, 5, 1.0}, {2, 6, -inf}, {2, 4, -inf}, {3, 5, 0.5}, {1, 5, 0.2}});
    double y = 0, x = 0, peak = 0;
    testing::internal::CaptureStdout();
    regviafft::measureSurfaceShift(s.data(), 8, 8, 0.5, &y, &x, &peak);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(x, 3.0);  // column 5 of 8 is -3, not refined
    EXPECT_NEAR(y, -(2 + kThird), 1e-15);
    // Equal -inf neighbours: the following one, side +1; both candidates are
    // not-a-number (printed sign is the processor's). Only the X line appears.
    const std::string tail = " 1.000000 -inf 1.000000\n";
    EXPECT_EQ(out.rfind("X_NONONO ", 0), 0u) << out;
    ASSERT_GE(out.size(), tail.size());
    EXPECT_EQ(out.substr(out.size() - tail.size()), tail) << out;
    EXPECT_EQ(out.find("Y_NONONO"), std::string::npos) << out;
}

}  // namespace
