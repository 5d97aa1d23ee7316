// Direct plans: the defining O(N^2) sum, for the odd primes too large for a
// codelet and too small to be worth a convolution (kernels/direct.inl).
#include <algorithm>

#include "plan_1d.h"

namespace regviafft::dft {

namespace {

int32_t directCreate(DftPlan1D* plan)
{
    const int64_t n = plan->length;
    if (n < 1 || n > kMaxDirectLength)
        return kPlanBadLength;
    auto* table = static_cast<Complex*>(
        planAllocate(std::max<int64_t>(directTableEntries(n), 1) * int64_t{sizeof(Complex)}));
    auto* roots = static_cast<Complex*>(planAllocate(n * int64_t{sizeof(Complex)}));
    if (table == nullptr || roots == nullptr) {
        planRelease(table);
        planRelease(roots);
        return kPlanNoMemory;
    }
    fillFullCircleRoots(roots, n);
    fillDirectTable(table, n, roots, 1);
    planRelease(roots);
    plan->kindData = table;
    // Room for the whole result, so that src == dst works.
    plan->kindWorkBytes = groupVectorBytes(plan, n);
    return kPlanOk;
}

template <bool Forward>
int32_t directCompute(const DftPlan1D* plan, const PlanLines& lines, void* work)
{
    const auto n = static_cast<int32_t>(plan->length);
    const bool inPlace = lines.src == lines.dst;
    Complex* out = inPlace ? static_cast<Complex*>(work) : lines.dst;
    const ptrdiff_t outDist = inPlace ? lines.count : lines.dstDist;
    planLaneKernels(plan, lines.count)->direct[directionIndex(Forward)](
        static_cast<const Complex*>(plan->kindData), n, lines.src, lines.srcDist, out, outDist);
    if (inPlace)
        copyLines(out, outDist, lines.dst, lines.dstDist, n, lines.count);
    return kPlanOk;
}

void directRelease(DftPlan1D* plan)
{
    planRelease(plan->kindData);
    plan->kindData = nullptr;
}

}  // namespace

const PlanKindOps directPlanOps = {
    "direct", directCreate, directCompute<true>, directCompute<false>, directRelease,
};

}  // namespace regviafft::dft
