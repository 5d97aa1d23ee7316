// The descriptor record and the public entry points: create, set value,
// commit, compute and free.
#include <cstdarg>
#include <cstring>

#include "descriptor.h"

namespace regviafft::dft {

namespace {

constexpr size_t kRecordAlignment = 16;
constexpr int32_t kNameLength = sizeof(DftDescriptor::name);
constexpr int32_t kMaxFurtherDataPointers = 3;
constexpr int32_t kForwardScrambled = 50;  // an ordering the engine does not offer

// ---- Record lifecycle ----------------------------------------------------

[[nodiscard]] bool allocateList(DftDimensionList* list, int32_t count)
{
    list->entries = static_cast<DftDimension*>(
        plainAllocateZeroed(static_cast<size_t>(count), sizeof(DftDimension), kRecordAlignment));
    list->count = list->entries != nullptr ? count : 0;
    return list->entries != nullptr;
}

void freeList(DftDimensionList* list)
{
    plainRelease(list->entries);
    list->entries = nullptr;
    list->count = 0;
}

// Members are unlinked before they are destroyed, so each one releases only
// its own plan and never walks back into the chain.
void destroyMembersAfter(DftDescriptor* d)
{
    DftDescriptor* member = d->next;
    d->next = nullptr;
    while (member != nullptr) {
        DftDescriptor* following = member->next;
        member->next = nullptr;
        member->previous = nullptr;
        member->destroy(member);
        member = following;
    }
}

void releasePlan(DftDescriptor* d)
{
    if (d->committedMethod != nullptr) {
        // Called on the owning method, so its ownership check cannot refuse.
        static_cast<void>(d->committedMethod->release(d->committedMethod, d));
        d->committedMethod = nullptr;
    }
    if (d->plan != nullptr) {
        planDestroy(d->plan);
        d->plan = nullptr;
    }
    destroyMembersAfter(d);
    plainRelease(d->workspace);
    d->workspace = nullptr;
    d->workspaceSize = 0;
    plainRelease(d->perThreadSlots);
    d->perThreadSlots = nullptr;
    d->computeForward = nullptr;
    d->computeBackward = nullptr;
    d->commitStatus = DFT_UNCOMMITTED;
    d->flags &= ~kFlagContiguous1D;
}

void destroy(DftDescriptor* d)
{
    d->releasePlan(d);
    freeList(&d->dimensions);
    freeList(&d->batch);
    freeList(&d->workDimensions);
    freeList(&d->workBatch);
    d->magic = 0;  // a stale handle to this block no longer looks valid
    plainRelease(d);
}

void storeDefaults(DftDescriptor* d, int32_t precision, int32_t domain, int32_t dimension,
                   const int32_t* lengths)
{
    d->magic = kDescriptorMagic;
    d->commitStatus = DFT_UNCOMMITTED;
    d->domain = domain;
    d->precision = precision;
    d->dimension = dimension;
    d->transformCount = 1;
    d->complexStorage = DFT_COMPLEX_COMPLEX;
    d->realStorage = DFT_REAL_REAL;
    d->conjugateEvenStorage = DFT_COMPLEX_REAL;
    d->placement = DFT_INPLACE;
    d->packedFormat = DFT_CCS_FORMAT;
    d->ordering = DFT_ORDERED;
    d->transpose = DFT_NONE;
    d->forwardScale = 1.0;
    d->backwardScale = 1.0;
    d->userThreads = 1;
    d->threads = 1;
    // Dense row-major defaults; unsigned so that a huge product wraps, not traps.
    uint32_t stride = 1;
    for (int32_t k = 0; k < dimension; ++k) {
        const int32_t s = static_cast<int32_t>(stride);
        d->dimensions.entries[k] = DftDimension{lengths[k], s, s};
        stride *= static_cast<uint32_t>(lengths[k]);
    }
    d->batch.entries[0] = DftDimension{1, 0, 0};
    std::memcpy(d->workDimensions.entries, d->dimensions.entries,
                static_cast<size_t>(dimension) * sizeof(DftDimension));
    d->workBatch.entries[0] = d->batch.entries[0];
}

// ---- Configuration operations of the method table ---------------------------

// Stride arrays are the caller's: offset first, then the slowest dimension.
void readStrides(const DftDescriptor* d, int32_t offset, int32_t DftDimension::*field,
                 int32_t* out)
{
    out[0] = offset;
    for (int32_t k = 0; k < d->dimension; ++k)
        out[1 + k] = d->dimensions.entries[d->dimension - 1 - k].*field;
}

int32_t writeStrides(DftDescriptor* d, int32_t* offset, int32_t DftDimension::*field,
                     const int32_t* strides)
{
    // A missing array is a value the parameter does not accept; nothing changes.
    if (strides == nullptr)
        return DFT_INCONSISTENT_CONFIGURATION;
    d->releasePlan(d);
    *offset = strides[0];
    for (int32_t k = 0; k < d->dimension; ++k)
        d->dimensions.entries[d->dimension - 1 - k].*field = strides[1 + k];
    return DFT_NO_ERROR;
}

int32_t getInputStrides(DftDescriptor* d, int32_t* out)
{
    readStrides(d, d->inputOffset, &DftDimension::inputStride, out);
    return DFT_NO_ERROR;
}

int32_t getOutputStrides(DftDescriptor* d, int32_t* out)
{
    readStrides(d, d->outputOffset, &DftDimension::outputStride, out);
    return DFT_NO_ERROR;
}

int32_t setInputStrides(DftDescriptor* d, const int32_t* strides)
{
    return writeStrides(d, &d->inputOffset, &DftDimension::inputStride, strides);
}

int32_t setOutputStrides(DftDescriptor* d, const int32_t* strides)
{
    return writeStrides(d, &d->outputOffset, &DftDimension::outputStride, strides);
}

int32_t getLengths(DftDescriptor* d, int32_t* out)
{
    for (int32_t k = 0; k < d->dimension; ++k)
        out[k] = d->dimensions.entries[d->dimension - 1 - k].length;
    return DFT_NO_ERROR;
}

// Exactly the 10 stored bytes, unterminated like the field itself.
int32_t getName(DftDescriptor* d, char* out)
{
    std::memcpy(out, d->name, kNameLength);
    return DFT_NO_ERROR;
}

int32_t setName(DftDescriptor* d, const char* name)
{
    // A missing string is refused like any value the parameter does not accept.
    if (name == nullptr)
        return DFT_INCONSISTENT_CONFIGURATION;
    int32_t i = 0;
    for (; i < kNameLength && name[i] != '\0'; ++i)
        d->name[i] = name[i];
    for (; i < kNameLength; ++i)
        d->name[i] = '\0';
    return DFT_NO_ERROR;
}

double* scaleField(DftDescriptor* d, int32_t which)
{
    if (which == DFT_FORWARD_SCALE)
        return &d->forwardScale;
    return which == DFT_BACKWARD_SCALE ? &d->backwardScale : nullptr;
}

int32_t getScale(DftDescriptor* d, int32_t which, double* out)
{
    const double* field = scaleField(d, which);
    if (field == nullptr)
        return DFT_INCONSISTENT_CONFIGURATION;
    *out = *field;
    return DFT_NO_ERROR;
}

// An equal scale keeps the commit; a different one, or a NaN on either side
// (never equal), releases the prepared data first.
int32_t setScale(DftDescriptor* d, int32_t which, double value)
{
    double* field = scaleField(d, which);
    if (field == nullptr)
        return DFT_INCONSISTENT_CONFIGURATION;
    if (!(value == *field))
        d->releasePlan(d);
    *field = value;
    return DFT_NO_ERROR;
}

// Copying would have to duplicate a committed chain and its plans; nothing
// in the program copies a descriptor.
int32_t copyDescriptor(DftDescriptor*, DftDescriptor**)
{
    return DFT_UNIMPLEMENTED;
}

int32_t getInputDistance(DftDescriptor* d, int32_t* out)
{
    *out = d->inputDistance;
    return DFT_NO_ERROR;
}

int32_t getOutputDistance(DftDescriptor* d, int32_t* out)
{
    *out = d->outputDistance;
    return DFT_NO_ERROR;
}

int32_t getNumberOfTransforms(DftDescriptor* d, int32_t* out)
{
    *out = d->transformCount;
    return DFT_NO_ERROR;
}

int32_t setInputDistance(DftDescriptor* d, int32_t distance)
{
    d->batch.entries[0].inputStride = distance;
    d->inputDistance = distance;
    return DFT_NO_ERROR;
}

int32_t setOutputDistance(DftDescriptor* d, int32_t distance)
{
    d->batch.entries[0].outputStride = distance;
    d->outputDistance = distance;
    return DFT_NO_ERROR;
}

int32_t setNumberOfTransforms(DftDescriptor* d, int32_t count)
{
    d->batch.entries[0].length = count;
    d->transformCount = count;
    return DFT_NO_ERROR;
}

const DftMethodTable kMethodTable = {
    commitDescriptor,  commitWorkingDescriptor, getInputStrides,   getOutputStrides,
    setInputStrides,   setOutputStrides,        getLengths,        getName,
    setName,           getScale,                setScale,          copyDescriptor,
    getInputDistance,  getOutputDistance,       getNumberOfTransforms,
    setInputDistance,  setOutputDistance,       setNumberOfTransforms,
};

// ---- Set value: parameters that make the descriptor uncommitted ------------

// A parameter with a fixed set of values; 0 ends each list (no value is 0).
struct EnumeratedParameter {
    int32_t parameter;
    int32_t DftDescriptor::*field;
    int32_t accepted[4];
    int32_t unimplemented[2];
};

const EnumeratedParameter kEnumeratedParameters[] = {
    {DFT_COMPLEX_STORAGE, &DftDescriptor::complexStorage, {DFT_COMPLEX_COMPLEX, DFT_REAL_REAL},
     {DFT_COMPLEX_REAL, DFT_REAL_COMPLEX}},
    {DFT_REAL_STORAGE, &DftDescriptor::realStorage, {DFT_REAL_REAL}, {DFT_REAL_COMPLEX}},
    {DFT_CONJUGATE_EVEN_STORAGE, &DftDescriptor::conjugateEvenStorage,
     {DFT_COMPLEX_COMPLEX, DFT_COMPLEX_REAL}, {DFT_REAL_COMPLEX, DFT_REAL_REAL}},
    {DFT_PLACEMENT, &DftDescriptor::placement, {DFT_INPLACE, DFT_NOT_INPLACE}, {}},
    {DFT_ORDERING, &DftDescriptor::ordering, {DFT_ORDERED, DFT_BACKWARD_SCRAMBLED},
     {kForwardScrambled}},
    {DFT_PACKED_FORMAT, &DftDescriptor::packedFormat,
     {DFT_CCS_FORMAT, DFT_PACK_FORMAT, DFT_PERM_FORMAT, DFT_CCE_FORMAT}, {}},
};

template <size_t N>
bool listed(const int32_t (&values)[N], int32_t value)
{
    for (int32_t v : values) {
        if (v != 0 && v == value)
            return true;
    }
    return false;
}

// The head and every member of a split transform carry the same setting.
void storeInChain(DftDescriptor* d, int32_t DftDescriptor::*field, int32_t value)
{
    for (DftDescriptor* m = d; m != nullptr; m = m->next)
        m->*field = value;
}

int32_t setEnumerated(DftDescriptor* d, const EnumeratedParameter& p, int32_t value)
{
    if (listed(p.unimplemented, value))
        return DFT_UNIMPLEMENTED;
    if (!listed(p.accepted, value))
        return DFT_INCONSISTENT_CONFIGURATION;
    storeInChain(d, p.field, value);
    if (p.parameter == DFT_CONJUGATE_EVEN_STORAGE && value == DFT_COMPLEX_COMPLEX)
        storeInChain(d, &DftDescriptor::packedFormat, DFT_CCE_FORMAT);
    // Stored even so: the real domain has no backward-scrambled transform.
    if (p.parameter == DFT_ORDERING && value == DFT_BACKWARD_SCRAMBLED && d->domain == DFT_REAL)
        return DFT_UNIMPLEMENTED;
    return DFT_NO_ERROR;
}

int32_t setUncommitting(DftDescriptor* d, int32_t parameter, va_list args)
{
    makeUncommitted(d);
    for (const EnumeratedParameter& p : kEnumeratedParameters) {
        if (p.parameter == parameter)
            return setEnumerated(d, p, va_arg(args, int32_t));
    }
    switch (parameter) {
    case DFT_NUMBER_OF_TRANSFORMS:
        return d->methods->setNumberOfTransforms(d, va_arg(args, int32_t));
    case DFT_INPUT_DISTANCE:
        return d->methods->setInputDistance(d, va_arg(args, int32_t));
    case DFT_OUTPUT_DISTANCE:
        return d->methods->setOutputDistance(d, va_arg(args, int32_t));
    case DFT_NUMBER_OF_USER_THREADS:
        storeInChain(d, &DftDescriptor::userThreads, va_arg(args, int32_t));
        return DFT_NO_ERROR;
    case DFT_WORKSPACE:
        return DFT_NO_ERROR;
    case DFT_FORWARD_SIGN:
    case DFT_INITIALIZATION_EFFORT:
    case DFT_FORWARD_ORDERING:
    case DFT_BACKWARD_ORDERING:
        return DFT_UNIMPLEMENTED;
    default:  // fixed at create, or read only
        return DFT_INCONSISTENT_CONFIGURATION;
    }
}

// ---- Create, compute ------------------------------------------------------

// Shared first steps of every create form; the handle is null from here on.
int32_t startCreate(DFT_DESCRIPTOR_HANDLE* handle, int32_t dimension)
{
    if (handle == nullptr)
        return DFT_INCONSISTENT_CONFIGURATION;
    *handle = nullptr;
    if (dimension < 1 || dimension > kMaxDimension)
        return DFT_INVALID_CONFIGURATION;
    return DFT_NO_ERROR;
}

// Internal entry 0 is the caller's last length. A missing array is refused
// like a bad length.
int32_t reverseLengths(const int32_t* callerLengths, int32_t dimension, int32_t* internal)
{
    if (callerLengths == nullptr)
        return DFT_INVALID_CONFIGURATION;
    for (int32_t k = 0; k < dimension; ++k)
        internal[k] = callerLengths[dimension - 1 - k];
    return DFT_NO_ERROR;
}

int32_t finishCreate(DFT_DESCRIPTOR_HANDLE* handle, int32_t precision, int32_t domain,
                     int32_t dimension, const int32_t* internalLengths)
{
    if ((precision != DFT_DOUBLE && precision != DFT_SINGLE) ||
        (domain != DFT_COMPLEX && domain != DFT_REAL))
        return DFT_INVALID_CONFIGURATION;
    const int32_t status =
        constructDescriptor(handle, activeVariant(), precision, domain, dimension, internalLengths);
    if (status == DFT_NO_ERROR)
        fillSequentialThreadServices(sharedThreadServices());
    return status;
}

int32_t createFromArray(DFT_DESCRIPTOR_HANDLE* handle, int32_t precision, int32_t domain,
                        int32_t dimension, const int32_t* lengths)
{
    int32_t status = startCreate(handle, dimension);
    int32_t internal[kMaxDimension];
    if (status == DFT_NO_ERROR)
        status = reverseLengths(lengths, dimension, internal);
    if (status != DFT_NO_ERROR)
        return status;
    return finishCreate(handle, precision, domain, dimension, internal);
}

// Reads as many further data pointers as the committed routine takes; the
// rest are passed on as null.
int32_t compute(DftDescriptor* d, bool forward, void* data, va_list args)
{
    if (!isDescriptor(d))
        return DFT_BAD_DESCRIPTOR;
    const DftComputeRoutine routine = forward ? d->computeForward : d->computeBackward;
    if (routine == nullptr)
        return DFT_INVALID_CONFIGURATION;
    void* further[kMaxFurtherDataPointers] = {};
    for (int32_t i = 0; i < d->dataArgumentCount - 1 && i < kMaxFurtherDataPointers; ++i)
        further[i] = va_arg(args, void*);
    return routine(d, data, further[0], further[1], further[2]);
}

}  // namespace

bool isDescriptor(const DftDescriptor* d)
{
    return d != nullptr && d->magic == kDescriptorMagic;
}

void makeUncommitted(DftDescriptor* d)
{
    d->computeForward = nullptr;
    d->computeBackward = nullptr;
    d->flags &= ~kFlagContiguous1D;
    d->commitStatus = DFT_UNCOMMITTED;
}

// Only a length of exactly 0 is refused here: compared as unsigned numbers,
// negative lengths are large, not small.
int32_t constructDescriptor(DftDescriptor** out, const ProcessorVariant* variant,
                            int32_t precision, int32_t domain, int32_t dimension,
                            const int32_t* internalLengths)
{
    for (int32_t k = 0; k < dimension; ++k) {
        if (internalLengths[k] == 0)
            return DFT_INVALID_CONFIGURATION;
    }
    auto* d = static_cast<DftDescriptor*>(
        plainAllocateZeroed(1, sizeof(DftDescriptor), kRecordAlignment));
    if (d == nullptr)
        return DFT_MEMORY_ERROR;
    d->releasePlan = releasePlan;
    d->destroy = destroy;
    d->methods = &kMethodTable;
    d->threadServices = sharedThreadServices();
    d->variant = variant;
    if (!allocateList(&d->dimensions, dimension) || !allocateList(&d->batch, 1) ||
        !allocateList(&d->workDimensions, dimension) || !allocateList(&d->workBatch, 1)) {
        d->destroy(d);
        return DFT_MEMORY_ERROR;
    }
    storeDefaults(d, precision, domain, dimension, internalLengths);
    d->methodList = variantMethods(variant, precision, domain);
    fillCacheSizeService(d->threadServices);
    *out = d;
    return DFT_NO_ERROR;
}

}  // namespace regviafft::dft

