// Row-column drivers of a two-dimensional transform: every row by the
// dimension-0 pass, then every column by the dimension-1 pass, in place on the
// output. Columns are gathered in groups into contiguous vectors so the pass
// kernels always see unit-stride data.
#include <algorithm>
#include <cstddef>
#include <cstring>

#include "engine.h"
#include "variant/variant.h"

namespace {

using Index = ptrdiff_t;

// Group width for unit-stride columns: 8 for long rows or many rows, else 4.
Index columnGroupWidth(Index n0, Index n1)
{
    return (n0 > 16384 || n1 > 32) ? 8 : 4;
}

// Elements of the per-call temporary buffer: one row, or a group of columns.
Index bufferElements(Index n0, Index n1, int32_t outStride0)
{
    if (outStride0 == 1)
        return std::max(columnGroupWidth(n0, n1) * n1, n0);
    return std::max(n0, n1);
}

bool isPowerOfTwo(Index n)
{
    return n > 0 && (n & (n - 1)) == 0;
}

// True when the whole array fits in the last-level cache (unknown size: 0).
bool fitsInLastLevelCache(Index n0, Index n1)
{
    return lastLevelCacheSize(0) > static_cast<int64_t>(n0) * n1 * 16;
}

void gather(const Complex* src, Index stride, Index n, Complex* dst)
{
    if (stride == 1) {
        std::memcpy(dst, src, static_cast<size_t>(n) * sizeof(Complex));
        return;
    }
    for (Index i = 0; i < n; ++i)
        dst[i] = src[i * stride];
}

void scatter(const Complex* src, Index n, Complex* dst, Index stride)
{
    if (stride == 1) {
        std::memcpy(dst, src, static_cast<size_t>(n) * sizeof(Complex));
        return;
    }
    for (Index i = 0; i < n; ++i)
        dst[i * stride] = src[i];
}

// One line of n elements at srcStride, transformed in the buffer and written
// back at dstStride; src and dst may be the same line.
int32_t transformThroughBuffer(const Complex* src, Index srcStride, Complex* dst, Index dstStride,
                               Index n, DftPassRoutine pass, DftDescriptor* member,
                               void* workspace, Complex* buffer)
{
    gather(src, srcStride, n, buffer);
    const int32_t status = pass(buffer, buffer, member, workspace);
    if (status != 0)
        return status;
    scatter(buffer, n, dst, dstStride);
    return 0;
}

// Every row r, from input row r to output row r.
int32_t rowPass(const Complex* in, Complex* out, const int32_t inStride[2],
                const int32_t outStride[2], bool direct, DftPassRoutine pass0,
                DftDescriptor* head, void* workspace, Complex* buffer)
{
    const Index n0 = head->passLength;
    const Index n1 = head->next != nullptr ? head->next->passLength : 1;
    for (Index r = 0; r < n1; ++r) {
        const Complex* src = in + r * inStride[1];
        Complex* dst = out + r * outStride[1];
        if (direct) {
            const int32_t status = pass0(src, dst, head, workspace);
            if (status != 0)
                return status;
            continue;
        }
        const int32_t status = transformThroughBuffer(src, inStride[0], dst, outStride[0], n0,
                                                      pass0, head, workspace, buffer);
        if (status != 0)
            return status;
    }
    return 0;
}

// G adjacent columns of n1 rows become G contiguous vectors of n1 elements.
template <int G>
void gatherColumns(const Complex* top, Index rowStride, Index n1, Complex* buffer)
{
    for (Index j = 0; j < n1; ++j) {
        const Complex* row = top + j * rowStride;
        for (int b = 0; b < G; ++b)
            buffer[b * n1 + j] = row[b];
    }
}

template <int G>
void scatterColumns(const Complex* buffer, Index n1, Complex* top, Index rowStride)
{
    for (Index j = 0; j < n1; ++j) {
        Complex* row = top + j * rowStride;
        for (int b = 0; b < G; ++b)
            row[b] = buffer[b * n1 + j];
    }
}

template <int G>
int32_t columnGroup(Complex* top, Index rowStride, DftPassRoutine pass1, DftDescriptor* member,
                    void* workspace, Complex* buffer)
{
    const Index n1 = member->passLength;
    gatherColumns<G>(top, rowStride, n1, buffer);
    for (int b = 0; b < G; ++b) {
        Complex* vector = buffer + b * n1;
        const int32_t status = pass1(vector, vector, member, workspace);
        if (status != 0)
            return status;
    }
    scatterColumns<G>(buffer, n1, top, rowStride);
    return 0;
}

// Adjacent columns of unit-stride rows: full groups of `width`, then the
// leftovers in groups of 4, 2 and 1.
int32_t unitStrideColumnPass(Complex* out, Index rowStride, Index width, DftPassRoutine pass1,
                             DftDescriptor* head, void* workspace, Complex* buffer)
{
    const Index n0 = head->passLength;
    DftDescriptor* member = head->next;
    Index c = 0;
    int32_t status = 0;
    for (; status == 0 && c + width <= n0; c += width) {
        status = width == 8
                     ? columnGroup<8>(out + c, rowStride, pass1, member, workspace, buffer)
                     : columnGroup<4>(out + c, rowStride, pass1, member, workspace, buffer);
    }
    if (status == 0 && n0 - c >= 4) {
        status = columnGroup<4>(out + c, rowStride, pass1, member, workspace, buffer);
        c += 4;
    }
    if (status == 0 && n0 - c >= 2) {
        status = columnGroup<2>(out + c, rowStride, pass1, member, workspace, buffer);
        c += 2;
    }
    if (status == 0 && n0 - c >= 1)
        status = columnGroup<1>(out + c, rowStride, pass1, member, workspace, buffer);
    return status;
}

// Columns of rows whose elements are not adjacent: one column at a time.
int32_t stridedColumnPass(Complex* out, const int32_t outStride[2], DftPassRoutine pass1,
                          DftDescriptor* head, void* workspace, Complex* buffer)
{
    const Index n0 = head->passLength;
    DftDescriptor* member = head->next;
    const Index n1 = member->passLength;
    for (Index c = 0; c < n0; ++c) {
        Complex* column = out + c * outStride[0];
        const int32_t status = transformThroughBuffer(column, outStride[1], column, outStride[1],
                                                      n1, pass1, member, workspace, buffer);
        if (status != 0)
            return status;
    }
    return 0;
}

// The shared body of both drivers; only the choice of direct rows differs.
int32_t rowColumnDriver(const Complex* in, Complex* out, const int32_t inStride[2],
                        const int32_t outStride[2], bool directRows, DftPassRoutine pass0,
                        DftPassRoutine pass1, DftDescriptor* head, void* workspace)
{
    const Index n0 = head->passLength;
    const Index n1 = head->next != nullptr ? head->next->passLength : 1;
    const size_t alignment = head->variant != nullptr ? head->variant->workspaceAlignment : 16;
    const Index elements = bufferElements(n0, n1, outStride[0]);
    auto* buffer = static_cast<Complex*>(
        bufferAllocate(static_cast<size_t>(elements) * sizeof(Complex), alignment));
    if (buffer == nullptr)
        return DFT_MEMORY_ERROR;

    int32_t status =
        rowPass(in, out, inStride, outStride, directRows, pass0, head, workspace, buffer);
    if (status == 0 && n1 >= 2) {
        status = outStride[0] == 1
                     ? unitStrideColumnPass(out, outStride[1], columnGroupWidth(n0, n1), pass1,
                                            head, workspace, buffer)
                     : stridedColumnPass(out, outStride, pass1, head, workspace, buffer);
    }
    bufferRelease(buffer);
    return status;
}

}  // namespace

