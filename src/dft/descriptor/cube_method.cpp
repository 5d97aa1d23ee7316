// The method for small cubes: a three-dimensional transform of n x n x n
// points, n below 11, dense and unscaled, as three passes of n-point codelets
// with no plan, no table and no workspace. The variants from SSE3 on try it
// before the general method; it does not apply to anything else.
#include "descriptor.h"

namespace regviafft::dft {

namespace {

constexpr int32_t kLargestCubeLength = 10;

bool isDense(const DftDimension* dims, int32_t n)
{
    const int32_t expected[3] = {1, n, n * n};
    for (int32_t k = 0; k < 3; ++k) {
        if (dims[k].length != n || dims[k].inputStride != expected[k] ||
            dims[k].outputStride != expected[k])
            return false;
    }
    return true;
}

// The side is checked before anything is computed with it: the lengths are
// still the caller's, negative or beyond every limit.
bool applies(const DftDescriptor* d)
{
    if (d->precision != DFT_DOUBLE || d->domain != DFT_COMPLEX ||
        d->complexStorage != DFT_COMPLEX_COMPLEX || d->workDimensions.count != 3)
        return false;
    const int32_t n = d->workDimensions.entries[0].length;
    return n >= 1 && n <= kLargestCubeLength && isDense(d->workDimensions.entries, n) &&
           transformsInBatch(d) == 1 && d->forwardScale == 1.0 && d->backwardScale == 1.0;
}

// Lines along the contiguous axis are the n*n rows of the cube, taken side
// by side; a single row is a plain sequence.
void rowPass(const KernelSet* set, int d, int64_t n, const Complex* in, Complex* out)
{
    for (int64_t r = 0, lanes = 0; r < n * n; r += lanes) {
        lanes = lanesFor(n * n - r, set->widestLanes);
        const LaneKernels* k = laneKernels(set, static_cast<int32_t>(lanes));
        if (lanes == 1)
            k->codelet[d][n](in + r * n, 1, out + r * n, 1);
        else
            k->rowCodelet[d][n](in + r * n, n, out + r * n, n);
    }
}

// Lines along an axis of stride n or n*n: `count` neighbouring lines start at
// each of `groups` offsets `groupStep` apart.
void interleavedPass(const KernelSet* set, int d, int64_t n, int64_t stride, int64_t groups,
                     int64_t groupStep, int64_t count, Complex* data)
{
    for (int64_t g = 0; g < groups; ++g) {
        Complex* first = data + g * groupStep;
        for (int64_t c = 0, lanes = 0; c < count; c += lanes) {
            lanes = lanesFor(count - c, set->widestLanes);
            laneKernels(set, static_cast<int32_t>(lanes))
                ->codelet[d][n](first + c, stride, first + c, stride);
        }
    }
}

template <bool Forward>
int32_t computeCube(DftDescriptor* d, void* first, void* second, void*, void*)
{
    DataBases bases;
    if (!resolveBases(d, first, second, &bases))
        return DFT_INCONSISTENT_CONFIGURATION;
    const KernelSet* set = variantKernels(d->variant);
    const int direction = directionIndex(Forward);
    const int64_t n = d->workDimensions.entries[0].length;
    rowPass(set, direction, n, bases.in, bases.out);
    interleavedPass(set, direction, n, n, n, n * n, n, bases.out);
    interleavedPass(set, direction, n, n * n, 1, 0, n * n, bases.out);
    return DFT_NO_ERROR;
}

int32_t tryCommitCube(const DftMethod* method, DftDescriptor* d)
{
    if (!applies(d))
        return kMethodDoesNotApply;
    d->releasePlan(d);
    d->committedMethod = method;
    d->rank = 3;
    d->computeForward = computeCube<true>;
    d->computeBackward = computeCube<false>;
    d->dataArgumentCount = d->placement == DFT_NOT_INPLACE ? 2 : 1;
    d->commitStatus = DFT_COMMITTED;
    return DFT_NO_ERROR;
}

}  // namespace

const DftMethod cubeMethod = {"cube", tryCommitCube, releaseMethodWithoutData};

}  // namespace regviafft::dft
