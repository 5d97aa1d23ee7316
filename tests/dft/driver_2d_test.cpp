// The general method and the row-column drivers, through the public entry
// points, against the defining sums.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "descriptor.h"
#include "dft_plans.h"
#include "platform.h"

namespace regviafft::dft {

namespace {

// A few passes of double rounding stay far below this; a wrong root, sign,
// stride or column gives errors of order one.
constexpr double kTolerance = 1e-13;

struct Size {
    int32_t n1, n2;  // rows, row length
};

int32_t compute(DFT_DESCRIPTOR_HANDLE h, bool forward, Signal& in, Signal& out)
{
    return forward ? DftComputeForward(h, in.data(), out.data())
                   : DftComputeBackward(h, in.data(), out.data());
}

// Sizes cover every plan kind in both passes, column groups of 8 and 4 with
// each leftover group (4, 2, 1). In place, and after a second commit, the
// same arithmetic must give the same bits.
TEST(Driver2D, MatchesDefinitionInAndOutOfPlaceAndRoundTrips)
{
    const Size sizes[] = {{2, 3},   {3, 2},   {5, 7},   {5, 8},   {16, 16},  {17, 19}, {33, 15}, {40, 13},
                          {64, 64}, {8, 79},  {79, 79}, {127, 3}, {3, 127}, {100, 75}, {128, 128}};
    for (Size s : sizes) {
        SCOPED_TRACE(testing::Message() << s.n1 << "x" << s.n2);
        const int64_t count = int64_t{s.n1} * s.n2;
        Descriptor outOfPlace, inPlace;
        ASSERT_EQ(commitOutOfPlace(outOfPlace, s.n1, s.n2), 0);
        ASSERT_EQ(commitWith(inPlace, {s.n1, s.n2}, DFT_INPLACE), 0);
        Signal x = testSignal(count, 0.37);
        const Signal original = x;
        Signal y(x.size());
        for (bool forward : {true, false}) {
            ASSERT_EQ(compute(outOfPlace.h, forward, x, y), 0);
            const Signal expected = naiveDft(x.data(), {s.n1, s.n2}, forward);
            EXPECT_LT(relativeError(y.data(), expected.data(), count), kTolerance);
            EXPECT_TRUE(sameBits(x, original));
            Signal data = x;
            ASSERT_EQ(forward ? DftComputeForward(inPlace.h, data.data())
                              : DftComputeBackward(inPlace.h, data.data()), 0);
            EXPECT_TRUE(sameBits(data, y));
        }
        const Signal first = y;
        ASSERT_EQ(DftCommitDescriptor(outOfPlace.h), 0);
        ASSERT_EQ(compute(outOfPlace.h, false, x, y), 0);
        EXPECT_TRUE(sameBits(y, first));

        // With a backward scale of 1/(N1*N2) the round trip gives the input.
        Signal spectrum(x.size());
        ASSERT_EQ(compute(outOfPlace.h, true, x, spectrum), 0);
        ASSERT_EQ(DftSetValue(outOfPlace.h, DFT_BACKWARD_SCALE, 1.0 / double(count)), 0);
        ASSERT_EQ(DftCommitDescriptor(outOfPlace.h), 0);
        ASSERT_EQ(compute(outOfPlace.h, false, spectrum, y), 0);
        EXPECT_LT(relativeError(y.data(), x.data(), count), kTolerance);
    }
}

// Powers of two commute exactly with rounding, so one application of the
// scale gives exactly the scaled unscaled result; two would not.
TEST(Driver2D, ScaleIsAppliedOnceByTheShorterDimension)
{
    // Rows, row length, and whether the head (the row pass) carries it. 37
    // rows of 20: the rows are staged in groups with one left over, and
    // their pass carries the scale.
    const int32_t cases[][3] = {{4, 8, 0}, {8, 4, 1}, {8, 8, 1}, {1, 8, 1}, {37, 20, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c[0] << "x" << c[1]);
        Descriptor plain, withScale;
        ASSERT_EQ(commitOutOfPlace(plain, c[0], c[1]) + commitOutOfPlace(withScale, c[0], c[1]), 0);
        ASSERT_EQ(DftSetValue(withScale.h, DFT_FORWARD_SCALE, 0.25) +
                      DftSetValue(withScale.h, DFT_BACKWARD_SCALE, 2.0) +
                      DftCommitDescriptor(withScale.h), 0);
        DftDescriptor* carrier = c[2] ? withScale.h : withScale.h->next;
        DftDescriptor* other = c[2] ? withScale.h->next : withScale.h;
        ASSERT_NE(carrier, nullptr);
        EXPECT_TRUE(carrier->passForwardScale == 0.25 && carrier->passBackwardScale == 2.0);
        EXPECT_TRUE(other == nullptr || other->passForwardScale == 1.0);

        Signal x = testSignal(c[0] * c[1], 0.29), reference(x.size()), y(x.size());
        for (bool forward : {true, false}) {
            ASSERT_EQ(compute(plain.h, forward, x, reference) + compute(withScale.h, forward, x, y), 0);
            const double scale = forward ? 0.25 : 2.0;
            for (Complex& v : reference)
                v = {v.real * scale, v.imag * scale};
            EXPECT_TRUE(sameBits(y, reference));
        }
    }
}

int64_t at(const int32_t strides[3], int32_t j1, int32_t j2)
{
    return strides[0] + int64_t{j1} * strides[1] + int64_t{j2} * strides[2];
}

// Non-unit strides take the gathered rows and single-column paths, here with
// columns of a codelet, a direct sum and a mixed-radix length; elements
// outside the output layout must keep their sentinel. A single row or column
// drops to one dimension, contiguous only when both strides along it are 1.
TEST(Driver2D, StridedTransposedAndSingleLineLayoutsMatchDefinition)
{
    for (const Size size : {Size{6, 10}, Size{17, 12}, Size{40, 9}, Size{1, 12}, Size{12, 1}}) {
        const int32_t n1 = size.n1, n2 = size.n2;
        const int32_t layouts[][2][3] = {
            {{3, n2 + 2, 1}, {1, n2 + 5, 1}},
            {{0, n2, 1}, {0, 1, n1}},
            {{0, 1, n1}, {0, n2, 1}},
            {{0, 2 * n2, 2}, {2, n2, 1}},
        };
        const Signal dense = testSignal(n1 * n2, 0.53);
        const Signal expected = naiveDft(dense.data(), {n1, n2}, true);
        const Complex sentinel = {7.0, -7.0};
        for (const auto& layout : layouts) {
            const int32_t* in = layout[0];
            const int32_t* out = layout[1];
            SCOPED_TRACE(testing::Message() << n1 << "x" << n2 << ", strides in " << in[1] << ","
                                            << in[2] << " out " << out[1] << "," << out[2]);
            Descriptor d;
            ASSERT_EQ(commitWith(d, {n1, n2}, DFT_NOT_INPLACE, in, out), 0);
            const int axis = n1 == 1 ? 2 : 1;  // the longer one, for a single line
            const bool line = n1 == 1 || n2 == 1;
            EXPECT_TRUE(d.h->rank == (line ? 1 : 2) && (d.h->next == nullptr) == line);
            EXPECT_EQ((d.h->flags & kFlagContiguous1D) != 0, line && in[axis] == 1 && out[axis] == 1);
            Signal source(2 * n1 * n2 + 64, sentinel), target(source.size(), sentinel),
                got(n1 * n2);
            for (int32_t j = 0; j < n1 * n2; ++j)
                source[at(in, j / n2, j % n2)] = dense[j];
            ASSERT_EQ(compute(d.h, true, source, target), 0);
            for (int32_t j = 0; j < n1 * n2; ++j) {
                got[j] = target[at(out, j / n2, j % n2)];
                target[at(out, j / n2, j % n2)] = sentinel;
            }
            EXPECT_LT(relativeError(got.data(), expected.data(), n1 * n2), kTolerance);
            EXPECT_TRUE(sameBits(target, Signal(target.size(), sentinel)));
        }
    }
}

// A pass that copies each of its lines and adds 1 to the line's first
// element: after both passes element (0, 0) gained 2, the rest of row 0 and
// of column 0 gained 1 and every other element is its input, so a line lost,
// repeated or read from another line's place shows.
int passCalls = 0, failingCall = 0;
int32_t markingPass(const PlanLines& lines, DftDescriptor* member, void*)
{
    if (++passCalls == failingCall)
        return DFT_INTERNAL_ERROR;
    for (int32_t t = 0; t < lines.count; ++t) {
        for (int64_t i = 0; i < member->passLength; ++i) {
            const ptrdiff_t from = lines.rows ? t * lines.srcDist + i : i * lines.srcDist + t;
            const ptrdiff_t to = lines.rows ? t * lines.dstDist + i : i * lines.dstDist + t;
            Complex v = lines.src[from];
            v.real += i == 0 ? 1.0 : 0.0;
            lines.dst[to] = v;
        }
    }
    return 0;
}

// The temporary buffer holds a gathered group of B columns and its results,
// 2*B*N1 elements (B = 8 above 32 rows), when the column plan is not a
// codelet, and one row, N0 elements, when rows are gathered (a non-unit
// stride); none when neither pass needs it. It is freed on every return, and
// a failing pass ends the driver at once with its status. Every kernel width
// groups the lines its own way.
TEST(Driver2D, BufferSizeEveryLineOnceAndFailingPassEndsTheDriver)
{
    if (!bufferCacheEnabled())
        GTEST_SKIP() << "the buffer size is read from the cache's block";
    struct Case {
        int32_t n0, n1, outStride0, elements, failing;
    };
    const Case cases[] = {{10, 32, 1, 0, 0},  {10, 33, 1, 528, 0}, {40, 5, 1, 0, 2},
                          {10, 33, 2, 10, 35}, {40, 5, 2, 40, 0},  {13, 7, 1, 0, 0},
                          {10, 17, 1, 136, 0}};
    for (const KernelSet* kernels : runnableKernelSets()) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << kernels->name << " " << c.n0 << "x" << c.n1
                                            << " stride " << c.outStride0);
            DftDescriptor head{}, member{};
            head.passLength = c.n0;
            head.next = &member;
            member.passLength = c.n1;
            head.variant = variantForClass(kClassGeneric);
            PlanOwner rows, columns;
            ASSERT_EQ(rows.create(c.n0, kernels) + columns.create(c.n1, kernels), kPlanOk);
            head.plan = rows.plan;
            member.plan = columns.plan;
            Signal in(size_t(c.n0) * c.n1), out(2 * in.size(), Complex{-5.0, 0.0});
            for (int32_t r = 0; r < c.n1; ++r) {
                for (int32_t k = 0; k < c.n0; ++k)
                    in[size_t(r) * c.n0 + k] = {1000.0 * r + k, 0.0};
            }
            const int32_t inStride[2] = {1, c.n0};
            const int32_t outStride[2] = {c.outStride0, c.n0 * c.outStride0};
            passCalls = 0;
            failingCall = c.failing;
            RecordingHooks hooks;
            std::thread([&] {  // a fresh thread obtains a fresh block of exactly the request
                EXPECT_EQ(driver2DOutOfPlace(in.data(), out.data(), inStride, outStride,
                                             markingPass, markingPass, &head, nullptr),
                          c.failing != 0 ? DFT_INTERNAL_ERROR : 0);
                if (c.elements == 0) {
                    EXPECT_EQ(hooks.requested, 0u);
                    return;
                }
                EXPECT_EQ(hooks.requested, size_t(c.elements) * sizeof(Complex) + 16);
                BufferCacheRecordInfo info{};
                ASSERT_TRUE(bufferCacheRecordInfo(
                    bufferCacheFindRecord(platform::currentThreadId()), &info));
                EXPECT_EQ(info.blocksInUse, 0);
            }).join();
            if (c.failing != 0) {
                EXPECT_EQ(passCalls, c.failing);
                continue;
            }
            for (int32_t r = 0; r < c.n1; ++r) {
                for (int32_t k = 0; k < c.n0; ++k) {
                    const double expected = 1000.0 * r + k + (r == 0) + (k == 0);
                    EXPECT_EQ(out[size_t(r) * outStride[1] + size_t(k) * c.outStride0].real,
                              expected) << r << "," << k;
                }
            }
        }
    }
}

