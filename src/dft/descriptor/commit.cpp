// Commit: normalise the working lists, copy the pass fields, then try the
// candidate methods in order. Also the candidates for separate real and
// imaginary arrays, which this engine recognises but does not implement.
#include <cstring>

#include "descriptor.h"

namespace regviafft::dft {

namespace {

void copyList(DftDimensionList* to, const DftDimensionList& from)
{
    to->count = from.count;
    std::memcpy(to->entries, from.entries, static_cast<size_t>(from.count) * sizeof(DftDimension));
}

// Products wrap instead of overflowing: a count this large is refused later.
int32_t wrappingProduct(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

bool isContiguous(const DftDimension& inner, const DftDimension& outer)
{
    return int64_t{inner.length} * inner.inputStride == outer.inputStride &&
           int64_t{inner.length} * inner.outputStride == outer.outputStride;
}

int32_t threadsFromServices(const DftThreadServices* services)
{
    if (services == nullptr || services->maxThreadsForTransform == nullptr)
        return 1;
    return services->maxThreadsForTransform();
}

int32_t trySplitStorage(const DftMethod*, DftDescriptor* d)
{
    return d->complexStorage == DFT_REAL_REAL ? DFT_UNIMPLEMENTED : kMethodDoesNotApply;
}

}  // namespace

int32_t releaseMethodWithoutData(const DftMethod* method, DftDescriptor* d)
{
    if (d->committedMethod != method)
        return DFT_INTERNAL_ERROR;
    d->computeForward = nullptr;
    d->computeBackward = nullptr;
    d->commitStatus = DFT_UNCOMMITTED;
    return DFT_NO_ERROR;
}

const DftMethod splitStorage1DMethod = {"split storage 1-D", trySplitStorage,
                                        releaseMethodWithoutData};
const DftMethod splitStorage2DMethod = {"split storage 2-D", trySplitStorage,
                                        releaseMethodWithoutData};
const DftMethod splitStorageNDMethod = {"split storage N-D", trySplitStorage,
                                        releaseMethodWithoutData};

// Adjacent exchanges only, and only on a strictly greater stride, so entries
// with equal strides keep their order.
void sortByInputStride(DftDimensionList* list)
{
    DftDimension* e = list->entries;
    for (int32_t end = list->count - 1; end > 0; --end) {
        for (int32_t i = 0; i < end; ++i) {
            if (e[i].inputStride > e[i + 1].inputStride) {
                const DftDimension t = e[i];
                e[i] = e[i + 1];
                e[i + 1] = t;
            }
        }
    }
}

// When every length is 1 the first entry stays: after the sort it has the
// smallest stride.
void removeUnitLengths(DftDimensionList* list)
{
    int32_t kept = 0;
    for (int32_t i = 0; i < list->count; ++i) {
        if (list->entries[i].length != 1)
            list->entries[kept++] = list->entries[i];
    }
    if (kept == 0 && list->count > 0)
        kept = 1;
    list->count = kept;
}

// Merges each entry with its outer neighbour while the two describe one
// evenly spaced run; the merged entry keeps the inner distances.
void mergeContiguousBatch(DftDimensionList* list)
{
    DftDimension* e = list->entries;
    int32_t i = 0;
    while (i + 1 < list->count) {
        if (!isContiguous(e[i], e[i + 1])) {
            ++i;
            continue;
        }
        e[i].length = wrappingProduct(e[i].length, e[i + 1].length);
        for (int32_t j = i + 1; j + 1 < list->count; ++j)
            e[j] = e[j + 1];
        --list->count;
    }
}

int32_t commitDescriptor(DftDescriptor* d)
{
    copyList(&d->workDimensions, d->dimensions);
    copyList(&d->workBatch, d->batch);
    if (d->domain == DFT_COMPLEX) {
        if (d->placement == DFT_INPLACE) {
            DftDimension* e = d->workDimensions.entries;
            for (int32_t k = 0; k < d->workDimensions.count; ++k)
                e[k].outputStride = e[k].inputStride;
        }
        sortByInputStride(&d->workDimensions);
        removeUnitLengths(&d->workDimensions);
        sortByInputStride(&d->workBatch);
        removeUnitLengths(&d->workBatch);
        mergeContiguousBatch(&d->workBatch);
    }
    return commitWorkingDescriptor(d);
}

int32_t commitWorkingDescriptor(DftDescriptor* d)
{
    const DftDimension& first = d->workDimensions.entries[0];
    const DftDimension& batch = d->workBatch.entries[0];
    d->rank = d->workDimensions.count;
    d->passLength = first.length;
    d->passInputStride = first.inputStride;
    d->passOutputStride = first.outputStride;
    d->passCount = batch.length;
    d->passInputDistance = batch.inputStride;
    d->passOutputDistance = batch.outputStride;
    d->passForwardScale = d->forwardScale;
    d->passBackwardScale = d->backwardScale;
    d->passForwardScaleF = static_cast<float>(d->forwardScale);
    d->passBackwardScaleF = static_cast<float>(d->backwardScale);
    d->threads = threadsFromServices(d->threadServices);

    // With no candidate at all nothing can serve this configuration.
    int32_t status = DFT_UNIMPLEMENTED;
    for (const DftMethod* const* m = d->methodList; m != nullptr && *m != nullptr; ++m) {
        status = (*m)->tryCommit(*m, d);
        if (status == DFT_NO_ERROR)
            return DFT_NO_ERROR;
    }
    makeUncommitted(d);
    return status;
}

}  // namespace regviafft::dft
