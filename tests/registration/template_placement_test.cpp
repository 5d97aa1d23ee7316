// Template placement: the integral image and box sums over the gradient
// energy, the greedy choice of boxes, and placement through the object.
#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core/core_c.h>

#include "inspector.h"
#include "kernels.h"
#include "synthetic_frames.h"

using Insp = RegViaFFTInspector;

namespace {

struct Choice {
    int row, col;
    double bestMean, boxScore;
    int status;
};

// One choice of a boxH x boxW box with margins left, right, top, bottom.
Choice choose(std::vector<double>& energy, int h, int w, Choice in, int boxH = 2, int boxW = 2,
              std::array<int, 4> margins = {})
{
    in.status = regviafft::chooseTemplateBox(energy.data(), h, w, boxH, boxW, margins[0], margins[1],
                                             margins[2], margins[3], &in.row, &in.col, &in.bestMean,
                                             &in.boxScore, 0.1);
    return in;
}

// 2 x 2 blocks of the given means on rows 2-3, five columns apart from column
// 2; with 4 x 4 templates block k belongs to the template at column 1 + 5k.
int placeOnBlocks(const std::vector<double>& means, int maxTemplates, std::vector<int>& posX)
{
    const int h = 8, w = 5 * static_cast<int>(means.size()) + 2;
    std::vector<double> energy(h * w, 0.0);
    for (int i = 0; i < h * w; ++i)
        if (i / w >= 2 && i / w < 4 && i % w >= 2 && (i % w - 2) % 5 < 2)
            energy[i] = means[(i % w - 2) / 5];
    std::vector<int> posY(10, -9);
    posX.assign(10, -9);
    int count = -9;
    regviafft::placeTemplatesOnEnergy(energy.data(), h, w, {4, 4, 0, 0}, maxTemplates, posX.data(),
                                      posY.data(), &count);
    return count;
}

// Plain double-precision 5-tap filter along columns (vertical) or rows, with
// the edge pixel repeated beyond the border.
std::vector<double> correlate(const std::vector<double>& in, int w, int h, const double* taps, bool vertical)
{
    std::vector<double> out(in.size(), 0.0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int k = 0; k < 5; ++k)
                out[y * w + x] += taps[k] * (vertical ? in[std::clamp(y + k - 2, 0, h - 1) * w + x]
                                                      : in[y * w + std::clamp(x + k - 2, 0, w - 1)]);
    return out;
}

// Placement through the object on an image whose rows are padded as the
// image library pads them (width rounded up to 4 bytes).
int placeThroughObject(CRegViaFFT& o, const std::vector<uint8_t>& frame, int w, int h)
{
    IplImage* image = cvCreateImage(cvSize(w, h), IPL_DEPTH_8U, 1);
    for (int y = 0; y < h; ++y)
        std::copy(&frame[y * w], &frame[y * w] + w, image->imageData + y * image->widthStep);
    const int result = Insp::setTemplatePosition(o, image);
    cvReleaseImage(&image);
    return result;
}

}  // namespace

// Ones over columns 3..6 and rows 2..4 of a 6 x 8 array give (y - 1)(x - 2)
// inside; stale values on every side of the region must become 0.
TEST(IntegralImage, RegionStartsFromZeroClearsTheRestAndSumsInOrder)
{
    const int w = 8, h = 6;
    const std::vector<uint8_t> ones(w * h, 1);
    std::vector<int32_t> dst(w * h, -7);
    regviafft::integralImage(ones.data(), dst.data(), w, h, 3, 6, 2, 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool inside = y >= 2 && y <= 4 && x >= 3 && x <= 6;
            EXPECT_EQ(dst[y * w + x], inside ? (y - 1) * (x - 2) : 0) << y << "," << x;
        }
    // 2^53 + 1 rounds back to 2^53, so the table shows the order of the sums:
    // left to right along the first row, then a running row sum added to the
    // row above. Summing right to left, or the four-term recurrence, differs.
    CRegViaFFT o;
    std::vector<double> small = {1, 2, 3, 4}, table(4);
    RegViaFFTInspector::constructIntegralImage(o, small.data(), table.data(), 2, 2);
    EXPECT_EQ(table, (std::vector<double>{1, 3, 4, 10}));
    const double big = 9007199254740992.0;  // 2^53
    std::vector<double> src = {big, 1, 1, 1, 1, 0}, sums(6);
    RegViaFFTInspector::constructIntegralImage(o, src.data(), sums.data(), 3, 2);
    EXPECT_EQ(sums, (std::vector<double>{big, big, big, big, big + 2, big + 2}));
}