// ---- Public entry points ---------------------------------------------------

namespace dft = regviafft::dft;

int32_t DftCreateDescriptor(DFT_DESCRIPTOR_HANDLE* handle, int32_t precision, int32_t domain,
                            int32_t dimension, ...)
{
    va_list args;
    va_start(args, dimension);
    int32_t status = dft::startCreate(handle, dimension);
    int32_t internal[dft::kMaxDimension];
    if (status == DFT_NO_ERROR && dimension == 1) {
        internal[0] = va_arg(args, int32_t);
        if (internal[0] < 1)
            status = DFT_INVALID_CONFIGURATION;
    } else if (status == DFT_NO_ERROR) {
        status = dft::reverseLengths(va_arg(args, const int32_t*), dimension, internal);
    }
    va_end(args);
    if (status != DFT_NO_ERROR)
        return status;
    return dft::finishCreate(handle, precision, domain, dimension, internal);
}

int32_t DftCreateDescriptor_s_md(DFT_DESCRIPTOR_HANDLE* handle, int32_t domain, int32_t dimension,
                                 const int32_t* lengths)
{
    return dft::createFromArray(handle, DFT_SINGLE, domain, dimension, lengths);
}

int32_t DftCreateDescriptor_d_md(DFT_DESCRIPTOR_HANDLE* handle, int32_t domain, int32_t dimension,
                                 const int32_t* lengths)
{
    return dft::createFromArray(handle, DFT_DOUBLE, domain, dimension, lengths);
}

