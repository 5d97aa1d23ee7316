// The general method's commit: a complex transform of any rank as a chain of
// one-dimensional members, one per working dimension, each with its own plan
// and pass routines (general_compute.cpp runs them).
#include <atomic>
#include <cstdint>
#include <new>

#include "descriptor.h"

namespace regviafft::dft {

namespace {

// More user threads than this is taken for a configuration mistake: each one
// costs a workspace share and a slot.
constexpr int32_t kMaxUserThreads = 1024;

int32_t floorLog2(uint32_t n)
{
    int32_t log = 0;
    while (n > 1) {
        n >>= 1;
        ++log;
    }
    return log;
}

// The one place a plan failure becomes a public status: memory, or else a
// fault of the engine's own.
[[nodiscard]] int32_t planStatusToDft(int32_t planStatus)
{
    if (planStatus == kPlanOk)
        return DFT_NO_ERROR;
    return planStatus == kPlanNoMemory ? DFT_MEMORY_ERROR : DFT_INTERNAL_ERROR;
}

// ---- Commit steps -------------------------------------------------------

// One member per working dimension after the first, linked behind the head.
[[nodiscard]] int32_t buildMemberChain(DftDescriptor* head)
{
    DftDescriptor* last = head;
    for (int32_t d = 1; d < head->rank; ++d) {
        if (last->next != nullptr)
            return DFT_INTERNAL_ERROR;
        const DftDimension& dim = head->workDimensions.entries[d];
        DftDescriptor* member = nullptr;
        const int32_t status = constructDescriptor(&member, head->variant, head->precision,
                                                   head->domain, 1, &dim.length);
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

// How the drivers call a member's plan: the rows of a plane side by side and
// its columns in groups of the widest vector; every other line on its own.
PlanUse memberUse(const DftDescriptor* head, const DftDescriptor* member)
{
    const int32_t widest = variantKernels(head->variant)->widestLanes;
    if (head->rank >= 2 && member == head)
        return PlanUse{widest, true};
    if (head->rank >= 2 && member == head->next)
        return PlanUse{widest, false};
    return PlanUse{1, false};
}

// Member by member: a later member's length is checked only once the
// earlier members' plans are built.
[[nodiscard]] int32_t buildPlans(DftDescriptor* head)
{
    for (DftDescriptor* m = head; m != nullptr; m = m->next) {
        m->passForward = passRoutine(true, m->passForwardScale != 1.0);
        m->passBackward = passRoutine(false, m->passBackwardScale != 1.0);
        if (exceedsPlanLengthLimit(static_cast<uint32_t>(m->passLength)))
            return DFT_1D_LENGTH_EXCEEDS_INT32;
        const int32_t status =
            planCreate(&m->plan, variantKernels(head->variant), m->passLength, memberUse(head, m));
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
    head->computeForward = generalComputeRoutine(true, head->flags);
    head->computeBackward = generalComputeRoutine(false, head->flags);
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

int64_t transformsInBatch(const DftDescriptor* d)
{
    int64_t count = 1;
    for (int32_t i = 0; i < d->workBatch.count; ++i)
        count *= d->workBatch.entries[i].length;
    return count;
}

const DftMethod generalMethod = {"general", tryCommitGeneral, releaseGeneral};

}  // namespace regviafft::dft