TEST(GeneralMethod, BatchesAndRankThreeMatchDefinition)
{
    Descriptor batch;
    ASSERT_EQ(commitWith(batch, {5, 6}, DFT_NOT_INPLACE), 0);
    ASSERT_EQ(DftSetValue(batch.h, DFT_NUMBER_OF_TRANSFORMS, 3) +
                  DftSetValue(batch.h, DFT_INPUT_DISTANCE, 32) +
                  DftSetValue(batch.h, DFT_OUTPUT_DISTANCE, 30) + DftCommitDescriptor(batch.h), 0);
    Signal in = testSignal(96, 0.71), out(90);
    ASSERT_EQ(compute(batch.h, true, in, out), 0);
    for (int t = 0; t < 3; ++t) {
        const Signal expected = naiveDft(&in[32 * t], {5, 6}, true);
        EXPECT_LT(relativeError(&out[30 * t], expected.data(), 30), kTolerance) << t;
    }

    Descriptor cube;
    ASSERT_EQ(commitWith(cube, {3, 4, 5}, DFT_INPLACE), 0);
    Signal data = testSignal(60, 0.19);
    const Signal expected = naiveDft(data.data(), {3, 4, 5}, false);
    ASSERT_EQ(DftComputeBackward(cube.h, data.data()), 0);
    EXPECT_LT(relativeError(data.data(), expected.data(), 60), kTolerance);
}

