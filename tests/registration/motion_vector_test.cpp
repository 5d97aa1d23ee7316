// Each template's correlation peak, its signed whole-pixel shift and sub-pixel
// refinement; then ordering, voting, merging, scoring and selection of the
// global motion vector.
#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "inspector.h"
#include "kernels.h"

namespace {

using I = RegViaFFTInspector;
using regviafft::PcRecord;
using Ctx = regviafft::ScoringContext;

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
        testing::internal::CaptureStdout();
        regviafft::measureSurfaceShift(s.data(), k.h, k.w, k.scale, &y, &x, &peak);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << k.name << ": refined, nothing to report";
        EXPECT_NEAR(y, k.y, 1e-15) << k.name;
        EXPECT_NEAR(x, k.x, 1e-15) << k.name;
        EXPECT_EQ(peak, k.peak) << k.name;
    }
}

TEST(SurfaceShift, NonFiniteNeighbourKeepsWholePixelAndIsReported)
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
    // not-a-number (printed sign is the processor's). Only the X line
    // appears, once.
    const std::string tail = " 1.000000 -inf 1.000000\n";
    EXPECT_EQ(out.rfind("X_NONONO ", 0), 0u) << out;
    ASSERT_GE(out.size(), tail.size());
    EXPECT_EQ(out.substr(out.size() - tail.size()), tail) << out;
    EXPECT_EQ(out.find("Y_NONONO"), std::string::npos) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
}

// A measured record; orderBias doubles as a tag where the test needs one.
PcRecord rec(double x, double y, double peak, int orderBias = -1, double score = 0.0, int votes = 0)
{
    return {orderBias, x, y, std::sqrt(x * x + y * y), peak, 0.0, score == 0.0 ? peak : score, votes};
}

std::vector<int> tags(const PcRecord* r, int n)
{
    std::vector<int> t;
    for (int i = 0; i < n; ++i)
        t.push_back(r[i].orderBias);
    return t;
}

TEST(PcRecordSort, StableLargestFirstOnTheChosenKeyAndNaNNeverSwaps)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    PcRecord a[5] = {rec(0, 0, 0, 0, 1), rec(0, 0, 0, 1, 3), rec(0, 0, 0, 2, 2), rec(0, 0, 0, 3, 3),
                     rec(0, 0, 0, 4, 9)};
    regviafft::sortPcRecords(a, 4, CRegViaFFT::BY_SCORE);  // the fifth stays out
    EXPECT_EQ(tags(a, 5), (std::vector<int>{1, 3, 2, 0, 4}));
    PcRecord b[3] = {rec(0, 0, 0, 0, nan), rec(0, 0, 0, 1, 1), rec(0, 0, 0, 2, 3)};
    regviafft::sortPcRecords(b, 3, CRegViaFFT::BY_SCORE);
    EXPECT_EQ(tags(b, 3), (std::vector<int>{0, 2, 1}));
    // Each criterion reads its own field; an unknown one moves nothing.
    PcRecord c[3] = {rec(0, 0, 0.1, 0, 3, 1), rec(0, 0, 0.3, 1, 1, 3), rec(0, 0, 0.2, 2, 2, 2)};
    regviafft::sortPcRecords(c, 3, CRegViaFFT::BY_VOTES);
    EXPECT_EQ(tags(c, 3), (std::vector<int>{1, 2, 0}));
    regviafft::sortPcRecords(c, 3, static_cast<CRegViaFFT::CRITERION>(3));
    EXPECT_EQ(tags(c, 3), (std::vector<int>{1, 2, 0}));
}

TEST(Voting, ToleranceIsTheVotersOwnStrictAndZeroAdmitsNothing)
{
    // (-4, 4) tolerates 1.6 per component: 1.2 away is in, 1.3 and 1.5 away
    // are out; (-5.5, 4) tolerates 3.025 horizontally and admits (-4, 4).
    PcRecord r[6] = {rec(-4, 4, 0.5),   rec(-5.2, 4, 1.0), rec(-2.7, 4, 1.0),
                     rec(-4, 2.7, 1.0), rec(-4, 5.2, 1.0), rec(-5.5, 4, 1.0)};
    PcRecord work[6] = {};
    regviafft::voteOnShifts(r, work, 6);
    EXPECT_EQ(r[0].votes, 3);
    EXPECT_EQ(r[5].votes, 4);
    EXPECT_DOUBLE_EQ(work[0].shiftY, (0.5 * 4 + 4 + 5.2) / 2.5);  // weighted by peak
    EXPECT_TRUE(work[0].pcValue == 1.0 && work[0].minPcValue == 0.5);
    // A still scene: nobody admits anybody, yet all merge into one candidate,
    // led by the record 5e-8 to the right, which has the smallest peak.
    PcRecord still[3] = {rec(0, 0, 0.4), rec(0, 0, 0.6), rec(5e-8, 0, 0.3)};
    ASSERT_EQ(regviafft::rankCandidates(still, work, 3, Ctx{10, 5, 1, 1}), 1);
    EXPECT_TRUE(still[0].votes == 1 && still[0].orderBias == -3 && still[0].pcValue == 0.6);
}