// Small integers keep every sum exact, so each box must match to the bit,
// including boxes on the first row or column (index -1 read as 0).
TEST(BoxSum, MatchesDirectSumsForEveryBox)
{
    const int w = 7, h = 6;
    std::vector<double> src(w * h), table(w * h);
    for (int i = 0; i < w * h; ++i)
        src[i] = (i * 37) % 11;
    regviafft::integralImage(src.data(), table.data(), w, h, 0, w - 1, 0, h - 1);
    for (int r0 = 0; r0 < h; ++r0)
        for (int r1 = r0; r1 < h; ++r1)
            for (int c0 = 0; c0 < w; ++c0)
                for (int c1 = c0; c1 < w; ++c1) {
                    double direct = 0.0;
                    for (int i = 0; i < w * h; ++i)
                        if (i / w >= r0 && i / w <= r1 && i % w >= c0 && i % w <= c1)
                            direct += src[i];
                    ASSERT_EQ(regviafft::boxSum(table.data(), w, r0, c0, r1, c1), direct)
                        << r0 << "," << c0 << " to " << r1 << "," << c1;
                }
}

// Margins left 1, right 2, top 3, bottom 0 with a 2 x 3 box on 10 x 12: rows
// 3..6 and columns 1..5 are tried. Energy rising to the bottom right picks the
// last corner, falling energy the first; the exact box means follow.
TEST(ChooseTemplateBox, ScanStopsTwoShortOfTheFarMargins)
{
    const int h = 10, w = 12;
    for (bool rising : {true, false}) {
        std::vector<double> map(h * w);
        for (int i = 0; i < h * w; ++i)
            map[i] = rising ? 100 * (i / w) + i % w : 100 * (h - i / w) + (w - i % w);
        const Choice c = choose(map, h, w, {-1, -1, 0.0, -1.0, 0}, 2, 3, {1, 2, 3, 0});
        EXPECT_TRUE(c.status == 1 && c.row == (rising ? 6 : 3) && c.col == (rising ? 5 : 1)) << rising;
        EXPECT_EQ(c.boxScore, rising ? 656.0 : 660.0);
        EXPECT_EQ(c.bestMean, c.boxScore);
    }
}

// A band of 10s over columns 0..2 of rows 2-3: the second box overlaps the
// first and wins with its damped pixels (22 > 20 next to it); each choice
// damps once the box chosen just before it.
TEST(ChooseTemplateBox, OverlappingChoicesCountDampedEnergy)
{
    const int h = 6, w = 10;
    std::vector<double> energy(h * w, 0.0);
    for (int i = 0; i < h * w; ++i)
        energy[i] = (i / w == 2 || i / w == 3) && i % w < 3 ? 10.0 : 0.0;
    Choice c = choose(energy, h, w, {-1, -1, 0.0, 0.0, 0});
    EXPECT_TRUE(c.row == 2 && c.col == 0);
    c = choose(energy, h, w, c);
    EXPECT_EQ(c.col, 1);
    EXPECT_DOUBLE_EQ(c.boxScore, 5.5);
    choose(energy, h, w, c);
    const std::vector<double> row3(energy.begin() + 3 * w, energy.begin() + 3 * w + 4);
    EXPECT_EQ(row3, (std::vector<double>{10.0 * 0.1, 10.0 * 0.1 * 0.1, 10.0 * 0.1, 0.0}));
}