TEST(GeneralMethod, LengthLimitRefusesCommitAndAcceptsTwoToThe26)
{
    for (uint32_t fits : {67108864u, 16777216u})
        EXPECT_FALSE(exceedsPlanLengthLimit(fits)) << fits;
    for (uint32_t tooLong : {134217728u, 16777217u, static_cast<uint32_t>(-3)})
        EXPECT_TRUE(exceedsPlanLengthLimit(tooLong)) << tooLong;
    for (int32_t bad : {16777217, -3}) {
        Descriptor d;
        EXPECT_EQ(commitWith(d, {bad, 4}, DFT_INPLACE), DFT_1D_LENGTH_EXCEEDS_INT32);
        EXPECT_EQ(d.h->next, nullptr);
        Signal x(4);
        EXPECT_EQ(DftComputeForward(d.h, x.data()), DFT_INVALID_CONFIGURATION);
    }
    // Members are planned in chain order: the head's failing plan is reported
    // before the member's length is looked at.
    const MemoryHooks smallBlocksOnly{[](size_t n) { return n < 8192 ? std::malloc(n) : nullptr; },
                                      std::calloc, std::realloc, std::free};
    setMemoryHooks(&smallBlocksOnly);
    Descriptor d;
    EXPECT_EQ(commitWith(d, {16777217, 4096}, DFT_INPLACE), DFT_MEMORY_ERROR);
    setMemoryHooks(nullptr);
}

