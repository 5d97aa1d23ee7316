// The computation the general method installs: pass routines, and compute
// routines for one contiguous line, one two-dimensional transform, and the
// general case of any rank, batch and number of user threads.
#include <atomic>
#include <cstddef>
#include <type_traits>

#include "descriptor.h"

namespace regviafft::dft {

namespace {

using Index = ptrdiff_t;

// ---- Pass routines ------------------------------------------------------

template <bool Forward>
int32_t passUnscaled(const PlanLines& lines, DftDescriptor* member, void* workspace)
{
    return planCompute(member->plan, Forward, lines, workspace);
}

template <bool Forward>
int32_t passScaled(const PlanLines& lines, DftDescriptor* member, void* workspace)
{
    const int32_t status = passUnscaled<Forward>(lines, member, workspace);
    if (status != 0)
        return status;
    scaleLines(member->plan, lines, Forward ? member->passForwardScale : member->passBackwardScale);
    return 0;
}

template <bool Forward>
DftPassRoutine passOf(const DftDescriptor* member)
{
    return Forward ? member->passForward : member->passBackward;
}

// One line of a member's length at the given element strides.
template <bool Forward>
int32_t lineTransform(DftDescriptor* member, const Complex* src, Index srcStride, Complex* dst,
                      Index dstStride, void* workspace)
{
    return passOf<Forward>(member)(PlanLines{src, srcStride, dst, dstStride, 1, false}, member,
                                   workspace);
}

// ---- Compute ------------------------------------------------------------

template <bool Forward>
int32_t runDriver(DftDescriptor* head, const Complex* in, Complex* out, void* workspace)
{
    DftDescriptor* member1 = head->next;
    const int32_t inStride[2] = {head->passInputStride, member1->passInputStride};
    const int32_t outStride[2] = {head->passOutputStride, member1->passOutputStride};
    return head->driver2D(in, out, inStride, outStride, passOf<Forward>(head),
                          passOf<Forward>(member1), head, workspace);
}

template <bool Forward>
int32_t computeContiguous1D(DftDescriptor* head, void* first, void* second, void*, void*)
{
    DataBases bases;
    if (!resolveBases(head, first, second, &bases))
        return DFT_INCONSISTENT_CONFIGURATION;
    return lineTransform<Forward>(head, bases.in, 1, bases.out, 1, head->workspace);
}

template <bool Forward>
int32_t computeSingle2D(DftDescriptor* head, void* first, void* second, void*, void*)
{
    DataBases bases;
    if (!resolveBases(head, first, second, &bases))
        return DFT_INCONSISTENT_CONFIGURATION;
    return runDriver<Forward>(head, bases.in, bases.out, head->workspace);
}

int64_t countOf(const DftDimension* dims, int32_t first, int32_t last, int32_t skip)
{
    int64_t count = 1;
    for (int32_t i = first; i < last; ++i)
        count *= i == skip ? 1 : dims[i].length;
    return count;
}

// Element offsets of a flat index over dimensions [first, last) but `skip`.
void offsetsOf(int64_t index, const DftDimension* dims, int32_t first, int32_t last, int32_t skip,
               Index* in, Index* out)
{
    *in = 0;
    *out = 0;
    for (int32_t i = first; i < last; ++i) {
        if (i == skip)
            continue;
        const int64_t q = index % dims[i].length;
        index /= dims[i].length;
        *in += static_cast<Index>(q * dims[i].inputStride);
        *out += static_cast<Index>(q * dims[i].outputStride);
    }
}

// One transform. Rank 1 is one line and rank 2 one driver call; above that
// the driver runs on every plane of the first two dimensions, then the lines
// along each further dimension are transformed in place on the output.
template <bool Forward>
int32_t transformOne(DftDescriptor* head, const Complex* in, Complex* out, void* workspace)
{
    if (head->rank == 1)
        return lineTransform<Forward>(head, in, head->passInputStride, out,
                                      head->passOutputStride, workspace);
    const DftDimension* dims = head->workDimensions.entries;
    const int32_t rank = head->rank;
    Index inOffset = 0;
    Index outOffset = 0;
    for (int64_t p = 0, planes = countOf(dims, 2, rank, -1); p < planes; ++p) {
        offsetsOf(p, dims, 2, rank, -1, &inOffset, &outOffset);
        const int32_t status = runDriver<Forward>(head, in + inOffset, out + outOffset, workspace);
        if (status != 0)
            return status;
    }
    DftDescriptor* member = head->next->next;
    for (int32_t d = 2; d < rank; ++d, member = member->next) {
        const Index stride = dims[d].outputStride;
        for (int64_t l = 0, lines = countOf(dims, 0, rank, d); l < lines; ++l) {
            offsetsOf(l, dims, 0, rank, d, &inOffset, &outOffset);
            Complex* line = out + outOffset;
            const int32_t status =
                lineTransform<Forward>(member, line, stride, line, stride, workspace);
            if (status != 0)
                return status;
        }
    }
    return 0;
}

// Several transforms run one after another, at the batch distances.
template <bool Forward>
int32_t transformBatch(DftDescriptor* head, const DataBases& bases, void* workspace)
{
    const bool inPlace = head->placement != DFT_NOT_INPLACE;
    const DftDimension* batch = head->workBatch.entries;
    Index inOffset = 0;
    Index outOffset = 0;
    for (int64_t t = 0, count = transformsInBatch(head); t < count; ++t) {
        offsetsOf(t, batch, 0, head->workBatch.count, -1, &inOffset, &outOffset);
        const int32_t status = transformOne<Forward>(
            head, bases.in + inOffset, bases.out + (inPlace ? inOffset : outOffset), workspace);
        if (status != 0)
            return status;
    }
    return 0;
}

// With several user threads each running compute holds its own workspace
// share, so concurrent calls on one descriptor never share scratch memory.
int32_t claimShare(DftDescriptor* head)
{
    auto* slots = static_cast<std::atomic<int32_t>*>(head->perThreadSlots);
    for (int32_t k = 0; k < head->userThreads; ++k) {
        int32_t expected = 0;
        if (slots[k].compare_exchange_strong(expected, 1, std::memory_order_acquire))
            return k;
    }
    return -1;
}

void releaseShare(DftDescriptor* head, int32_t share)
{
    static_cast<std::atomic<int32_t>*>(head->perThreadSlots)[share].store(
        0, std::memory_order_release);
}

template <bool Forward>
int32_t computeGeneral(DftDescriptor* head, void* first, void* second, void*, void*)
{
    DataBases bases;
    if (!resolveBases(head, first, second, &bases))
        return DFT_INCONSISTENT_CONFIGURATION;
    const int32_t share = head->perThreadSlots != nullptr ? claimShare(head) : 0;
    if (share < 0)
        return DFT_NUMBER_OF_THREADS_ERROR;
    void* workspace = head->workspace == nullptr
                          ? nullptr
                          : static_cast<char*>(head->workspace) + share * head->workspaceSize;
    const int32_t status = transformBatch<Forward>(head, bases, workspace);
    if (head->perThreadSlots != nullptr)
        releaseShare(head, share);
    return status;
}

template <bool Forward>
DftComputeRoutine chooseCompute(uint32_t flags)
{
    if ((flags & kFlagOneUserThread1D) != 0)
        return computeContiguous1D<Forward>;
    if ((flags & kFlagSingle2D) != 0)
        return computeSingle2D<Forward>;
    return computeGeneral<Forward>;
}

}  // namespace

DftPassRoutine passRoutine(bool forward, bool scaled)
{
    if (forward)
        return scaled ? passScaled<true> : passUnscaled<true>;
    return scaled ? passScaled<false> : passUnscaled<false>;
}

DftComputeRoutine generalComputeRoutine(bool forward, uint32_t flags)
{
    return forward ? chooseCompute<true>(flags) : chooseCompute<false>(flags);
}

// The caller's arrays hold _DFT_Complex16; the plans read and write them as
// the engine's Complex, which must therefore be the same 16 bytes.
static_assert(sizeof(Complex) == sizeof(_DFT_Complex16) &&
                  alignof(Complex) == alignof(_DFT_Complex16),
              "Complex has the size and alignment of _DFT_Complex16");
static_assert(offsetof(Complex, real) == offsetof(_DFT_Complex16, real) &&
                  offsetof(Complex, imag) == offsetof(_DFT_Complex16, imag),
              "Complex has the real part first and the imaginary part second");
static_assert(std::is_standard_layout_v<Complex> && std::is_trivially_copyable_v<Complex>,
              "Complex is plain data, as the public type is");

// In place the result overwrites the input, so the output takes the input's
// offset (and its distances) whatever the output settings say. A missing
// data pointer is refused with 3 rather than dereferenced.
bool resolveBases(const DftDescriptor* head, void* first, void* second, DataBases* bases)
{
    const bool inPlace = head->placement != DFT_NOT_INPLACE;
    auto* in = static_cast<Complex*>(first);
    Complex* out = inPlace ? in : static_cast<Complex*>(second);
    if (in == nullptr || out == nullptr)
        return false;
    bases->in = in + head->inputOffset;
    bases->out = out + (inPlace ? head->inputOffset : head->outputOffset);
    return true;
}

}  // namespace regviafft::dft
