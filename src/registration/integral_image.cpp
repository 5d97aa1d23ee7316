// Summed-area tables over a rectangular region and box reads from them.
#include <algorithm>

#include "RegViaFFT.h"
#include "kernels.h"

namespace regviafft {

namespace {

// Sums are formed in Acc, left to right within a row and rows top to bottom,
// so the double table is the same to the bit on every machine.
template <typename Src, typename Acc>
void buildTable(const Src* src, Acc* dst, int width, int height, int firstCol, int lastCol,
                int firstRow, int lastRow)
{
    std::fill(dst, dst + static_cast<std::size_t>(width) * height, Acc(0));
    const std::size_t top = static_cast<std::size_t>(firstRow) * width;
    dst[top + firstCol] = static_cast<Acc>(src[top + firstCol]);
    for (int x = firstCol + 1; x <= lastCol; ++x)
        dst[top + x] = dst[top + x - 1] + static_cast<Acc>(src[top + x]);
    for (int y = firstRow + 1; y <= lastRow; ++y) {
        const std::size_t row = static_cast<std::size_t>(y) * width;
        Acc s = Acc(0);
        for (int x = firstCol; x <= lastCol; ++x) {
            s = s + static_cast<Acc>(src[row + x]);
            dst[row + x] = dst[row - width + x] + s;
        }
    }
}

}  // namespace

void integralImage(const uint8_t* src, int32_t* dst, int width, int height, int firstCol,
                   int lastCol, int firstRow, int lastRow)
{
    buildTable(src, dst, width, height, firstCol, lastCol, firstRow, lastRow);
}

void integralImage(const double* src, double* dst, int width, int height, int firstCol,
                   int lastCol, int firstRow, int lastRow)
{
    buildTable(src, dst, width, height, firstCol, lastCol, firstRow, lastRow);
}

double boxSum(const double* table, int width, int r0, int c0, int r1, int c1)
{
    auto at = [table, width](int y, int x) {
        return (y < 0 || x < 0) ? 0.0 : table[static_cast<std::size_t>(y) * width + x];
    };
    return at(r1, c1) - at(r0 - 1, c1) - at(r1, c0 - 1) + at(r0 - 1, c0 - 1);
}

}  // namespace regviafft

void CRegViaFFT::constructIntegralImage(unsigned char* src, int* dst, int width, int height,
                                        int firstCol, int lastCol, int firstRow, int lastRow)
{
    regviafft::integralImage(src, dst, width, height, firstCol, lastCol, firstRow, lastRow);
}

void CRegViaFFT::constructIntegralImage(double* src, double* dst, int width, int height,
                                        int firstCol, int lastCol, int firstRow, int lastRow)
{
    regviafft::integralImage(src, dst, width, height, firstCol, lastCol, firstRow, lastRow);
}