int32_t DftSetValue(DFT_DESCRIPTOR_HANDLE d, int32_t parameter, ...)
{
    if (!dft::isDescriptor(d))
        return DFT_BAD_DESCRIPTOR;
    // Negative numbers are no parameter either.
    if (parameter < 0 || parameter > dft::kLastParameter)
        return DFT_INCONSISTENT_CONFIGURATION;
    va_list args;
    va_start(args, parameter);
    int32_t status;
    switch (parameter) {
    case DFT_FORWARD_SCALE:
    case DFT_BACKWARD_SCALE:
        status = d->methods->setScale(d, parameter, va_arg(args, double));
        break;
    case DFT_INPUT_STRIDES:
        status = d->methods->setInputStrides(d, va_arg(args, const int32_t*));
        break;
    case DFT_OUTPUT_STRIDES:
        status = d->methods->setOutputStrides(d, va_arg(args, const int32_t*));
        break;
    case DFT_DESCRIPTOR_NAME:
        status = d->methods->setName(d, va_arg(args, const char*));
        break;
    default:
        status = dft::setUncommitting(d, parameter, args);
        break;
    }
    va_end(args);
    return status;
}

// A table without a commit operation is an engine fault, not a caller's.
int32_t DftCommitDescriptor(DFT_DESCRIPTOR_HANDLE d)
{
    if (!dft::isDescriptor(d))
        return DFT_BAD_DESCRIPTOR;
    if (d->methods == nullptr || d->methods->commit == nullptr)
        return DFT_INTERNAL_ERROR;
    return d->methods->commit(d);
}

int32_t DftComputeForward(DFT_DESCRIPTOR_HANDLE d, void* data, ...)
{
    va_list args;
    va_start(args, data);
    const int32_t status = dft::compute(d, true, data, args);
    va_end(args);
    return status;
}

int32_t DftComputeBackward(DFT_DESCRIPTOR_HANDLE d, void* data, ...)
{
    va_list args;
    va_start(args, data);
    const int32_t status = dft::compute(d, false, data, args);
    va_end(args);
    return status;
}

int32_t DftFreeDescriptor(DFT_DESCRIPTOR_HANDLE* handle)
{
    if (handle == nullptr)
        return DFT_INCONSISTENT_CONFIGURATION;
    if (!dft::isDescriptor(*handle))
        return DFT_BAD_DESCRIPTOR;
    (*handle)->destroy(*handle);
    *handle = nullptr;
    return DFT_NO_ERROR;
}
