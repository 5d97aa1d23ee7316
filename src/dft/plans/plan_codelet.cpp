// Codelet plans: lengths 1 to 16, one fixed-size kernel per length and
// direction, with no tables and no work buffer.
#include "plan_1d.h"

namespace regviafft::dft {

namespace {

int32_t createCodelet(DftPlan1D* plan)
{
    if (plan->length < 1 || plan->length > kLargestCodelet)
        return kPlanBadLength;
    plan->kindData = nullptr;
    plan->kindWorkBytes = 0;
    return kPlanOk;
}

template <bool Forward>
int32_t computeCodelet(const DftPlan1D* plan, const PlanLines& lines, void*)
{
    const CodeletKernel codelet =
        planLaneKernels(plan, lines.count)->codelet[directionIndex(Forward)][plan->length];
    codelet(lines.src, lines.srcDist, lines.dst, lines.dstDist);
    return kPlanOk;
}

void releaseCodelet(DftPlan1D* plan)
{
    plan->kindData = nullptr;
}

}  // namespace

const PlanKindOps codeletPlanOps = {
    "codelet", createCodelet, computeCodelet<true>, computeCodelet<false>, releaseCodelet,
};

}  // namespace regviafft::dft
