// Choice of template positions on the reference frame by greatest edge energy.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include <opencv2/core/core_c.h>

#include "RegViaFFT.h"
#include "kernels.h"

namespace regviafft {

namespace {

// Candidate top-left corners: rows firstRow..rowEnd-1, columns firstCol..colEnd-1.
struct ScanArea {
    int firstRow;
    int rowEnd;
    int firstCol;
    int colEnd;
};

struct BoxChoice {
    double sum;
    int row;
    int col;
};

struct Centroid {
    double y;
    double x;
};

std::size_t cellCount(int width, int height)
{
    return static_cast<std::size_t>(std::max(width, 0)) *
           static_cast<std::size_t>(std::max(height, 0));
}

void dampBox(double* energy, int width, int row, int col, int boxHeight, int boxWidth)
{
    for (int y = row; y < row + boxHeight; ++y) {
        double* line = energy + static_cast<std::size_t>(y) * width;
        for (int x = col; x < col + boxWidth; ++x)
            line[x] = line[x] * 0.1;
    }
}

// Energy-weighted mean position of a box in frame coordinates. The sums run
// pixel by pixel in row-major order so ties resolve alike everywhere.
Centroid boxCentroid(const double* energy, int width, int row, int col, int boxHeight, int boxWidth)
{
    double sum = 0.0, sumY = 0.0, sumX = 0.0;
    for (int y = row; y < row + boxHeight; ++y) {
        const double* line = energy + static_cast<std::size_t>(y) * width;
        for (int x = col; x < col + boxWidth; ++x) {
            const double e = line[x];
            sum = sum + e;
            sumY = sumY + y * e;
            sumX = sumX + x * e;
        }
    }
    return {sumY / sum, sumX / sum};
}

double distanceTo(const Centroid& p, int row, int col)
{
    const double dy = row - p.y, dx = col - p.x;
    return std::sqrt(dy * dy + dx * dx);
}

// Box with the strictly greatest sum in scan order; with breakTies, an equal
// box strictly nearer the first maximum's centroid takes its place.
BoxChoice bestBox(const double* energy, const double* table, int width, int boxHeight,
                  int boxWidth, const ScanArea& area, bool breakTies)
{
    BoxChoice best{0.0, 0, 0};
    Centroid centroid{0.0, 0.0};
    for (int r = area.firstRow; r < area.rowEnd; ++r) {
        for (int c = area.firstCol; c < area.colEnd; ++c) {
            const double v = boxSum(table, width, r, c, r + boxHeight - 1, c + boxWidth - 1);
            if (v > best.sum) {
                best = {v, r, c};
                centroid = boxCentroid(energy, width, r, c, boxHeight, boxWidth);
            } else if (v == best.sum && breakTies && best.sum > 0.0 &&
                       distanceTo(centroid, r, c) < distanceTo(centroid, best.row, best.col)) {
                best.row = r;
                best.col = c;
            }
        }
    }
    return best;
}

}  // namespace

void fillEnergyMap(const uint8_t* pixels, int widthStep, int width, int height,
                   double* lowPassKernel, double* derivKernel, _IplImage* gx, _IplImage* gy,
                   _IplImage* sum, double* energy)
{
    bytesToFloatImage(pixels, widthStep, sum);
    smoothedDerivatives(sum, gx, gy, lowPassKernel, derivKernel);
    cvAbsDiffS(gx, gx, cvScalarAll(0));
    cvAbsDiffS(gy, gy, cvScalarAll(0));
    cvAdd(gx, gy, sum, nullptr);
    for (int y = 0; y < height; ++y) {
        const char* line = sum->imageData + static_cast<std::size_t>(y) * sum->widthStep;
        const float* in = reinterpret_cast<const float*>(line);
        double* out = energy + static_cast<std::size_t>(y) * width;
        for (int x = 0; x < width; ++x)
            out[x] = static_cast<double>(in[x]);
    }
}

int chooseTemplateBox(double* energy, int height, int width, int boxHeight, int boxWidth,
                      int marginLeft, int marginRight, int marginTop, int marginBottom,
                      int* row, int* col, double* bestMean, double* boxScore,
                      double acceptRatio)
{
    // At least one element, so that an empty map is not mistaken for a failure.
    const std::size_t cells = std::max<std::size_t>(1, cellCount(width, height));
    double* table = static_cast<double*>(scratchAllocate(cells * sizeof(double)));
    if (table == nullptr) {
        std::printf("Memory Allocation Error in setTmplPos()\n");
        return 0;
    }
    if (*row >= 0 && *col >= 0)
        dampBox(energy, width, *row, *col, boxHeight, boxWidth);
    // Two more rows and columns stay free at the bottom and right than the
    // margins ask for.
    const ScanArea area{marginTop, height - boxHeight - marginBottom - 1, marginLeft,
                        width - boxWidth - marginRight - 1};
    // A box without pixels holds no energy: nothing is scanned and its mean is
    // 0 rather than a division by zero, so it is never accepted.
    const bool scan = boxHeight > 0 && boxWidth > 0 && area.firstRow < area.rowEnd &&
                      area.firstCol < area.colEnd;
    BoxChoice best{0.0, 0, 0};
    double mean = 0.0;
    if (scan) {
        integralImage(energy, table, width, height, 0, width - 1, 0, height - 1);
        best = bestBox(energy, table, width, boxHeight, boxWidth, area, *bestMean > 0.0);
        mean = best.sum / (boxHeight * boxWidth);
    }
    *boxScore = mean;
    if (mean > *bestMean) {
        *bestMean = mean;
        *row = best.row;
        *col = best.col;
    } else if (mean > *bestMean * acceptRatio) {
        *row = best.row;
        *col = best.col;
    } else {
        *row = -1;
        *col = -1;
    }
    std::free(table);
    return 1;
}

int placeTemplatesOnEnergy(double* energy, int height, int width, const PlacementGeometry& geometry,
                           int maxTemplates, int* posX, int* posY, int* count)
{
    const int qH = geometry.templateHeight >> 2;
    const int qW = geometry.templateWidth >> 2;
    const int boxHeight = geometry.templateHeight - 2 * qH;
    const int boxWidth = geometry.templateWidth - 2 * qW;
    const int marginY = geometry.marginY + qH;
    const int marginX = geometry.marginX + qW;
    int row = -1, col = -1;
    double bestMean = 0.0, boxScore = 0.0;
    int placed = 0;
    for (int t = 0; t < maxTemplates; ++t) {
        const double acceptRatio = t > 0.5 * maxTemplates ? 0.4 : 0.1;
        if (!chooseTemplateBox(energy, height, width, boxHeight, boxWidth, marginX, marginX,
                               marginY, marginY, &row, &col, &bestMean, &boxScore, acceptRatio))
            return 0;
        if (row < 0 || col < 0)
            break;
        posX[t] = col - qW;
        posY[t] = row - qH;
        placed = t + 1;
    }
    *count = placed;
    return 1;
}

int placeTemplates(const uint8_t* pixels, int widthStep, int width, int height,
                   const PlacementGeometry& geometry, int maxTemplates, double* lowPassKernel,
                   double* derivKernel, int* posX, int* posY, int* count)
{
    // An empty frame has no position to offer and nothing to filter.
    if (width <= 0 || height <= 0) {
        *count = 0;
        return 1;
    }
    IplImage* gx = createFloatImage(width, height);
    IplImage* gy = createFloatImage(width, height);
    IplImage* sum = createFloatImage(width, height);
    const std::size_t energyBytes = cellCount(width, height) * sizeof(double);
    double* energy = static_cast<double*>(scratchAllocate(energyBytes));
    int result = 0;
    // Every workspace is checked, not only the sum image: a missing one would
    // otherwise be written through.
    if (gx != nullptr && gy != nullptr && sum != nullptr && energy != nullptr) {
        fillEnergyMap(pixels, widthStep, width, height, lowPassKernel, derivKernel, gx, gy, sum,
                      energy);
        result = placeTemplatesOnEnergy(energy, height, width, geometry, maxTemplates, posX, posY,
                                        count);
    } else {
        std::printf("ERROR in setTemplatePosition\n");
    }
    std::free(energy);
    releaseFloatImage(&gx);
    releaseFloatImage(&gy);
    releaseFloatImage(&sum);
    return result;
}

}  // namespace regviafft

int CRegViaFFT::setTemplatePosition(_IplImage* image)
{
    // No frame is a failure, like a frame whose workspace cannot be had.
    if (image == nullptr)
        return 0;
    const regviafft::PlacementGeometry geometry{reducedTemplateHeight, reducedTemplateWidth,
                                                reducedMarginY, reducedMarginX};
    // The position arrays hold 10 entries whatever maxTemplates says.
    const int slots = std::min(maxTemplates, 10);
    const uint8_t* pixels = reinterpret_cast<const uint8_t*>(image->imageData);
    return regviafft::placeTemplates(pixels, image->widthStep, image->width, image->height,
                                     geometry, slots, lowPassKernel, derivKernel, tmplPosX,
                                     tmplPosY, &templateCount);
}

int CRegViaFFT::setTmplPos(double* energy, int height, int width, int boxHeight, int boxWidth,
                           int marginLeft, int marginRight, int marginTop, int marginBottom,
                           int* row, int* col, double* bestMean, double* boxScore,
                           double acceptRatio)
{
    return regviafft::chooseTemplateBox(energy, height, width, boxHeight, boxWidth, marginLeft,
                                        marginRight, marginTop, marginBottom, row, col, bestMean,
                                        boxScore, acceptRatio);
}
