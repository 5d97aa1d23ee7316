// The general method: a complex transform of any rank as a chain of
// one-dimensional members, one per working dimension, each with its own plan
// and pass routines, computed pass by pass.
#include <atomic>
#include <cstdint>
#include <new>

#include "engine.h"
#include "plan_1d.h"
#include "variant/variant.h"

namespace {

using Index = ptrdiff_t;

constexpr uint32_t kPowerOfTwoLengthLimit = 1u << 26;
constexpr uint32_t kOtherLengthLimit = 1u << 24;
// More user threads than this is taken for a configuration mistake: each one
// costs a workspace share and a slot.
constexpr int32_t kMaxUserThreads = 1024;

bool isPowerOfTwo(uint32_t n)
{
    return n != 0 && (n & (n - 1)) == 0;
}

int32_t floorLog2(uint32_t n)
{
    int32_t log = 0;
    while (n > 1) {
        n >>= 1;
        ++log;
    }
    return log;
}

// ---- Pass routines ------------------------------------------------------

template <bool Forward>
int32_t passUnscaled(const Complex* src, Complex* dst, DftDescriptor* member, void* workspace)
{
    return Forward ? planForward(member->plan, src, dst, workspace)
                   : planBackward(member->plan, src, dst, workspace);
}

template <bool Forward>
int32_t passScaled(const Complex* src, Complex* dst, DftDescriptor* member, void* workspace)
{
    const int32_t status = passUnscaled<Forward>(src, dst, member, workspace);
    if (status != 0)
        return status;
    const double scale = Forward ? member->passForwardScale : member->passBackwardScale;
    for (int32_t i = 0; i < member->passLength; ++i) {
        dst[i].real *= scale;
        dst[i].imag *= scale;
    }
    return 0;
}

// ---- Commit steps -------------------------------------------------------

DftConstructor constructorFor(const VariantOps* variant, int32_t precision, int32_t domain)
{
    if (precision == DFT_DOUBLE)
        return domain == DFT_COMPLEX ? variant->doubleComplex : variant->doubleReal;
    return domain == DFT_COMPLEX ? variant->singleComplex : variant->singleReal;
}

// One member per working dimension after the first, linked behind the head.
[[nodiscard]] int32_t buildMemberChain(DftDescriptor* head)
{
    const DftConstructor construct =
        constructorFor(head->variant, head->precision, head->domain);
    DftDescriptor* last = head;
    for (int32_t d = 1; d < head->rank; ++d) {
        if (last->next != nullptr)
            return DFT_INTERNAL_ERROR;
        const DftDimension& dim = head->workDimensions.entries[d];
        DftDescriptor* member = nullptr;
        const int32_t status = construct(&member, 1, &dim.length);
        if (status != DFT_NO_ERROR)
            return status;
        member->dimensions.entries[0] = dim;
        member->workDimensions.entries[0] = dim;
        member->rank = 1;
        last->next = member;
        member->previous = last;
        last = member;
    }
    return DFT_NO_ERROR;
}

void fillMemberGeometry(DftDescriptor* head)
{
    // Products wrap rather than overflow: they only describe the data.
    uint64_t product = 1;
    uint64_t halfProduct = 1;
    int32_t maxLength = 0;
    int32_t d = 0;
    for (DftDescriptor* m = head; m != nullptr; m = m->next, ++d) {
        const DftDimension& dim = head->workDimensions.entries[d];
        const auto length = static_cast<uint32_t>(dim.length);
        m->passDimensionIndex = d;
        m->passLength = dim.length;
        m->passHalfLength =
            (head->domain == DFT_REAL && d == 0) ? dim.length / 2 + 1 : dim.length;
        product *= length;
        halfProduct *= static_cast<uint32_t>(m->passHalfLength);
        m->passLengthProduct = static_cast<int64_t>(product);
        m->passHalfLengthProduct = static_cast<int64_t>(halfProduct);
        m->passInputStride = dim.inputStride;
        m->passOutputStride = dim.outputStride;
        m->passLengthNotPowerOfTwo = !isPowerOfTwo(length);
        m->passLog2Length = floorLog2(length);
        maxLength = dim.length > maxLength ? dim.length : maxLength;
    }
    for (DftDescriptor* m = head; m != nullptr; m = m->next)
        m->passMaxLength = maxLength;
}

// The whole transform is scaled once, by the pass over the shortest
// dimension longer than 1 (the first such in chain order), else by the head.
void placeScales(DftDescriptor* head)
{
    DftDescriptor* target = nullptr;
    for (DftDescriptor* m = head; m != nullptr; m = m->next) {
        m->passForwardScale = 1.0;
        m->passBackwardScale = 1.0;
        m->passForwardScaleF = 1.0f;
        m->passBackwardScaleF = 1.0f;
        if (m->passLength > 1 && (target == nullptr || m->passLength < target->passLength))
            target = m;
    }
    if (target == nullptr)
        target = head;
    target->passForwardScale = head->forwardScale;
    target->passBackwardScale = head->backwardScale;
    target->passForwardScaleF = static_cast<float>(head->forwardScale);
    target->passBackwardScaleF = static_cast<float>(head->backwardScale);
}

void copyConfiguration(DftDescriptor* head)
{
    for (DftDescriptor* m = head; m != nullptr; m = m->next) {
        m->ordering = head->ordering;
        m->transformCount = head->transformCount;
        m->inputDistance = head->inputDistance;
        m->outputDistance = head->outputDistance;
        m->passCount = head->passCount;
        m->passInputDistance = head->passInputDistance;
        m->passOutputDistance = head->passOutputDistance;
        m->complexStorage = head->complexStorage;
        m->realStorage = head->realStorage;
        m->conjugateEvenStorage = head->conjugateEvenStorage;
        m->placement = head->placement;
        m->packedFormat = head->packedFormat;
        m->userThreads = head->userThreads;
        m->threads = 1;
    }
}

int64_t transformsInBatch(const DftDescriptor* d)
{
    int64_t count = 1;
    for (int32_t i = 0; i < d->workBatch.count; ++i)
        count *= d->workBatch.entries[i].length;
    return count;
}

void setPathFlags(DftDescriptor* head)
{
    const DftDimension& dim0 = head->workDimensions.entries[0];
    const bool single = transformsInBatch(head) == 1 && head->threads == 1;
    head->flags &= ~(kFlagContiguous1D | kFlagSingle2D | kFlagOneUserThread1D);
    if (head->rank == 1 && dim0.inputStride == 1 && dim0.outputStride == 1 && single)
        head->flags |= kFlagContiguous1D;
    if (head->rank == 2 && single && head->userThreads == 1)
        head->flags |= kFlagSingle2D;
    if ((head->flags & kFlagContiguous1D) != 0 && head->userThreads == 1)
        head->flags |= kFlagOneUserThread1D;
}

// 2*userThreads+1 cleared slots. Slot k < userThreads marks workspace share k
// as taken by a running compute; the others are spare.
[[nodiscard]] int32_t allocatePerThreadSlots(DftDescriptor* head)
{
    if (head->userThreads <= 1)
        return DFT_NO_ERROR;
    if (head->userThreads > kMaxUserThreads)
        return DFT_NUMBER_OF_THREADS_ERROR;
    const size_t count = 2 * static_cast<size_t>(head->userThreads) + 1;
    void* slots = plainAllocateZeroed(count, sizeof(std::atomic<int32_t>), 16);
    if (slots == nullptr)
        return DFT_MEMORY_ERROR;
    for (size_t k = 0; k < count; ++k)
        new (static_cast<std::atomic<int32_t>*>(slots) + k) std::atomic<int32_t>(0);
    head->perThreadSlots = slots;
    return DFT_NO_ERROR;
}

// Member by member: a later member's length is checked only once the
// earlier members' plans are built.
[[nodiscard]] int32_t buildPlans(DftDescriptor* head)
{
    for (DftDescriptor* m = head; m != nullptr; m = m->next) {
        m->passForward = m->passForwardScale != 1.0 ? passScaled<true> : passUnscaled<true>;
        m->passBackward = m->passBackwardScale != 1.0 ? passScaled<false> : passUnscaled<false>;
        if (exceedsPlanLengthLimit(static_cast<uint32_t>(m->passLength)))
            return DFT_1D_LENGTH_EXCEEDS_INT32;
        const int32_t status = planCreate(&m->plan, head->variant, m->passLength);
        if (status != kPlanOk)
            return planStatusToDft(status);
        m->planWorkSize = m->plan->workBytes;
        if (m->planWorkSize > head->workspaceSize)
            head->workspaceSize = m->planWorkSize;
        if (m != head)
            m->commitStatus = DFT_COMMITTED;
    }
    return DFT_NO_ERROR;
}

// One share per user thread; workspaceSize keeps the size of one share.
[[nodiscard]] int32_t allocateWorkspace(DftDescriptor* head)
{
    if (head->workspaceSize == 0)
        return DFT_NO_ERROR;
    const size_t alignment = head->variant->workspaceAlignment;
    const size_t share = (head->workspaceSize + alignment - 1) / alignment * alignment;
    const size_t shares =
        static_cast<size_t>(head->userThreads >= 2 ? head->userThreads : head->threads);
    if (share > SIZE_MAX / shares)
        return DFT_MEMORY_ERROR;
    head->workspace = plainAllocate(share * shares, alignment);
    if (head->workspace == nullptr)
        return DFT_MEMORY_ERROR;
    head->workspaceSize = share;
    return DFT_NO_ERROR;
}

}  // namespace

