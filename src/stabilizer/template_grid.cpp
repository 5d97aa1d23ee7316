// Template spots on the grid.
#include "template_grid.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace regviafft {
namespace {

// Below this (squared grey levels per pixel) a spot is plain and its cell is
// left empty. Each cell is judged on its own, not against the others: before
// a plain wall the faint cells are all that tells the camera from a strongly
// textured subject, and a clean video's faint marks measure well.
constexpr double kLeastTexture = 0.25;
// Candidate corners are tried this many pixels apart: finer changes nothing
// a template of a few tens of pixels would notice.
constexpr int kSearchStep = 2;

struct CellBounds {
    int firstLeft;  // candidate top-left corners, inclusive
    int lastLeft;
    int firstTop;
    int lastTop;
};

// Corners whose template centre lies in the middle half of the cell (so
// neighbouring cells cannot pick the same spot on their border) and whose
// template keeps the margins; empty (first > last) when none does.
CellBounds boundsOf(const GridGeometry& g, int cell)
{
    const int column = cell % g.columns, row = cell / g.columns;
    const int cellWidth = g.width / g.columns, cellHeight = g.height / g.rows;
    const int cellLeft = column * g.width / g.columns + cellWidth / 4;
    const int cellRight = (column + 1) * g.width / g.columns - cellWidth / 4;
    const int cellTop = row * g.height / g.rows + cellHeight / 4;
    const int cellBottom = (row + 1) * g.height / g.rows - cellHeight / 4;
    const int halfWidth = g.templateWidth / 2, halfHeight = g.templateHeight / 2;
    return {std::max(cellLeft - halfWidth, g.marginX),
            std::min(cellRight - 1 - halfWidth, g.width - g.marginX - g.templateWidth),
            std::max(cellTop - halfHeight, g.marginY),
            std::min(cellBottom - 1 - halfHeight, g.height - g.marginY - g.templateHeight)};
}

bool farEnough(const GridSpot& spot, int left, int top, const GridGeometry& g)
{
    return std::abs(spot.left - left) >= g.templateWidth / 2 || std::abs(spot.top - top) >= g.templateHeight / 2;
}

GridSpot bestInCell(const TextureMap& texture, const GridGeometry& grid, int cell, const GridSpot* avoid)
{
    const CellBounds b = boundsOf(grid, cell);
    GridSpot best;
    for (int top = b.firstTop; top <= b.lastTop; top += kSearchStep)
        for (int left = b.firstLeft; left <= b.lastLeft; left += kSearchStep) {
            if (avoid != nullptr && !farEnough(*avoid, left, top, grid))
                continue;
            const double score = texture.at(left, top);
            if (score > best.texture)
                best = {left, top, score};
        }
    if (best.texture < kLeastTexture)
        best.texture = 0.0;
    return best;
}

std::vector<double> summedArea(int width, int height, const float* a, const float* b)
{
    std::vector<double> table(static_cast<size_t>(width + 1) * (height + 1), 0.0);
    for (int r = 0; r < height; ++r) {
        double rowSum = 0.0;
        for (int c = 0; c < width; ++c) {
            const size_t i = static_cast<size_t>(r) * width + c;
            rowSum += static_cast<double>(a[i]) * b[i];
            table[static_cast<size_t>(r + 1) * (width + 1) + c + 1] =
                table[static_cast<size_t>(r) * (width + 1) + c + 1] + rowSum;
        }
    }
    return table;
}

}  // namespace

TextureMap::TextureMap(const float* gradX, const float* gradY, const GridGeometry& grid)
    : grid_(grid), insetX_(grid.templateWidth / 4), insetY_(grid.templateHeight / 4),
      boxWidth_(std::max(1, grid.templateWidth / 2)), boxHeight_(std::max(1, grid.templateHeight / 2)),
      xx_(summedArea(grid.width, grid.height, gradX, gradX)),
      yy_(summedArea(grid.width, grid.height, gradY, gradY)),
      xy_(summedArea(grid.width, grid.height, gradX, gradY))
{
}

double TextureMap::boxSum(const std::vector<double>& table, int r0, int c0, int r1, int c1) const
{
    const size_t stride = static_cast<size_t>(grid_.width) + 1;
    return table[r1 * stride + c1] - table[r0 * stride + c1] - table[r1 * stride + c0] +
           table[r0 * stride + c0];
}

double TextureMap::at(int left, int top) const
{
    const int r0 = top + insetY_, c0 = left + insetX_, r1 = r0 + boxHeight_, c1 = c0 + boxWidth_;
    const double area = static_cast<double>(boxWidth_) * boxHeight_;
    const double a = boxSum(xx_, r0, c0, r1, c1) / area;
    const double c = boxSum(yy_, r0, c0, r1, c1) / area;
    const double b = boxSum(xy_, r0, c0, r1, c1) / area;
    return 0.5 * (a + c) - std::sqrt(0.25 * (a - c) * (a - c) + b * b);
}

std::vector<GridSpot> placeOnGrid(const TextureMap& texture, const GridGeometry& grid)
{
    std::vector<GridSpot> spots;
    for (int cell = 0; cell < grid.columns * grid.rows; ++cell)
        spots.push_back(bestInCell(texture, grid, cell, nullptr));
    return spots;
}

GridSpot respotInCell(const TextureMap& texture, const GridGeometry& grid, int cell,
                      const GridSpot& avoid)
{
    return bestInCell(texture, grid, cell, &avoid);
}

}  // namespace regviafft
