#include <gtest/gtest.h>

#include <string>

#include "descriptor/descriptor.h"

namespace {

// Lengths identify entries; "*" marks an entry whose output stride differs.
std::string lengthsOf(const DftDimensionList& list)
{
    std::string s;
    for (int32_t i = 0; i < list.count; ++i) {
        const DftDimension& e = list.entries[i];
        s += std::to_string(e.length) + (e.inputStride == e.outputStride ? " " : "* ");
    }
    return s;
}

// A fake method's name is its letter and then its status: 0, 7, else not applicable.
std::string calls;
int32_t recordTry(const DftMethod* m, DftDescriptor*)
{
    calls += m->name[0];
    return m->name[1] == '0' ? 0 : m->name[1] == '7' ? 7 : kMethodDoesNotApply;
}
const DftMethod methodA{"A-", recordTry, nullptr}, methodB{"B7", recordTry, nullptr};
const DftMethod methodC{"C0", recordTry, nullptr}, methodD{"D0", recordTry, nullptr};

DftDescriptor* create(int32_t domain, int32_t dimension, const int32_t* lengths)
{
    DftDescriptor* d = nullptr;
    EXPECT_EQ(DftCreateDescriptor_d_md(&d, domain, dimension, lengths), DFT_NO_ERROR);
    return d;
}

}  // namespace

TEST(CommitNormalisation, StableStrideSortUnitLengthRemovalAndBatchMerge)
{
    // A non-adjacent exchange sort would carry 2 past 5.
    DftDimension e[3] = {{2, 3, 3}, {5, 3, 3}, {7, -1, -1}};
    DftDimensionList list{3, e};
    sortByInputStride(&list);
    EXPECT_EQ(lengthsOf(list), "7 2 5 ");

    DftDimension units[4] = {{1, 1, 1}, {4, 2, 2}, {1, 3, 3}, {6, 4, 4}};
    list = DftDimensionList{4, units};
    removeUnitLengths(&list);
    EXPECT_EQ(lengthsOf(list), "4 6 ");
    DftDimension allUnits[2] = {{1, 1, 1}, {1, 9, 9}};
    list = DftDimensionList{2, allUnits};
    removeUnitLengths(&list);
    EXPECT_TRUE(list.count == 1 && list.entries[0].inputStride == 1);

    DftDimension chain[4] = {{2, 1, 1}, {3, 2, 2}, {4, 6, 6}, {5, 100, 100}};
    list = DftDimensionList{4, chain};
    mergeContiguousBatch(&list);
    EXPECT_EQ(lengthsOf(list), "24 5 ");
    EXPECT_EQ(list.entries[0].inputStride, 1);
    DftDimension outputApart[2] = {{3, 2, 2}, {4, 6, 7}};
    list = DftDimensionList{2, outputApart};
    mergeContiguousBatch(&list);
    EXPECT_EQ(list.count, 2);
}

TEST(CommitDescriptor, WorkingListsAreNormalisedAndInPlaceTakesInputStrides)
{
    const int32_t lengths[3] = {3, 1, 4};          // internal order 4, 1, 3
    const int32_t inStrides[4] = {0, 1, 12, 3};    // internal 3, 12, 1
    const int32_t outStrides[4] = {0, 20, 40, 5};  // internal 5, 40, 20
    const DftMethod* const methods[] = {&methodD, nullptr};
    for (int32_t placement : {DFT_INPLACE, DFT_NOT_INPLACE}) {
        DftDescriptor* d = create(DFT_COMPLEX, 3, lengths);
        EXPECT_EQ(DftSetValue(d, DFT_PLACEMENT, placement) +
                      DftSetValue(d, DFT_INPUT_STRIDES, inStrides) +
                      DftSetValue(d, DFT_OUTPUT_STRIDES, outStrides) +
                      DftSetValue(d, DFT_FORWARD_SCALE, 0.1), 0);
        d->methodList = methods;
        EXPECT_EQ(DftCommitDescriptor(d), DFT_NO_ERROR);
        const bool inPlace = placement == DFT_INPLACE;
        EXPECT_EQ(lengthsOf(d->workDimensions), inPlace ? "3 4 " : "3* 4* ");
        EXPECT_EQ(d->workDimensions.entries[0].outputStride, inPlace ? 1 : 20);
        EXPECT_EQ(d->dimensions.count, 3) << "the caller's list is untouched";
        EXPECT_TRUE(d->rank == 2 && d->passLength == 3 && d->passInputStride == 1);
        EXPECT_TRUE(d->passForwardScale == 0.1 && d->passForwardScaleF == 0.1f);
        EXPECT_EQ(DftFreeDescriptor(&d), DFT_NO_ERROR);
    }
    // The real domain keeps its order and has no method.
    DftDescriptor* d = create(DFT_REAL, 3, lengths);
    EXPECT_EQ(DftCommitDescriptor(d), DFT_UNIMPLEMENTED);
    EXPECT_EQ(lengthsOf(d->workDimensions), "4 1 3 ");
    EXPECT_EQ(DftFreeDescriptor(&d), DFT_NO_ERROR);
}

TEST(CommitDescriptor, FirstSuccessWinsElseLastStatusAndUncommitted)
{
    const int32_t lengths[2] = {2, 2};
    DftDescriptor* d = create(DFT_COMPLEX, 2, lengths);
    const DftMethod* const winner[] = {&methodA, &methodB, &methodC, &methodD, nullptr};
    const DftMethod* const losers[] = {&methodB, &methodA, nullptr};
    const DftMethod* const failing[] = {&methodA, &methodB, nullptr};
    const DftMethod* const none[] = {nullptr};
    struct Case {
        const DftMethod* const* list;
        int32_t status;
        const char* calls;
    };
    for (const Case& c : {Case{winner, 0, "ABC"}, Case{losers, kMethodDoesNotApply, "BA"},
                          Case{failing, 7, "AB"}, Case{none, DFT_UNIMPLEMENTED, ""}}) {
        d->methodList = c.list;
        d->commitStatus = DFT_COMMITTED;
        calls.clear();
        EXPECT_EQ(DftCommitDescriptor(d), c.status) << c.calls;
        EXPECT_EQ(calls, c.calls);
        EXPECT_EQ(d->commitStatus, c.status == 0 ? DFT_COMMITTED : DFT_UNCOMMITTED) << c.calls;
    }
    for (const DftMethod* m :
         {&splitStorage1DMethod, &splitStorage2DMethod, &splitStorageNDMethod}) {
        d->complexStorage = DFT_COMPLEX_COMPLEX;
        EXPECT_EQ(m->tryCommit(m, d), kMethodDoesNotApply);
        d->complexStorage = DFT_REAL_REAL;
        EXPECT_EQ(m->tryCommit(m, d), DFT_UNIMPLEMENTED);
        EXPECT_EQ(m->release(m, d), DFT_INTERNAL_ERROR) << "not the owner";
    }
    EXPECT_EQ(DftFreeDescriptor(&d), DFT_NO_ERROR);
}