// Each compute with several user threads takes a workspace share and must
// hand it back, or the fourth call would find none.
TEST(GeneralMethod, UserThreadSharesAreReturnedAndBadRequestsRefused)
{
    Descriptor one, three;
    ASSERT_EQ(commitOutOfPlace(one, 12, 20), 0);
    ASSERT_EQ(commitOutOfPlace(three, 12, 20), 0);
    ASSERT_EQ(DftSetValue(three.h, DFT_NUMBER_OF_USER_THREADS, 3) + DftCommitDescriptor(three.h), 0);
    Signal x = testSignal(240, 0.33), expected(240), y(240);
    ASSERT_EQ(compute(one.h, true, x, expected), 0);
    for (int call = 0; call < 5; ++call) {
        ASSERT_EQ(compute(three.h, true, x, y), 0) << call;
        EXPECT_TRUE(sameBits(y, expected));
    }
    EXPECT_EQ(DftComputeForward(one.h, x.data(), nullptr), DFT_INCONSISTENT_CONFIGURATION);
    ASSERT_EQ(DftSetValue(three.h, DFT_NUMBER_OF_USER_THREADS, 5000), 0);
    EXPECT_EQ(DftCommitDescriptor(three.h), DFT_NUMBER_OF_THREADS_ERROR);
}

}  // namespace

}  // namespace regviafft::dft
