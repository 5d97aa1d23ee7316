// Where the stabiliser's templates sit: one per cell of a grid over the
// frame, each at the best-textured spot of its cell, so that the camera is
// measured over the whole picture and not only where a subject is busiest.
#ifndef REGVIAFFT_STABILIZER_TEMPLATE_GRID_H
#define REGVIAFFT_STABILIZER_TEMPLATE_GRID_H

#include <vector>

namespace regviafft {

// In analysed (reduced) pixels.
struct GridGeometry {
    int width;      // the analysed frame
    int height;
    int columns;    // cells
    int rows;
    int templateWidth;
    int templateHeight;
    int marginX;    // columns at each side kept free of templates
    int marginY;
};

struct GridSpot {
    int left = 0;  // top-left corner of the template
    int top = 0;
    double texture = 0.0;  // its texture score (see TextureMap)
};

// How well patches of the analysed frame can be registered: the smaller
// eigenvalue of the gradient structure tensor over a template's central
// half, per pixel. An edge alone scores low (it fixes only one direction of
// motion), plain areas and noise lower still.
class TextureMap {
public:
    // gradX and gradY: width x height central differences of the analysed frame.
    TextureMap(const float* gradX, const float* gradY, const GridGeometry& grid);
    double at(int left, int top) const;

private:
    double boxSum(const std::vector<double>& table, int r0, int c0, int r1, int c1) const;

    GridGeometry grid_;
    int insetX_;  // the scored box starts this far inside the template
    int insetY_;
    int boxWidth_;
    int boxHeight_;
    std::vector<double> xx_;  // summed-area tables of gx^2, gy^2 and gx gy
    std::vector<double> yy_;
    std::vector<double> xy_;
};

// The best spot of every cell; a cell without texture worth measuring gets
// none (its entry has texture 0).
std::vector<GridSpot> placeOnGrid(const TextureMap& texture, const GridGeometry& grid);
// The best spot of a cell at least half a template away from `avoid`: where
// a template goes that kept finding a moving subject. Texture 0 when there is
// none.
GridSpot respotInCell(const TextureMap& texture, const GridGeometry& grid, int cell,
                      const GridSpot& avoid);

}  // namespace regviafft

#endif
