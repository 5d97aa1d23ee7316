// Pure helpers that the CRegViaFFT member operations delegate to, with
// pointer, stride and size signatures so that tests can call them directly.
#ifndef REGVIAFFT_REGISTRATION_KERNELS_H
#define REGVIAFFT_REGISTRATION_KERNELS_H

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "RegViaFFT.h"
#include "dft.h"

namespace regviafft {

// Nearest integer, ties to even, as the image library's cvRound does; relies
// on the default rounding mode, which the library never changes.
inline int roundHalfEven(double value)
{
    return static_cast<int>(std::lrint(value));
}

// object.cpp
// One out-of-place two-dimensional complex transform of the given lengths
// (rows, columns) and strides, created and committed; the sum of the
// engine's statuses, 0 when the descriptor is ready.
int32_t buildPlan(DFT_DESCRIPTOR_HANDLE* handle, int32_t precision, const int32_t* lengths,
                  const int32_t* inStrides, const int32_t* outStrides);
// Frees a descriptor and nulls the handle; false when the engine could not.
bool freePlan(DFT_DESCRIPTOR_HANDLE& handle);

// pipeline.cpp
// Grey value of each pixel of pixelBytes (3 or 4) bytes: the first three
// bytes' mean, rounded; a 1-byte pixel is grey already. Rows are pixelStride
// bytes apart (negative for bottom-up rows).
void grayFromPixels(const uint8_t* pixels, std::ptrdiff_t pixelStride, int pixelBytes, int width,
                    int height, uint8_t* gray, int grayStride);
// dst(r, c) = src(r - oy, c - ox) for whole 4-byte pixels, zero where
// uncovered; dst may be src itself.
void writeShiftedFrame(const uint8_t* src, uint8_t* dst, int width, int height, int ox, int oy);
// A whole-pixel motion beyond a third of the frame size on either axis is not
// believed.
bool motionImplausible(int motionX, int motionY, int width, int height);
// Output offset along one axis: the accumulated shift plus, while re-centring,
// the stepsLeft steps of the last judged window's shift not yet faded out.
int recentredOffset(int accumulated, bool recentering, int stepsLeft, double step);

// gradient.cpp
// Every scratch buffer of the gradient filters and template placement comes
// from this allocator (std::malloc unless a test swaps it to inject a failure)
// and goes back with std::free.
extern void* (*scratchAllocate)(std::size_t bytes);
// One-channel 32-bit float image of width x height in a single scratch block,
// released with releaseFloatImage; null when the block cannot be had.
_IplImage* createFloatImage(int width, int height);
void releaseFloatImage(_IplImage** image);
// Copies an 8-bit image (row stride `stride` bytes) into a float image of the
// same size.
void bytesToFloatImage(const uint8_t* pixels, int stride, _IplImage* image);
// Reflection about the edge sample: -1 -> 1, n -> n - 2; a single sample
// reflects onto itself.
int mirrorIndex(int i, int n);
// Central differences, not halved, over a packed 8-bit image.
void centralGradient(const uint8_t* image, int width, int height, float* gradX, float* gradY);
// The four separable 5-tap passes: dx = rows(deriv) of columns(lowPass) of
// source, dy = rows(lowPass) of columns(deriv); the kernels are not copied.
void smoothedDerivatives(const _IplImage* source, _IplImage* dx, _IplImage* dy,
                         double* lowPassKernel, double* derivKernel);
// Smoothed 5-tap gradient of a packed 8-bit image; outputs untouched when the
// working images cannot be allocated.
void smoothedGradient(const uint8_t* image, int width, int height, double* lowPassKernel,
                      double* derivKernel, float* gradX, float* gradY);
// Periodic Hamming weight 0.54 - 0.46 cos(i 6.283184 / n).
double hammingWeight(int i, int n);
// Separable Hamming weighting of a packed 8-bit patch, columns first, each
// pass rounded to 8 bits; src and dst may be the same buffer.
void hammingWeighting(const uint8_t* src, uint8_t* dst, int width, int height);

// integral_image.cpp
// Inclusive prefix sums over columns firstCol..lastCol and rows
// firstRow..lastRow (non-empty, inside the array); zero elsewhere.
void integralImage(const uint8_t* src, int32_t* dst, int width, int height, int firstCol,
                   int lastCol, int firstRow, int lastRow);
void integralImage(const double* src, double* dst, int width, int height, int firstCol,
                   int lastCol, int firstRow, int lastRow);
// Sum over rows r0..r1 and columns c0..c1 of a table built over the whole
// array; a row or column index of -1 reads as 0.
double boxSum(const double* table, int width, int r0, int c0, int r1, int c1);

// template_placement.cpp
// Template size and border margins in reduced pixels.
struct PlacementGeometry {
    int templateHeight;
    int templateWidth;
    int marginY;
    int marginX;
};
// Edge energy |dx| + |dy| of the smoothed 5-tap derivatives of an 8-bit image
// (row stride widthStep bytes) into energy (width x height doubles), using
// three width x height float images as workspace.
void fillEnergyMap(const uint8_t* pixels, int widthStep, int width, int height,
                   double* lowPassKernel, double* derivKernel, _IplImage* gx, _IplImage* gy,
                   _IplImage* sum, double* energy);
// One greedy choice on the energy map, damping the previous box first; row,
// col, bestMean in-out, boxScore out (the mean of the box found). Margins are
// not negative. Returns 0 only when its table cannot be allocated.
int chooseTemplateBox(double* energy, int height, int width, int boxHeight, int boxWidth,
                      int marginLeft, int marginRight, int marginTop, int marginBottom,
                      int* row, int* col, double* bestMean, double* boxScore,
                      double acceptRatio);
// Up to maxTemplates greedy choices on the energy map; writes the top-left
// corners of the accepted templates to posX/posY and their number to *count.
// Returns 0 on an allocation failure, leaving *count unchanged.
int placeTemplatesOnEnergy(double* energy, int height, int width, const PlacementGeometry& geometry,
                           int maxTemplates, int* posX, int* posY, int* count);
// Energy map and greedy placement on an 8-bit frame; 0 on an allocation
// failure, after printing the failure line.
int placeTemplates(const uint8_t* pixels, int widthStep, int width, int height,
                   const PlacementGeometry& geometry, int maxTemplates, double* lowPassKernel,
                   double* derivKernel, int* posX, int* posY, int* count);

// template_patch.cpp
// Copies height rows of width bytes, stride bytes apart, into a packed array.
void packRows(const uint8_t* src, int stride, int width, int height, uint8_t* dst);
// Copies the height x width window with top-left corner (top, left) of a packed
// image imageWidth columns wide into a packed patch.
void cutPatch(const float* image, int imageWidth, int top, int left, int height, int width,
              float* patch);
// dst[i] = (|gx[i]| + |gy[i]|, 0): absolute values in float, their sum in double.
void gradientMagnitudeInput(const float* gx, const float* gy, int count, _DFT_Complex16* dst);
// Coefficient n of an N-point window (N >= 2).
double hanningCoefficient(int n, int length);
double hammingCoefficient(int n, int length);

// phase_correlation.cpp
// dst[i] = current[i] x conj(previous[i]) divided by its magnitude, floored at 1e-7.
void normalisedCrossPower(const _DFT_Complex16* current, const _DFT_Complex16* previous,
                          int count, _DFT_Complex16* dst);
// Divides the real part of every element by divisor; imaginary parts untouched.
void scaleRealParts(_DFT_Complex16* data, int count, double divisor);
void copyRealParts(const _DFT_Complex16* src, int count, double* dst);

// peak.cpp
// Largest element strictly above 0.0, first in row-major order on ties; value
// 0.0 at (0, 0) when no element is positive.
struct SurfacePeak {
    double value;
    int row;
    int col;
};
SurfacePeak findSurfacePeak(const double* surface, int height, int width);
// Peak index as a signed displacement: indices from size / 2 on are negative.
int signedWholeShift(int index, int size);
// Sub-pixel offset along one axis from the peak and its two circular neighbours.
struct AxisRefinement {
    double neighbour;   // the larger neighbour, the following one on ties
    double side;        // +1 towards the following index, -1 towards the preceding
    double candidate1;  // N / (N + P)
    double candidate2;  // N / (N - P)
    bool accepted;      // false: neither candidate within bound; offset is 0
    double offset;      // side x |accepted candidate|
};
AxisRefinement refineAxis(double peak, double following, double preceding, bool inclusiveBound);
// Whole shift of a height x width surface, refined unless scale is exactly 1.0,
// negated into the motion that brings the frame back; 800.0 in both shifts and
// peak 0.0 when no element is positive.
struct SurfaceShift {
    double shiftY;
    double shiftX;
    double peak;
    bool refined;    // scale was not 1.0, so x and y below were computed
    AxisRefinement x;
    AxisRefinement y;
};
SurfaceShift surfaceShift(const double* surface, int height, int width, double scale);
// The same, refined whatever the scale.
SurfaceShift refinedSurfaceShift(const double* surface, int height, int width);
// The same, printing the X_NONONO / Y_NONONO line of an axis left unrefined.
void measureSurfaceShift(const double* surface, int height, int width, double scale,
                         double* shiftY, double* shiftX, double* pcValue);

// motion_vector.cpp
using PcRecord = CRegViaFFT::_pcResult;
constexpr int kMaxPcRecords = 10;
// Stable bubble sort of the first n records, largest key first; equal and
// not-a-number keys never swap; an unknown criterion moves nothing.
void sortPcRecords(PcRecord* records, int n, CRegViaFFT::CRITERION criterion);
// After voting, pcValue is the highest peak of the agreeing set: zero exactly
// when its weight sum is zero, i.e. the set holds only no-peak markers.
inline bool hasMotionVector(const PcRecord& record) { return record.pcValue > 0.0; }
// Each record's agreeing set (per-record tolerances): votes into records,
// averaged shift and extreme peaks into work.
void voteOnShifts(PcRecord* records, PcRecord* work, int count);
// Merges runs of equal averaged shifts in place; returns the number of candidates.
int mergeCandidates(PcRecord* records, int count);
struct ScoringContext {
    int maxTemplates;
    int frameCount;
    double prevX;  // previous frame's motion, reduced pixels
    double prevY;
};
void scoreCandidates(PcRecord* records, int count, const ScoringContext& context);
// Orders, votes, merges, scores and orders the candidates of count >= 2 measured
// records (work holds count records); returns the number of candidates, best first.
int rankCandidates(PcRecord* records, PcRecord* work, int count, const ScoringContext& context);

}  // namespace regviafft

#endif