bool exceedsPlanLengthLimit(uint32_t length)
{
    return length > (isPowerOfTwo(length) ? kPowerOfTwoLengthLimit : kOtherLengthLimit);
}

namespace {

// ---- Compute ------------------------------------------------------------

struct DataBases {
    const Complex* in;
    Complex* out;
};

// In place the result overwrites the input, so the output takes the input's
// offset (and, below, its distances) whatever the output settings say.
// A missing data pointer is refused with 3 rather than dereferenced.
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

template <bool Forward>
DftPassRoutine passOf(const DftDescriptor* member)
{
    return Forward ? member->passForward : member->passBackward;
}

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
    return passOf<Forward>(head)(bases.in, bases.out, head, head->workspace);
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
void offsetsOf(int64_t index, const DftDimension* dims, int32_t first, int32_t last,
               int32_t skip, Index* in, Index* out)
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

// One line of the member's length; contiguous lines skip the buffer.
int32_t lineTransform(const Complex* src, Index srcStride, Complex* dst, Index dstStride,
                      DftPassRoutine pass, DftDescriptor* member, void* workspace,
                      Complex* buffer)
{
    if (srcStride == 1 && dstStride == 1)
        return pass(src, dst, member, workspace);
    const Index n = member->passLength;
    for (Index i = 0; i < n; ++i)
        buffer[i] = src[i * srcStride];
    const int32_t status = pass(buffer, buffer, member, workspace);
    if (status != 0)
        return status;
    for (Index i = 0; i < n; ++i)
        dst[i * dstStride] = buffer[i];
    return 0;
}

// One transform. Rank 1 is one line and rank 2 one driver call; above that
// the driver runs on every plane of the first two dimensions, then the lines
// along each further dimension are transformed in place on the output.
template <bool Forward>
int32_t transformOne(DftDescriptor* head, const Complex* in, Complex* out, void* workspace,
                     Complex* buffer)
{
    if (head->rank == 1)
        return lineTransform(in, head->passInputStride, out, head->passOutputStride,
                             passOf<Forward>(head), head, workspace, buffer);
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
            const int32_t status = lineTransform(line, stride, line, stride,
                                                 passOf<Forward>(member), member, workspace,
                                                 buffer);
            if (status != 0)
                return status;
        }
    }
    return 0;
}

