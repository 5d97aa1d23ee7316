// The generic processor variant: portable kernels, the reference every other
// variant is tested against.
#include "../engine.h"
#include "variant.h"

namespace {

const DftMethod* const kDoubleComplexMethods[] = {
    &splitStorage1DMethod, &splitStorage2DMethod, &splitStorageNDMethod, &generalMethod, nullptr,
};

// The program transforms double-precision complex data only; single precision
// and the real domain have no method, so their commit is DFT_UNIMPLEMENTED.
const DftMethod* const kNoMethods[] = {nullptr};

int32_t construct(DftDescriptor** out, int32_t precision, int32_t domain, int32_t dimension,
                  const int32_t* internalLengths, const DftMethod* const* methods)
{
    const int32_t status =
        constructDescriptor(out, &genericVariant, precision, domain, dimension, internalLengths);
    if (status == DFT_NO_ERROR)
        (*out)->methodList = methods;
    return status;
}

int32_t doubleComplex(DftDescriptor** out, int32_t dimension, const int32_t* lengths)
{
    return construct(out, DFT_DOUBLE, DFT_COMPLEX, dimension, lengths, kDoubleComplexMethods);
}

int32_t doubleReal(DftDescriptor** out, int32_t dimension, const int32_t* lengths)
{
    return construct(out, DFT_DOUBLE, DFT_REAL, dimension, lengths, kNoMethods);
}

int32_t singleComplex(DftDescriptor** out, int32_t dimension, const int32_t* lengths)
{
    return construct(out, DFT_SINGLE, DFT_COMPLEX, dimension, lengths, kNoMethods);
}

int32_t singleReal(DftDescriptor** out, int32_t dimension, const int32_t* lengths)
{
    return construct(out, DFT_SINGLE, DFT_REAL, dimension, lengths, kNoMethods);
}

}  // namespace

const VariantOps genericVariant = {
    "generic",
    16,
    doubleComplex,
    doubleReal,
    singleComplex,
    singleReal,
    {&codeletPlanOps, &fftPow2PlanOps, &mixedRadixPlanOps, &directPlanOps, &chirpPlanOps},
};