int32_t driver2DOutOfPlace(const Complex* in, Complex* out, const int32_t inStride[2],
                           const int32_t outStride[2], DftPassRoutine pass0, DftPassRoutine pass1,
                           DftDescriptor* head, void* workspace)
{
    const Index n0 = head->passLength;
    const Index n1 = head->next != nullptr ? head->next->passLength : 1;
    // Contiguous rows go straight to the output unless a power-of-two array
    // outgrows the last-level cache; then the aligned row buffer keeps each
    // row's stages in cache.
    const bool direct = inStride[0] == 1 && outStride[0] == 1 &&
                        (!isPowerOfTwo(n0) || fitsInLastLevelCache(n0, n1));
    return rowColumnDriver(in, out, inStride, outStride, direct, pass0, pass1, head, workspace);
}

int32_t driver2DInPlace(const Complex* in, Complex* out, const int32_t inStride[2],
                        const int32_t outStride[2], DftPassRoutine pass0, DftPassRoutine pass1,
                        DftDescriptor* head, void* workspace)
{
    const Index n0 = head->passLength;
    const Index n1 = head->next != nullptr ? head->next->passLength : 1;
    // In place only power-of-two rows of a cache-sized array stay where they
    // lie; every other row is transformed in the buffer.
    const bool direct = inStride[0] == 1 && outStride[0] == 1 && isPowerOfTwo(n0) &&
                        fitsInLastLevelCache(n0, n1);
    return rowColumnDriver(in, out, inStride, outStride, direct, pass0, pass1, head, workspace);
}
