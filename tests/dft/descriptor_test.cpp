#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "descriptor.h"
#include "dft_plans.h"

namespace regviafft::dft {

namespace {

DftDescriptor* create(int32_t domain, int32_t dimension, const int32_t* lengths)
{
    DftDescriptor* d = nullptr;
    EXPECT_EQ(DftCreateDescriptor(&d, DFT_DOUBLE, domain, dimension, lengths), DFT_NO_ERROR);
    return d;
}

DftDescriptor* create2D(int32_t n1, int32_t n2)
{
    const int32_t lengths[2] = {n1, n2};
    return create(DFT_COMPLEX, 2, lengths);
}

// Each entry as length@inputStride, "*" when its output stride differs.
std::string lengthsOf(const DftDimensionList& list)
{
    std::string s;
    for (int32_t i = 0; i < list.count; ++i) {
        const DftDimension& e = list.entries[i];
        s += std::to_string(e.length) + "@" + std::to_string(e.inputStride) +
             (e.inputStride == e.outputStride ? " " : "* ");
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

void* lastArgs[4];
int32_t recordingRoutine(DftDescriptor*, void* a, void* b, void* c, void* e)
{
    lastArgs[0] = a, lastArgs[1] = b, lastArgs[2] = c, lastArgs[3] = e;
    return 42;
}

// Stands in for a successful commit, so the set-value rules need no plans.
void markCommitted(DftDescriptor* d)
{
    d->computeForward = d->computeBackward = recordingRoutine;
    d->commitStatus = DFT_COMMITTED;
    d->flags |= kFlagContiguous1D;
}

bool isUncommitted(const DftDescriptor* d)
{
    return d->commitStatus == DFT_UNCOMMITTED && d->computeForward == nullptr &&
           d->computeBackward == nullptr && (d->flags & kFlagContiguous1D) == 0;
}

}  // namespace

TEST(DescriptorCreate, RefusesBadArgumentsAndLeavesHandleNull)
{
    DftDescriptor dummy{};
    const int32_t zero[2] = {4, 0}, negative[2] = {4, -3};
    auto refused = [&dummy](int32_t precision, int32_t domain, int32_t dimension, auto lengths) {
        DftDescriptor* d = &dummy;
        return DftCreateDescriptor(&d, precision, domain, dimension, lengths) ==
                   DFT_INVALID_CONFIGURATION && d == nullptr;
    };
    EXPECT_EQ(DftCreateDescriptor(nullptr, DFT_DOUBLE, DFT_COMPLEX, 1, 8),
              DFT_INCONSISTENT_CONFIGURATION);
    EXPECT_TRUE(refused(DFT_DOUBLE, DFT_COMPLEX, 0, zero));
    EXPECT_TRUE(refused(DFT_DOUBLE, DFT_COMPLEX, 8, zero));
    EXPECT_TRUE(refused(34, DFT_COMPLEX, 1, 8));
    EXPECT_TRUE(refused(DFT_DOUBLE, 31, 1, 8));
    EXPECT_TRUE(refused(DFT_DOUBLE, DFT_COMPLEX, 1, -1));
    EXPECT_TRUE(refused(DFT_DOUBLE, DFT_COMPLEX, 2, zero));
    EXPECT_TRUE(refused(DFT_DOUBLE, DFT_COMPLEX, 2, static_cast<const int32_t*>(nullptr)));
    // Only 0 is refused in an array: a negative length is large as an unsigned number.
    DftDescriptor* d = nullptr;
    ASSERT_EQ(DftCreateDescriptor_d_md(&d, DFT_COMPLEX, 2, negative), DFT_NO_ERROR);
    EXPECT_EQ(DftFreeDescriptor(&d), DFT_NO_ERROR);
}

TEST(DescriptorCreate, EachAllocationFailureGivesMemoryErrorWithoutLeak)
{
    const int32_t lengths[2] = {4, 4};
    int failAt = 0;
    for (int32_t status = DFT_MEMORY_ERROR; status != DFT_NO_ERROR;) {
        RecordingHooks hooks(++failAt);
        DftDescriptor* d = nullptr;
        status = DftCreateDescriptor(&d, DFT_DOUBLE, DFT_COMPLEX, 2, lengths);
        EXPECT_TRUE(status == DFT_NO_ERROR || (status == DFT_MEMORY_ERROR && d == nullptr)) << failAt;
        EXPECT_EQ(DftFreeDescriptor(&d), status == DFT_NO_ERROR ? DFT_NO_ERROR : DFT_BAD_DESCRIPTOR);
        EXPECT_EQ(RecordingHooks::live, 0) << "partly built record leaked at " << failAt;
    }
    EXPECT_GE(failAt, 6) << "the record and its four lists each failed once";
}

TEST(DescriptorEntryPoints, RefuseBadRecordsAndPassOnOnlyDeclaredDataPointers)
{
    DftDescriptor foreign{};  // magic 0
    for (DftDescriptor* bad : {static_cast<DftDescriptor*>(nullptr), &foreign}) {
        EXPECT_EQ(DftSetValue(bad, DFT_PLACEMENT, DFT_NOT_INPLACE), DFT_BAD_DESCRIPTOR);
        EXPECT_EQ(DftCommitDescriptor(bad), DFT_BAD_DESCRIPTOR);
        EXPECT_EQ(DftComputeBackward(bad, nullptr, nullptr), DFT_BAD_DESCRIPTOR);
        DftDescriptor* handle = bad;
        EXPECT_EQ(DftFreeDescriptor(&handle), DFT_BAD_DESCRIPTOR);
        EXPECT_EQ(handle, bad);
    }
    EXPECT_EQ(DftFreeDescriptor(nullptr), DFT_INCONSISTENT_CONFIGURATION);

    DftDescriptor* d = create2D(4, 4);
    const DftMethodTable* table = d->methods;
    const DftMethodTable noCommit{};
    d->methods = &noCommit;
    EXPECT_EQ(DftCommitDescriptor(d), DFT_INTERNAL_ERROR);
    d->methods = table;
    int a = 0, b = 5, c, e;
    EXPECT_EQ(DftComputeForward(d, &a, &b), DFT_INVALID_CONFIGURATION);
    EXPECT_EQ(b, 5) << "an uncommitted compute touches nothing";
    markCommitted(d);
    for (int32_t count : {1, 2, 4}) {
        d->dataArgumentCount = count;
        EXPECT_EQ(DftComputeForward(d, &a, &b, &c, &e), 42);
        EXPECT_TRUE(lastArgs[0] == &a && lastArgs[1] == (count > 1 ? &b : nullptr) &&
                    lastArgs[2] == (count > 2 ? &c : nullptr) &&
                    lastArgs[3] == (count > 3 ? &e : nullptr)) << count;
    }
    EXPECT_EQ(DftFreeDescriptor(&d), DFT_NO_ERROR);
    EXPECT_EQ(d, nullptr);
}

TEST(DescriptorSetValue, TableOfStatusesAndStoresAlwaysUncommitsFirst)
{
    using D = DftDescriptor;
    struct Row {
        int32_t parameter, value, status;
        int32_t DftDescriptor::*field;
        int32_t stored;
    };
    std::vector<Row> rows = {
        {DFT_COMPLEX_STORAGE, DFT_REAL_REAL, 0, &D::complexStorage, DFT_REAL_REAL},
        {DFT_COMPLEX_STORAGE, DFT_COMPLEX_REAL, 6, &D::complexStorage, DFT_COMPLEX_COMPLEX},
        {DFT_COMPLEX_STORAGE, DFT_INPLACE, 3, &D::complexStorage, DFT_COMPLEX_COMPLEX},
        {DFT_REAL_STORAGE, DFT_REAL_COMPLEX, 6, &D::realStorage, DFT_REAL_REAL},
        {DFT_CONJUGATE_EVEN_STORAGE, DFT_COMPLEX_COMPLEX, 0, &D::packedFormat, DFT_CCE_FORMAT},
        {DFT_CONJUGATE_EVEN_STORAGE, DFT_REAL_REAL, 6, &D::conjugateEvenStorage, DFT_COMPLEX_REAL},
        {DFT_PLACEMENT, DFT_NOT_INPLACE, 0, &D::placement, DFT_NOT_INPLACE},
        {DFT_PLACEMENT, 45, 3, &D::placement, DFT_INPLACE},
        {DFT_ORDERING, DFT_BACKWARD_SCRAMBLED, 0, &D::ordering, DFT_BACKWARD_SCRAMBLED},
        {DFT_ORDERING, 50, 6, &D::ordering, DFT_ORDERED},
        {DFT_ORDERING, 51, 3, &D::ordering, DFT_ORDERED},
        {DFT_PACKED_FORMAT, DFT_CCE_FORMAT, 0, &D::packedFormat, DFT_CCE_FORMAT},
        {DFT_PACKED_FORMAT, 58, 3, &D::packedFormat, DFT_CCS_FORMAT},
        {DFT_NUMBER_OF_TRANSFORMS, -4, 0, &D::transformCount, -4},
        {DFT_INPUT_DISTANCE, 17, 0, &D::inputDistance, 17},
        {DFT_NUMBER_OF_USER_THREADS, 0, 0, &D::userThreads, 0},
        {DFT_WORKSPACE, 1, 0, &D::dimension, 2},
    };
    for (int32_t p : {DFT_FORWARD_DOMAIN, DFT_DIMENSION, DFT_LENGTHS, DFT_PRECISION, DFT_TRANSPOSE,
                      DFT_COMMIT_STATUS, DFT_VERSION})
        rows.push_back(Row{p, DFT_REAL, 3, &D::domain, DFT_COMPLEX});
    for (int32_t p : {DFT_FORWARD_SIGN, DFT_INITIALIZATION_EFFORT, DFT_FORWARD_ORDERING,
                      DFT_BACKWARD_ORDERING})
        rows.push_back(Row{p, 0, 6, &D::domain, DFT_COMPLEX});
    for (const Row& r : rows) {
        DftDescriptor* d = create2D(3, 5);
        markCommitted(d);
        EXPECT_EQ(DftSetValue(d, r.parameter, r.value), r.status) << r.parameter << " " << r.value;
        EXPECT_TRUE(isUncommitted(d)) << "even a refused value uncommits: " << r.parameter;
        EXPECT_EQ(d->*r.field, r.stored) << r.parameter << " " << r.value;
        EXPECT_EQ(DftFreeDescriptor(&d), DFT_NO_ERROR);
    }

    // Outside the table nothing is read and the commit survives.
    DftDescriptor* d = create2D(3, 5);
    markCommitted(d);
    EXPECT_EQ(DftSetValue(d, 27, 0) + DftSetValue(d, -1, 0), 2 * DFT_INCONSISTENT_CONFIGURATION);
    EXPECT_EQ(d->commitStatus, DFT_COMMITTED);
    EXPECT_EQ(DftFreeDescriptor(&d), DFT_NO_ERROR);
    // Backward-scrambled ordering is stored in the real domain but unsupported there.
    ASSERT_EQ(DftCreateDescriptor(&d, DFT_DOUBLE, DFT_REAL, 1, 8), DFT_NO_ERROR);
    EXPECT_EQ(DftSetValue(d, DFT_ORDERING, DFT_BACKWARD_SCRAMBLED), DFT_UNIMPLEMENTED);
    EXPECT_EQ(d->ordering, DFT_BACKWARD_SCRAMBLED);
    EXPECT_EQ(DftFreeDescriptor(&d), DFT_NO_ERROR);
}

TEST(DescriptorSetValue, ScaleKeepsCommitOnlyWhenEqualStridesNameAndChainedValues)
{
    DftDescriptor* d = create2D(3, 5);
    markCommitted(d);
    EXPECT_EQ(DftSetValue(d, DFT_FORWARD_SCALE, 1.0), DFT_NO_ERROR);
    EXPECT_EQ(d->commitStatus, DFT_COMMITTED);
    EXPECT_EQ(DftSetValue(d, DFT_BACKWARD_SCALE, 0.25), DFT_NO_ERROR);
    EXPECT_TRUE(isUncommitted(d) && d->backwardScale == 0.25 && d->forwardScale == 1.0);
    EXPECT_EQ(DftSetValue(d, DFT_FORWARD_SCALE, std::nan("")), DFT_NO_ERROR);
    markCommitted(d);
    EXPECT_EQ(DftSetValue(d, DFT_FORWARD_SCALE, std::nan("")), DFT_NO_ERROR);
    EXPECT_TRUE(isUncommitted(d) && std::isnan(d->forwardScale)) << "NaN never equals NaN";
    EXPECT_EQ(DftFreeDescriptor(&d), DFT_NO_ERROR);

    d = create2D(4, 6);
    const DftDimension* e = d->dimensions.entries;
    EXPECT_TRUE(isUncommitted(d) && reinterpret_cast<uintptr_t>(d) % 16 == 0);
    EXPECT_TRUE(e[0].length == 6 && e[0].inputStride == 1 && e[0].outputStride == 1);
    EXPECT_TRUE(e[1].length == 4 && e[1].inputStride == 6 && e[1].outputStride == 6);
    markCommitted(d);
    const int32_t dense[3] = {0, 6, 1}, transposed[3] = {7, 1, 4};
    EXPECT_EQ(DftSetValue(d, DFT_INPUT_STRIDES, dense), DFT_NO_ERROR);
    EXPECT_TRUE(isUncommitted(d));
    EXPECT_EQ(DftSetValue(d, DFT_OUTPUT_STRIDES, transposed), DFT_NO_ERROR);
    EXPECT_TRUE(e[0].inputStride == 1 && e[1].inputStride == 6 && d->inputOffset == 0);
    EXPECT_TRUE(e[0].outputStride == 4 && e[1].outputStride == 1 && d->outputOffset == 7);

    markCommitted(d);
    EXPECT_EQ(DftSetValue(d, DFT_DESCRIPTOR_NAME, "ABCDEFGHIJKLMN"), DFT_NO_ERROR);
    EXPECT_EQ(std::memcmp(d->name, "ABCDEFGHIJ", 10), 0);
    EXPECT_EQ(DftSetValue(d, DFT_DESCRIPTOR_NAME, "xy"), DFT_NO_ERROR);
    EXPECT_EQ(std::memcmp(d->name, "xy\0\0\0\0\0\0\0\0", 10), 0);
    EXPECT_EQ(d->commitStatus, DFT_COMMITTED);

    DftDescriptor* member = create2D(4, 6);
    d->next = member;
    EXPECT_EQ(DftSetValue(d, DFT_CONJUGATE_EVEN_STORAGE, DFT_COMPLEX_COMPLEX) +
                  DftSetValue(d, DFT_NUMBER_OF_USER_THREADS, 3) +
                  DftSetValue(d, DFT_NUMBER_OF_TRANSFORMS, 2), 0);
    EXPECT_TRUE(member->packedFormat == DFT_CCE_FORMAT && member->userThreads == 3);
    EXPECT_EQ(member->transformCount, 1) << "not a chained parameter";
    d->next = nullptr;
    EXPECT_EQ(DftFreeDescriptor(&member) + DftFreeDescriptor(&d), 0);
}

// A non-adjacent exchange sort would carry 2 past 5; a list of unit lengths
// keeps its first entry; a batch merges only while both strides chain.
TEST(CommitNormalisation, StableStrideSortUnitLengthRemovalAndBatchMerge)
{
    struct Case {
        void (*step)(DftDimensionList*);
        std::vector<DftDimension> entries;
        const char* expected;
    };
    const Case cases[] = {
        {sortByInputStride, {{2, 3, 3}, {5, 3, 3}, {7, -1, -1}}, "7@-1 2@3 5@3 "},
        {removeUnitLengths, {{1, 1, 1}, {4, 2, 2}, {1, 3, 3}, {6, 4, 4}}, "4@2 6@4 "},
        {removeUnitLengths, {{1, 1, 1}, {1, 9, 9}}, "1@1 "},
        {mergeContiguousBatch, {{2, 1, 1}, {3, 2, 2}, {4, 6, 6}, {5, 100, 100}}, "24@1 5@100 "},
        {mergeContiguousBatch, {{3, 2, 2}, {4, 6, 7}}, "3@2 4@6* "},
    };
    for (Case c : cases) {
        DftDimensionList list{static_cast<int32_t>(c.entries.size()), c.entries.data()};
        c.step(&list);
        EXPECT_EQ(lengthsOf(list), c.expected);
    }
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
        EXPECT_EQ(lengthsOf(d->workDimensions), inPlace ? "3@1 4@3 " : "3@1* 4@3* ");
        EXPECT_EQ(d->workDimensions.entries[0].outputStride, inPlace ? 1 : 20);
        EXPECT_EQ(d->dimensions.count, 3) << "the caller's list is untouched";
        EXPECT_TRUE(d->rank == 2 && d->passLength == 3 && d->passInputStride == 1);
        EXPECT_TRUE(d->passForwardScale == 0.1 && d->passForwardScaleF == 0.1f);
        EXPECT_EQ(DftFreeDescriptor(&d), DFT_NO_ERROR);
    }
    // The real domain keeps its order and has no method.
    DftDescriptor* d = create(DFT_REAL, 3, lengths);
    EXPECT_EQ(DftCommitDescriptor(d), DFT_UNIMPLEMENTED);
    EXPECT_EQ(lengthsOf(d->workDimensions), "4@1 1@4 3@4 ");
    EXPECT_EQ(DftFreeDescriptor(&d), DFT_NO_ERROR);
}

TEST(CommitDescriptor, FirstSuccessWinsElseLastStatusAndUncommitted)
{
    DftDescriptor* d = create2D(2, 2);
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

}  // namespace regviafft::dft