TEST(Selection, FiveTemplateWorkedExample)
{
    PcRecord r[5] = {rec(3, 3, 0.8), rec(3, 3.05, 0.8), rec(3.05, 3, 0.8), rec(-4, -4, 0.8),
                     rec(-4, -4.02, 0.8, 1)};
    PcRecord work[5] = {};
    ASSERT_EQ(regviafft::rankCandidates(r, work, 5, Ctx{10, 7, -4, -4}), 2);
    EXPECT_NEAR(r[0].shiftX, -4.0, 1e-12);
    EXPECT_NEAR(r[0].shiftY, -4.01, 1e-12);
    EXPECT_NEAR(r[0].score, 1.12, 1e-12);
    EXPECT_NEAR(r[1].score, 0.68, 1e-12);  // closeness cut to 0
    EXPECT_NEAR(r[1].shiftX, 9.05 / 3, 1e-12);
    EXPECT_TRUE(r[0].votes == 2 && r[0].orderBias == 0 && r[1].votes == 3 && r[1].orderBias == -3);
}

TEST(Selection, ClosenessFallsWithDistanceAndTiesKeepTheLargerShiftX)
{
    // Measured, and first-ordered on equal peaks, with the smaller shift first.
    PcRecord r[2] = {rec(-2, 2, 0.5), rec(2, 2, 0.5)}, s[2] = {r[0], r[1]}, work[2] = {};
    ASSERT_EQ(regviafft::rankCandidates(r, work, 2, Ctx{10, 1, 9, 9}), 2);  // distances 0
    EXPECT_EQ(r[0].score, r[1].score);
    EXPECT_EQ(r[0].shiftX, 2.0);
    // Previous motion (2, 2): closeness falls from 0.4 M = 0.2 by
    // vmax x 0.4 x M / 20 = 0.01 per pixel for (-2, 2), 4 pixels further.
    ASSERT_EQ(regviafft::rankCandidates(s, work, 2, Ctx{10, 6, 2, 2}), 2);
    EXPECT_NEAR(s[0].score, -0.1 + 0.5 + 0.2, 1e-12);
    EXPECT_NEAR(s[1].score, -0.1 + 0.5 + 0.2 - 4 * 0.01, 1e-12);
}

TEST(Selection, NoPeakMarkersStayBehindAndAreNeverSelected)
{
    // Four agreeing markers (4 votes each would outscore the lone real
    // template); the previous motion sits on them, yet dmin is the real one's.
    PcRecord r[5] = {rec(800, 800, 0, 10), rec(800, 800, 0, 20), rec(-2, 3, 0.3),
                     rec(800, 800, 0, 40), rec(800, 800, 0, 50)};
    PcRecord work[5] = {};
    ASSERT_EQ(regviafft::rankCandidates(r, work, 5, Ctx{10, 4, 800, 800}), 5);  // no merging
    EXPECT_EQ(r[0].shiftX, -2.0);
    EXPECT_NEAR(r[0].score, -0.06 + 0.3 + 0.12, 1e-12);  // M 0.3, full closeness
    EXPECT_EQ(tags(r + 1, 4), (std::vector<int>{10, 20, 40, 50}));
    for (int k = 1; k < 5; ++k)
        EXPECT_TRUE(r[k].votes == 4 && r[k].shiftX == 800.0 && !regviafft::hasMotionVector(r[k]));
}

// The object measures its own 4 x 8 surfaces, at scale 0.5.
TEST(SelectionOnObject, DecayWithoutMeasurementAndHalfToEvenRounding)
{
    CRegViaFFT object;
    ASSERT_EQ(object.Create(8, 16, 8, 16, 10, 2, 0, 0, 30, 1.0), 1);
    I::frameCount(object) = 2;
    double* const* surfaces = I::pcSurface(object);
    auto run = [&](int templates) {
        I::templateCount(object) = templates;
        I::getGMVwithScore(object);
    };
    for (int k = 0; k < 2; ++k)
        std::fill(surfaces[k], surfaces[k] + 32, 0.0);
    for (int templates : {0, 2}) {  // none, or every one without a peak
        I::prevPreciseGmvX(object) = 2.6;
        I::prevPreciseGmvY(object) = -1.2;
        run(templates);
        EXPECT_TRUE(I::preciseGmvX(object) == 2.0 && I::preciseGmvY(object) == -1.0);
        EXPECT_TRUE(I::gmvX(object) == 4 && I::gmvY(object) == -2) << templates;
    }
    // One template: peak 0.75 with a 0.25 neighbour refines by exactly 0.25
    // towards it, giving 0.75, 1.25, -0.25 reduced, 1.5, 2.5, -0.5 full pixels.
    const struct { int peak, neighbour; double reduced; int full; } cases[] = {
        {7, 0, 0.75, 2}, {7, 6, 1.25, 2}, {0, 1, -0.25, 0}};
    for (const auto& c : cases) {
        std::fill(surfaces[0], surfaces[0] + 32, 0.0);
        surfaces[0][c.peak] = 0.75;
        surfaces[0][c.neighbour] = 0.25;
        run(1);
        EXPECT_EQ(I::preciseGmvX(object), c.reduced);
        EXPECT_EQ(I::gmvX(object), c.full) << c.reduced;
    }
}

}  // namespace