// Several transforms run one after another, at the batch distances.
template <bool Forward>
int32_t transformBatch(DftDescriptor* head, const DataBases& bases, void* workspace,
                       Complex* buffer)
{
    const bool inPlace = head->placement != DFT_NOT_INPLACE;
    const DftDimension* batch = head->workBatch.entries;
    Index inOffset = 0;
    Index outOffset = 0;
    for (int64_t t = 0, count = transformsInBatch(head); t < count; ++t) {
        offsetsOf(t, batch, 0, head->workBatch.count, -1, &inOffset, &outOffset);
        const int32_t status = transformOne<Forward>(head, bases.in + inOffset,
                                                     bases.out + (inPlace ? inOffset : outOffset),
                                                     workspace, buffer);
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

bool needsLineBuffer(const DftDescriptor* head)
{
    return head->rank >= 3 ||
           (head->rank == 1 && (head->passInputStride != 1 || head->passOutputStride != 1));
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
    Complex* buffer = nullptr;
    int32_t status = DFT_NO_ERROR;
    if (needsLineBuffer(head)) {
        buffer = static_cast<Complex*>(bufferAllocate(
            static_cast<size_t>(head->passMaxLength) * sizeof(Complex),
            head->variant->workspaceAlignment));
        if (buffer == nullptr)
            status = DFT_MEMORY_ERROR;
    }
    if (status == DFT_NO_ERROR) {
        status = transformBatch<Forward>(head, bases, workspace, buffer);
        bufferRelease(buffer);
    }
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

// ---- The method ---------------------------------------------------------

// A transform count below 1 describes no data: refused like a bad length.
bool batchIsValid(const DftDescriptor* head)
{
    for (int32_t i = 0; i < head->workBatch.count; ++i) {
        if (head->workBatch.entries[i].length < 1)
            return false;
    }
    return true;
}

// Both orderings are served in natural order, which is also a valid
// scrambled order.
[[nodiscard]] int32_t buildGeneral(const DftMethod* method, DftDescriptor* head)
{
    // Pass routines exist for interleaved double complex data only; separate
    // arrays, single precision and the real domain are not served here.
    if (head->precision != DFT_DOUBLE || head->domain != DFT_COMPLEX ||
        head->complexStorage != DFT_COMPLEX_COMPLEX)
        return DFT_UNIMPLEMENTED;
    if (!batchIsValid(head))
        return DFT_INVALID_CONFIGURATION;
    head->committedMethod = method;
    head->rank = head->workDimensions.count;
    head->workspaceSize = 0;
    int32_t status = buildMemberChain(head);
    if (status != DFT_NO_ERROR)
        return status;
    fillMemberGeometry(head);
    placeScales(head);
    copyConfiguration(head);
    setPathFlags(head);
    status = allocatePerThreadSlots(head);
    if (status != DFT_NO_ERROR)
        return status;
    if (head->rank >= 2)
        head->driver2D = head->placement == DFT_NOT_INPLACE ? driver2DOutOfPlace : driver2DInPlace;
    status = buildPlans(head);
    if (status == DFT_NO_ERROR)
        status = allocateWorkspace(head);
    if (status != DFT_NO_ERROR)
        return status;
    head->computeForward = chooseCompute<true>(head->flags);
    head->computeBackward = chooseCompute<false>(head->flags);
    head->dataArgumentCount = head->placement == DFT_NOT_INPLACE ? 2 : 1;
    head->commitStatus = DFT_COMMITTED;
    return DFT_NO_ERROR;
}

int32_t tryCommitGeneral(const DftMethod* method, DftDescriptor* head)
{
    head->releasePlan(head);
    const int32_t status = buildGeneral(method, head);
    // Whatever a failed build left behind is freed at once.
    if (status != DFT_NO_ERROR)
        head->releasePlan(head);
    return status;
}

// Plans, members, slots and the workspace belong to releasePlan; the method
// itself keeps no data beyond its routines.
int32_t releaseGeneral(const DftMethod* method, DftDescriptor* head)
{
    if (head->committedMethod != method)
        return DFT_INTERNAL_ERROR;
    head->methodData = nullptr;
    head->committedMethod = nullptr;
    head->computeForward = nullptr;
    head->computeBackward = nullptr;
    head->driver2D = nullptr;
    head->commitStatus = DFT_UNCOMMITTED;
    return DFT_NO_ERROR;
}

}  // namespace

const DftMethod generalMethod = {"general", tryCommitGeneral, releaseGeneral};