// Every case ties boxes exactly. Skewed: (2, 2) and (3, 3) sum to 5 and the
// first one's centroid (2.6, 2.6) is nearer (3, 3). Even: the centroid
// (2.5, 2.5) is as far from both, so the first stays. Lone pixel at (3, 2):
// its four boxes tie and only (3, 2) itself is nearer than (3, 1); swapping
// the centroid's coordinates would end at (2, 2). Without a reference mean the
// first box in scan order always stays.
TEST(ChooseTemplateBox, TieGoesToTheStrictlyNearerBoxOnceAReferenceExists)
{
    const int n = 8;
    using Pixels = std::vector<std::pair<int, double>>;  // index n * row + column, energy
    const Pixels skewed = {{18, 1}, {19, 1}, {26, 1}, {27, 2}, {36, 3}};
    const Pixels even = {{18, 1}, {19, 1}, {26, 1}, {27, 1}, {36, 3}};
    const Pixels lone = {{26, 4}};
    struct Case { const Pixels* pixels; double bestMean; int row, col; };
    for (const Case& c : {Case{&skewed, 1.0, 3, 3}, Case{&skewed, 0.0, 2, 2},
                          Case{&even, 1.0, 2, 2}, Case{&lone, 1.0, 3, 2}, Case{&lone, 0.0, 2, 1}}) {
        std::vector<double> energy(n * n, 0.0);
        for (const auto& [index, value] : *c.pixels)
            energy[index] = value;
        const Choice out = choose(energy, n, n, {-1, -1, c.bestMean, 0.0, 0});
        EXPECT_TRUE(out.row == c.row && out.col == c.col) << c.row << "," << c.col << " at " << c.bestMean;
    }
}

// Choices go in order of block mean. Ratio 0.1 holds while t <= N / 2 and
// 0.4 after; a mean equal to its limit (10 = 100 * 0.1) ends the placement.
TEST(PlaceTemplatesOnEnergy, AcceptanceRatioRisesAfterHalfTheTemplates)
{
    std::vector<int> posX;
    EXPECT_EQ(placeOnBlocks({100, 50, 35, 30, 12}, 4, posX), 3);
    EXPECT_EQ(posX, (std::vector<int>{1, 6, 11, -9, -9, -9, -9, -9, -9, -9}));
    EXPECT_EQ(placeOnBlocks({100, 50, 35, 30, 12}, 5, posX), 3);
    EXPECT_EQ(placeOnBlocks({100, 50, 45, 42, 39}, 5, posX), 4);
    EXPECT_EQ(placeOnBlocks({100, 50, 45, 42, 39}, 1, posX), 1);
    EXPECT_EQ(placeOnBlocks({100, 10, 9}, 3, posX), 1);
}

// Independent greedy search: energy from plain double filters, every box
// summed directly over the scan area. Float filtering moves a box sum by far
// less than 0.05, so each choice and acceptance is first checked to be clear
// of that. The object's own kernels, sizes, margins and row padding are used.
TEST(SetTemplatePosition, TexturedFrameMatchesDirectGreedySearch)
{
    const int w = 90, h = 70, tH = 20, tW = 16, mY = 2, mX = 10, n = 7;
    const int qH = tH / 4, qW = tW / 4, bh = tH - 2 * qH, bw = tW - 2 * qW;
    const std::vector<uint8_t> frame = synthetic::texturedFrame(w, h, 21);
    const double lowPass[5] = {0.037659, 0.249153, 0.426375, 0.249153, 0.037659};
    const double deriv[5] = {-0.109604, -0.276691, 0.0, 0.276691, 0.109604};
    const std::vector<double> src(frame.begin(), frame.end());
    const std::vector<double> dx = correlate(correlate(src, w, h, lowPass, true), w, h, deriv, false);
    const std::vector<double> dy = correlate(correlate(src, w, h, deriv, true), w, h, lowPass, false);
    std::vector<double> e(w * h);
    for (int i = 0; i < w * h; ++i)
        e[i] = std::fabs(dx[i]) + std::fabs(dy[i]);
    std::vector<int> expectX, expectY;
    double bestMean = 0.0;
    for (int t = 0, pr = -1, pc = -1; t < n; ++t) {
        for (int i = 0; pr >= 0 && i < w * h; ++i)
            if (i / w >= pr && i / w < pr + bh && i % w >= pc && i % w < pc + bw)
                e[i] *= 0.1;
        double best = 0.0, second = 0.0;
        for (int r = mY + qH; r <= h - bh - mY - qH - 2; ++r)
            for (int c = mX + qW; c <= w - bw - mX - qW - 2; ++c) {
                double s = 0.0;
                for (int y = r; y < r + bh; ++y)
                    for (int x = c; x < c + bw; ++x)
                        s += e[y * w + x];
                second = s > best ? best : std::max(second, s);
                if (s > best)
                    best = s, pr = r, pc = c;
            }
        ASSERT_GT(best - second, 0.05) << "choice " << t << " is too close to call";
        const double mean = best / (bh * bw), limit = bestMean * (t > 0.5 * n ? 0.4 : 0.1);
        ASSERT_GT(std::fabs(mean - limit), 0.05 / (bh * bw)) << "acceptance " << t;
        if (mean <= limit)
            break;
        bestMean = std::max(bestMean, mean);
        expectX.push_back(pc - qW);
        expectY.push_back(pr - qH);
    }
    CRegViaFFT o;
    ASSERT_EQ(o.Create(h, w, tH, tW, n, 1, mY, mX, 30, 1.0), 1);
    ASSERT_EQ(placeThroughObject(o, frame, w, h), 1);
    const int count = Insp::templateCount(o);
    ASSERT_GT(count, 1);
    EXPECT_EQ(std::vector<int>(Insp::tmplPosX(o), Insp::tmplPosX(o) + count), expectX);
    EXPECT_EQ(std::vector<int>(Insp::tmplPosY(o), Insp::tmplPosY(o) + count), expectY);
}

