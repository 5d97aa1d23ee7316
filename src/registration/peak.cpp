// Correlation peak of one template's surface and the shift it stands for,
// refined to a fraction of a pixel when frames are reduced.
#include <cmath>
#include <cstdio>

#include "RegViaFFT.h"
#include "kernels.h"

namespace regviafft {

// Reported in both shifts, not negated, when a surface has no positive element.
constexpr double kNoPeakShift = 800.0;

SurfacePeak findSurfacePeak(const double* surface, int height, int width)
{
    SurfacePeak peak{0.0, 0, 0};
    for (int r = 0; r < height; ++r) {
        const double* row = surface + static_cast<size_t>(r) * width;
        for (int c = 0; c < width; ++c) {
            // Strictly greater: ties keep the first, NaN never wins.
            if (row[c] > peak.value)
                peak = {row[c], r, c};
        }
    }
    return peak;
}

int signedWholeShift(int index, int size)
{
    return index >= size / 2 ? index - size : index;
}

AxisRefinement refineAxis(double peak, double following, double preceding, bool inclusiveBound)
{
    AxisRefinement axis{};
    if (following >= preceding) {
        axis.neighbour = following;
        axis.side = 1.0;
    } else {
        axis.neighbour = preceding;
        axis.side = -1.0;
    }
    axis.candidate1 = axis.neighbour / (axis.neighbour + peak);
    axis.candidate2 = axis.neighbour / (axis.neighbour - peak);
    const double first = std::fabs(axis.candidate1);
    const double second = std::fabs(axis.candidate2);
    const auto within = [inclusiveBound](double magnitude) {
        return inclusiveBound ? magnitude <= 1.0 : magnitude < 1.0;
    };
    if (within(first)) {
        axis.accepted = true;
        axis.offset = axis.side * first;
    } else if (within(second)) {
        axis.accepted = true;
        axis.offset = axis.side * second;
    }
    return axis;
}

namespace {

SurfaceShift peakShift(const double* surface, int height, int width, bool refine)
{
    const SurfacePeak peak = findSurfacePeak(surface, height, width);
    SurfaceShift result{kNoPeakShift, kNoPeakShift, peak.value, false, {}, {}};
    if (peak.value == 0.0)
        return result;
    const double y0 = signedWholeShift(peak.row, height);
    const double x0 = signedWholeShift(peak.col, width);
    if (!refine) {
        result.shiftY = -y0;
        result.shiftX = -x0;
        return result;
    }
    const auto at = [surface, width](int r, int c) {
        return surface[static_cast<size_t>(r) * width + c];
    };
    const int below = (peak.row + 1) % height;
    const int above = (peak.row + height - 1) % height;
    const int right = (peak.col + 1) % width;
    const int left = (peak.col + width - 1) % width;

    // Horizontally a candidate of magnitude 1 is rejected, vertically accepted.
    result.refined = true;
    result.x = refineAxis(peak.value, at(peak.row, right), at(peak.row, left), false);
    result.y = refineAxis(peak.value, at(below, peak.col), at(above, peak.col), true);
    result.shiftY = -(y0 + result.y.offset);
    result.shiftX = -(x0 + result.x.offset);
    return result;
}

}  // namespace

SurfaceShift surfaceShift(const double* surface, int height, int width, double scale)
{
    // Full-size frames keep whole pixels.
    return peakShift(surface, height, width, scale != 1.0);
}

SurfaceShift refinedSurfaceShift(const double* surface, int height, int width)
{
    return peakShift(surface, height, width, true);
}

void measureSurfaceShift(const double* surface, int height, int width, double scale,
                         double* shiftY, double* shiftX, double* pcValue)
{
    const SurfaceShift shift = surfaceShift(surface, height, width, scale);
    const AxisRefinement& x = shift.x;
    const AxisRefinement& y = shift.y;
    if (shift.refined && !x.accepted)
        std::printf("X_NONONO %f %f %f %f %f\n", x.candidate1, x.candidate2, x.side, x.neighbour,
                    shift.peak);
    if (shift.refined && !y.accepted)
        std::printf("Y_NONONO %f %f %f %f %f\n", y.candidate1, y.candidate2, y.side, y.neighbour,
                    shift.peak);
    *pcValue = shift.peak;
    *shiftY = shift.shiftY;
    *shiftX = shift.shiftX;
}

}  // namespace regviafft

void CRegViaFFT::getShiftAmount_PCvalue(double* surface, double* shiftY, double* shiftX,
                                        double* pcValue)
{
    regviafft::measureSurfaceShift(surface, reducedTemplateHeight, reducedTemplateWidth, scale,
                                   shiftY, shiftX, pcValue);
}
