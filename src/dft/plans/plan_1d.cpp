// One-dimensional plans: the choice of kind by length, the length limits, and
// the compute front that aligns the work buffer and stages rows through it.
#include "plan_1d.h"

#include <cstring>

namespace regviafft::dft {

namespace {

constexpr uint32_t kDescriptorPowerOfTwoLimit = 1u << 26;
constexpr uint32_t kDescriptorOtherLengthLimit = 1u << 24;
constexpr int64_t kPowerOfTwoLimit = int64_t{1} << (kFftMaxOrder + 1);
constexpr int64_t kFactorisedLimit = int64_t{1} << 26;
constexpr int64_t kChirpLimit = int64_t{1} << 25;

// Indexed by PlanKind.
const PlanKindOps* const kKindOps[] = {
    &codeletPlanOps, &fftPow2PlanOps, &mixedRadixPlanOps, &directPlanOps, &chirpPlanOps,
};

bool factors(int64_t length)
{
    RadixFactors unused;
    return length < kFactorisedLimit && factoriseMixedRadix(length, &unused);
}

// Rows of several lanes that no codelet transposes go through two staging
// areas of n interleaved vectors after the kind's work.
bool stagesRows(const DftPlan1D* plan)
{
    return plan->use.rows && plan->use.maxLanes > 1 && !planIsCodelet(plan);
}

// One group of rows: a codelet transposes them in registers; other kinds run
// on an interleaved copy in the staging areas.
int32_t computeRowGroup(const DftPlan1D* plan, bool forward, const PlanLines& rows, char* work)
{
    const LaneKernels* k = planLaneKernels(plan, rows.count);
    const int64_t n = plan->length;
    if (planIsCodelet(plan)) {
        k->rowCodelet[directionIndex(forward)][n](rows.src, rows.srcDist, rows.dst, rows.dstDist);
        return kPlanOk;
    }
    auto* staged = reinterpret_cast<Complex*>(work + roundUpToPlanAlignment(plan->kindWorkBytes));
    Complex* result = staged + n * rows.count;
    k->rowsToLanes(rows.src, rows.srcDist, n, staged);
    const PlanLines interleaved{staged, rows.count, result, rows.count, rows.count, false};
    const int32_t status = forward ? plan->ops->forward(plan, interleaved, work)
                                   : plan->ops->backward(plan, interleaved, work);
    if (status == kPlanOk)
        k->lanesToRows(result, n, rows.dst, rows.dstDist);
    return status;
}

// One group of interleaved sequences (a single row is one such sequence).
int32_t computeGroup(const DftPlan1D* plan, bool forward, const PlanLines& group, void* work)
{
    if (group.rows && group.count > 1)
        return computeRowGroup(plan, forward, group, static_cast<char*>(work));
    const PlanLines lines =
        group.rows ? PlanLines{group.src, 1, group.dst, 1, 1, false} : group;
    if (planIsCodelet(plan)) {
        planLaneKernels(plan, lines.count)->codelet[directionIndex(forward)][plan->length](
            lines.src, lines.srcDist, lines.dst, lines.dstDist);
        return kPlanOk;
    }
    return forward ? plan->ops->forward(plan, lines, work) : plan->ops->backward(plan, lines, work);
}

// The sequences from `first`, `count` of them.
PlanLines groupOf(const PlanLines& lines, int32_t first, int32_t count)
{
    const ptrdiff_t srcStep = lines.rows ? lines.srcDist : 1;
    const ptrdiff_t dstStep = lines.rows ? lines.dstDist : 1;
    return PlanLines{lines.src + first * srcStep, lines.srcDist, lines.dst + first * dstStep,
                     lines.dstDist, count, lines.rows};
}

}  // namespace

bool exceedsPlanLengthLimit(uint32_t length)
{
    return length > (isPowerOfTwo(length) ? kDescriptorPowerOfTwoLimit : kDescriptorOtherLengthLimit);
}

bool planLengthSupported(int64_t length)
{
    if (length < 1)
        return false;
    if (length <= kLargestCodelet)
        return true;
    if (isPowerOfTwo(static_cast<uint64_t>(length)))
        return length < kPowerOfTwoLimit;
    return factors(length) || length < kChirpLimit;
}

PlanKind choosePlanKind(int64_t length)
{
    if (length <= kLargestCodelet)
        return PlanKind::Codelet;
    // 32 is a power-of-two plan of order 5 whose compute is the 32-point codelet.
    if (isPowerOfTwo(static_cast<uint64_t>(length)))
        return PlanKind::FftPow2;
    if (factors(length))
        return PlanKind::MixedRadix;
    if (length <= kMaxDirectLength)
        return PlanKind::Direct;
    return PlanKind::Chirp;
}

int32_t planCreate(DftPlan1D** out, const KernelSet* kernels, int64_t length, PlanUse use)
{
    if (out != nullptr)
        *out = nullptr;
    if (!planLengthSupported(length))
        return kPlanBadLength;
    return planCreateOfKind(out, kernels, length, choosePlanKind(length), use);
}

int32_t planCreateOfKind(DftPlan1D** out, const KernelSet* kernels, int64_t length, PlanKind kind,
                         PlanUse use)
{
    if (out == nullptr || kernels == nullptr || length < 1 || laneKernels(kernels, use.maxLanes) == nullptr)
        return kPlanBadLength;
    *out = nullptr;
    auto* plan = static_cast<DftPlan1D*>(planAllocate(static_cast<int64_t>(sizeof(DftPlan1D))));
    if (plan == nullptr)
        return kPlanNoMemory;
    *plan = DftPlan1D{kind, length, false, 0, 0, kKindOps[static_cast<int>(kind)], kernels, use,
                      nullptr};
    // A failing create has already freed whatever tables it built.
    const int32_t status = plan->ops->create(plan);
    if (status != kPlanOk) {
        planRelease(plan);
        return status;
    }
    plan->workBytes = plan->kindWorkBytes;
    if (stagesRows(plan)) {
        plan->workBytes = static_cast<size_t>(roundUpToPlanAlignment(plan->kindWorkBytes)) +
                          2 * groupVectorBytes(plan, length);
    }
    if (plan->workBytes > 0)
        plan->workBytes += kPlanAlignment;  // room to align a caller's buffer
    *out = plan;
    return kPlanOk;
}

int32_t planCompute(const DftPlan1D* plan, bool forward, const PlanLines& lines, void* work)
{
    if (plan == nullptr || lines.src == nullptr || lines.dst == nullptr || lines.count < 1)
        return kPlanBadLength;
    void* ownWork = nullptr;
    if (work != nullptr) {
        work = reinterpret_cast<void*>(
            alignAddressUp(reinterpret_cast<uintptr_t>(work), kPlanAlignment));
    } else if (plan->workBytes > 0) {
        ownWork = planAllocate(static_cast<int64_t>(plan->workBytes));
        if (ownWork == nullptr)
            return kPlanNoMemory;
        work = ownWork;
    }
    int32_t status = kPlanOk;
    // Rows the plan was not made to stage go one at a time, as sequences.
    const int32_t widest = lines.rows && !stagesRows(plan) && !planIsCodelet(plan)
                               ? 1
                               : plan->use.maxLanes;
    for (int32_t first = 0, lanes = 0; status == kPlanOk && first < lines.count; first += lanes) {
        lanes = lanesFor(lines.count - first, widest);
        status = computeGroup(plan, forward, groupOf(lines, first, lanes), work);
    }
    planRelease(ownWork);
    return status;
}

int32_t planForward(const DftPlan1D* plan, const Complex* src, Complex* dst, void* work)
{
    return planCompute(plan, true, PlanLines{src, 1, dst, 1, 1, false}, work);
}

int32_t planBackward(const DftPlan1D* plan, const Complex* src, Complex* dst, void* work)
{
    return planCompute(plan, false, PlanLines{src, 1, dst, 1, 1, false}, work);
}

void planDestroy(DftPlan1D* plan)
{
    if (plan == nullptr)
        return;
    if (plan->ops != nullptr && plan->ops->release != nullptr)
        plan->ops->release(plan);
    planRelease(plan);
}

// Codelet plans, and the power-of-two plan of 32 points, are one codelet.
bool planIsCodelet(const DftPlan1D* plan)
{
    return plan->kind == PlanKind::Codelet ||
           (plan->kind == PlanKind::FftPow2 && plan->length == int64_t{1} << kFftMinOrder);
}

PlanUse fullPlanUse(const KernelSet* kernels)
{
    return PlanUse{kernels->widestLanes, true};
}

size_t groupVectorBytes(const DftPlan1D* plan, int64_t elements)
{
    return sizeof(Complex) * static_cast<size_t>(plan->use.maxLanes) *
           static_cast<size_t>(elements);
}

namespace {

template <int32_t Lanes>
void copyFixedLines(const Complex* src, ptrdiff_t srcDist, Complex* dst, ptrdiff_t dstDist,
                    int64_t n)
{
    for (int64_t i = 0; i < n; ++i)
        std::memcpy(dst + i * dstDist, src + i * srcDist, sizeof(Complex) * Lanes);
}

}  // namespace

// Lane counts are the driver's group widths: a copy of known size per
// element compiles to plain vector moves.
void copyLines(const Complex* src, ptrdiff_t srcDist, Complex* dst, ptrdiff_t dstDist, int64_t n,
               int32_t lanes)
{
    switch (lanes) {
    case 1:
        copyFixedLines<1>(src, srcDist, dst, dstDist, n);
        break;
    case 2:
        copyFixedLines<2>(src, srcDist, dst, dstDist, n);
        break;
    case 4:
        copyFixedLines<4>(src, srcDist, dst, dstDist, n);
        break;
    case 8:
        copyFixedLines<8>(src, srcDist, dst, dstDist, n);
        break;
    default:
        for (int64_t i = 0; i < n; ++i)
            std::memcpy(dst + i * dstDist, src + i * srcDist,
                        sizeof(Complex) * static_cast<size_t>(lanes));
    }
}

void scaleLines(const DftPlan1D* plan, const PlanLines& lines, double scale)
{
    const int64_t n = plan->length;
    if (lines.rows) {
        const LaneKernels* one = planLaneKernels(plan, 1);
        for (int32_t t = 0; t < lines.count; ++t)
            one->scale(lines.dst + t * lines.dstDist, 1, n, scale);
        return;
    }
    for (int32_t first = 0, lanes = 0; first < lines.count; first += lanes) {
        lanes = lanesFor(lines.count - first, plan->use.maxLanes);
        planLaneKernels(plan, lanes)->scale(lines.dst + first, lines.dstDist, n, scale);
    }
}

}  // namespace regviafft::dft
