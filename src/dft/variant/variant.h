// Processor variants: one table of constructors and kernels per processor class.
#ifndef REGVIAFFT_DFT_VARIANT_H
#define REGVIAFFT_DFT_VARIANT_H

#include <cstddef>
#include <cstdint>

#include "../plan_1d.h"

// Processor classes, as classified by the runtime services.
enum ProcessorClass : int32_t {
    kClassGeneric = 0,
    kClassSse2 = 2,
    kClassSse3 = 3,
    kClassSsse3 = 4,
    kClassSse42 = 5,
    kClassAvx = 6,
};

using DftConstructor = int32_t (*)(DftDescriptor** out, int32_t dimension,
                                   const int32_t* internalLengths);

struct VariantOps {
    const char* name;
    size_t workspaceAlignment;          // commit-time workspace and driver buffers
    DftConstructor doubleComplex;
    DftConstructor doubleReal;
    DftConstructor singleComplex;
    DftConstructor singleReal;
    const PlanKindOps* planKinds[5];    // indexed by PlanKind
};

// variant/generic.cpp
extern const VariantOps genericVariant;

// variant/select.cpp
const VariantOps* variantForClass(int32_t processorClass);
const VariantOps* activeVariant();  // decided once per process
const char* activeVariantName();

#endif