// Black: no box beats 0. 15 x 15 with 16-pixel templates: no candidate corner.
// A template without rows has an empty box: mean 0, not 0 / 0, and no choice.
TEST(SetTemplatePosition, FrameWithoutCandidatesPlacesNothingAndSucceeds)
{
    std::vector<double> ones(64, 1.0);
    const Choice flat = choose(ones, 8, 8, {-1, -1, 0.0, -1.0, 0}, 0, 2);
    EXPECT_TRUE(flat.status == 1 && flat.row == -1 && flat.col == -1 && flat.boxScore == 0.0);
    CRegViaFFT black, tiny;
    ASSERT_EQ(black.Create(30, 40, 8, 8, 4, 1, 2, 2, 30, 1.0), 1);
    ASSERT_EQ(tiny.Create(16, 16, 16, 16, 4, 1, 0, 0, 30, 1.0), 1);
    EXPECT_EQ(placeThroughObject(black, std::vector<uint8_t>(40 * 30, 0), 40, 30), 1);
    EXPECT_EQ(placeThroughObject(tiny, synthetic::texturedFrame(15, 15, 4), 15, 15), 1);
    for (CRegViaFFT* o : {&black, &tiny}) {
        EXPECT_EQ(Insp::templateCount(*o), 0);
        EXPECT_EQ(Insp::tmplPosX(*o)[0], -1);
    }
}

// Four workspaces come first, then one table per choice: failing the sixth
// allocation stops at the second choice with the first position written.
TEST(SetTemplatePosition, AllocationFailuresReportAndKeepTheCount)
{
    const int w = 64, h = 48;
    const std::vector<uint8_t> frame = synthetic::texturedFrame(w, h, 5);
    CRegViaFFT ok;
    ASSERT_EQ(ok.Create(h, w, 12, 12, 3, 1, 2, 2, 30, 1.0), 1);
    ASSERT_EQ(placeThroughObject(ok, frame, w, h), 1);
    for (int failAt : {0, 1, 2, 3, 5}) {
        CRegViaFFT o;
        ASSERT_EQ(o.Create(h, w, 12, 12, 3, 1, 2, 2, 30, 1.0), 1);
        const int countBefore = Insp::templateCount(o);
        testing::internal::CaptureStdout();
        {
            ScratchRefusal guard(failAt);
            EXPECT_EQ(placeThroughObject(o, frame, w, h), 0);
        }
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  failAt < 4 ? "ERROR in setTemplatePosition\n"
                             : "Memory Allocation Error in setTmplPos()\n");
        EXPECT_EQ(Insp::templateCount(o), countBefore);
        EXPECT_EQ(Insp::tmplPosX(o)[0], failAt < 4 ? -1 : Insp::tmplPosX(ok)[0]);
        EXPECT_EQ(Insp::tmplPosX(o)[1], -1);
    }
    // A refused table damps nothing.
    std::vector<double> energy(36, 1.0);
    ScratchRefusal guard(0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(choose(energy, 6, 6, {1, 1, 1.0, 0.0, 1}).status, 0);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(energy, std::vector<double>(36, 1.0));
}
