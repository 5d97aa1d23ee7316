// Row-column drivers of a two-dimensional transform: every row by the
// dimension-0 pass, then every column by the dimension-1 pass, in place on the
// output. Each pass call transforms as many lines as the kernels' vectors
// hold complex numbers: rows side by side (the kernels transpose them in
// registers), and columns in groups of adjacent columns gathered into an
// aligned buffer, where element j of every column of the group lies together.
#include <algorithm>
#include <cstddef>
#include <cstring>

#include "descriptor.h"

namespace regviafft::dft {

namespace {

using Index = ptrdiff_t;

// Group width for unit-stride columns: 8 for long rows or many rows, else 4.
Index columnGroupWidth(Index n0, Index n1)
{
    return (n0 > 16384 || n1 > 32) ? 8 : 4;
}

// What a call needs the temporary buffer for: rows transformed one by one
// in it, and groups of columns gathered into it.
struct BufferUse {
    bool rows;
    bool columns;
};

// Elements of the per-call temporary buffer: one row, or a gathered group and
// the group's results; none when neither pass needs it (rows side by side and
// codelet columns, which are transformed where they lie).
Index bufferElements(Index n0, Index n1, BufferUse use)
{
    const Index rows = use.rows ? n0 : 0;
    const Index columns = use.columns ? 2 * columnGroupWidth(n0, n1) * n1 : 0;
    return std::max(rows, columns);
}

// True when the whole array fits in the last-level cache (unknown size: 0).
bool fitsInLastLevelCache(Index n0, Index n1)
{
    return lastLevelCacheSize(0) > static_cast<int64_t>(n0) * n1 * 16;
}

// Kernels of one lane follow the row-buffer rules below; wider ones always
// take rows side by side and stage them through the plan's own work.
bool oneLaneKernels(const DftDescriptor* head)
{
    return head->plan->kernels->widestLanes == 1;
}

struct Strides {
    Index element;  // between neighbours within a line
    Index line;     // between neighbouring lines
};

// Every row in one call, side by side: the plan groups them by its vector width.
int32_t rowsSideBySide(const Complex* in, Complex* out, Strides inStride, Strides outStride,
                       DftPassRoutine pass0, DftDescriptor* head, void* workspace)
{
    const Index n1 = head->next != nullptr ? head->next->passLength : 1;
    const PlanLines rows{in, inStride.line, out, outStride.line, static_cast<int32_t>(n1), true};
    return pass0(rows, head, workspace);
}

// One row at a time through the buffer: gathered, transformed there,
// scattered to its place.
int32_t rowsOneByOne(const Complex* in, Complex* out, Strides inStride, Strides outStride,
                     DftPassRoutine pass0, DftDescriptor* head, void* workspace, Complex* buffer)
{
    const Index n0 = head->passLength;
    const Index n1 = head->next != nullptr ? head->next->passLength : 1;
    for (Index r = 0; r < n1; ++r) {
        copyLines(in + r * inStride.line, inStride.element, buffer, 1, n0, 1);
        const int32_t status = pass0(PlanLines{buffer, 1, buffer, 1, 1, false}, head, workspace);
        if (status != 0)
            return status;
        copyLines(buffer, 1, out + r * outStride.line, outStride.element, n0, 1);
    }
    return 0;
}

// Columns c..c+g-1 of n1 rows: gathered with element j of every column
// together, transformed in one call, scattered back.
int32_t columnGroup(Complex* top, Index rowStride, Index g, DftPassRoutine pass1,
                    DftDescriptor* member, void* workspace, Complex* buffer)
{
    const Index n1 = member->passLength;
    const auto count = static_cast<int32_t>(g);
    Complex* gathered = buffer;
    Complex* results = buffer + g * n1;
    copyLines(top, rowStride, gathered, g, n1, count);
    const int32_t status = pass1(PlanLines{gathered, g, results, g, count, false}, member, workspace);
    if (status == 0)
        copyLines(results, g, top, rowStride, n1, count);
    return status;
}

// Adjacent columns of unit-stride rows: full groups of `width`, then the
// leftovers in groups of 4, 2 and 1. A codelet needs no gathering: it loads
// a column whole wherever it lies, so every column goes in one call.
int32_t unitStrideColumnPass(Complex* out, Index rowStride, Index width, DftPassRoutine pass1,
                             DftDescriptor* head, void* workspace, Complex* buffer)
{
    const Index n0 = head->passLength;
    DftDescriptor* member = head->next;
    if (planIsCodelet(member->plan)) {
        const PlanLines columns{out, rowStride, out, rowStride, static_cast<int32_t>(n0), false};
        return pass1(columns, member, workspace);
    }
    int32_t status = 0;
    Index c = 0;
    for (; status == 0 && c + width <= n0; c += width)
        status = columnGroup(out + c, rowStride, width, pass1, member, workspace, buffer);
    for (Index g = 4; status == 0 && g >= 1; g /= 2) {
        if (n0 - c >= g) {
            status = columnGroup(out + c, rowStride, g, pass1, member, workspace, buffer);
            c += g;
        }
    }
    return status;
}

// Columns of rows whose elements are not adjacent: one at a time, in place
// at their own strides.
int32_t stridedColumnPass(Complex* out, Strides outStride, DftPassRoutine pass1,
                          DftDescriptor* head, void* workspace)
{
    const Index n0 = head->passLength;
    DftDescriptor* member = head->next;
    for (Index c = 0; c < n0; ++c) {
        Complex* column = out + c * outStride.element;
        const PlanLines lines{column, outStride.line, column, outStride.line, 1, false};
        const int32_t status = pass1(lines, member, workspace);
        if (status != 0)
            return status;
    }
    return 0;
}

// The shared body of both drivers; only the choice of buffered rows differs.
int32_t rowColumnDriver(const Complex* in, Complex* out, const int32_t inStride[2],
                        const int32_t outStride[2], bool rowsThroughBuffer, DftPassRoutine pass0,
                        DftPassRoutine pass1, DftDescriptor* head, void* workspace)
{
    const Index n0 = head->passLength;
    const Index n1 = head->next != nullptr ? head->next->passLength : 1;
    const Strides inRows{inStride[0], inStride[1]};
    const Strides outRows{outStride[0], outStride[1]};
    const bool rowsSideBySideOk = inStride[0] == 1 && outStride[0] == 1 && !rowsThroughBuffer;
    const bool columnsPass = n1 >= 2;
    const BufferUse use{!rowsSideBySideOk, columnsPass && outStride[0] == 1 &&
                                               !planIsCodelet(head->next->plan)};
    const Index elements = bufferElements(n0, n1, use);
    Complex* buffer = nullptr;
    if (elements > 0) {
        buffer = static_cast<Complex*>(bufferAllocate(
            static_cast<size_t>(elements) * sizeof(Complex), head->variant->workspaceAlignment));
        if (buffer == nullptr)
            return DFT_MEMORY_ERROR;
    }

    int32_t status = rowsSideBySideOk
                         ? rowsSideBySide(in, out, inRows, outRows, pass0, head, workspace)
                         : rowsOneByOne(in, out, inRows, outRows, pass0, head, workspace, buffer);
    if (status == 0 && columnsPass) {
        status = outStride[0] == 1
                     ? unitStrideColumnPass(out, outStride[1], columnGroupWidth(n0, n1), pass1,
                                            head, workspace, buffer)
                     : stridedColumnPass(out, outRows, pass1, head, workspace);
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
    const bool throughBuffer = oneLaneKernels(head) && isPowerOfTwo(static_cast<uint64_t>(n0)) &&
                               !fitsInLastLevelCache(n0, n1);
    return rowColumnDriver(in, out, inStride, outStride, throughBuffer, pass0, pass1, head,
                           workspace);
}

int32_t driver2DInPlace(const Complex* in, Complex* out, const int32_t inStride[2],
                        const int32_t outStride[2], DftPassRoutine pass0, DftPassRoutine pass1,
                        DftDescriptor* head, void* workspace)
{
    const Index n0 = head->passLength;
    const Index n1 = head->next != nullptr ? head->next->passLength : 1;
    // In place only power-of-two rows of a cache-sized array stay where they
    // lie; every other row is transformed in the buffer.
    const bool throughBuffer = oneLaneKernels(head) && !(isPowerOfTwo(static_cast<uint64_t>(n0)) &&
                                                         fitsInLastLevelCache(n0, n1));
    return rowColumnDriver(in, out, inStride, outStride, throughBuffer, pass0, pass1, head,
                           workspace);
}

}  // namespace regviafft::dft
