// The small-cube method: which variants try it, which configurations it
// takes, and its transform against the defining sums.
#include <gtest/gtest.h>

#include <functional>

#include "dft_plans.h"

namespace regviafft::dft {

namespace {

// Three passes of a few roundings each; a wrong axis or stride is off by order one.
constexpr double kTolerance = 1e-13;

// A cube of side n built by the given class's variant, dense, in the given
// placement, committed; null on any failure.
void createCube(Descriptor& d, int32_t processorClass, int32_t n, int32_t placement)
{
    const int32_t lengths[3] = {n, n, n};
    ASSERT_EQ(constructDescriptor(&d.h, variantForClass(processorClass), DFT_DOUBLE, DFT_COMPLEX, 3,
                                  lengths), 0);
    ASSERT_EQ(DftSetValue(d.h, DFT_PLACEMENT, placement), 0);
}

TEST(CubeMethod, ServesDenseCubesBelowElevenFromSse3OnAndMatchesDefinition)
{
    fillSequentialThreadServices(sharedThreadServices());
    for (int32_t cls : {kClassGeneric, kClassSse2, kClassSse3, kClassSse42, kClassAvx}) {
        for (int32_t n : {2, 3, 5, 8, 10, 11}) {
            SCOPED_TRACE(testing::Message() << processorClassName(cls) << " side " << n);
            const int64_t count = int64_t{n} * n * n;
            const Signal x = testSignal(size_t(count), 0.61);
            for (int32_t placement : {DFT_NOT_INPLACE, DFT_INPLACE}) {
                Descriptor d;
                createCube(d, cls, n, placement);
                ASSERT_EQ(DftCommitDescriptor(d.h), 0);
                const bool cube = cls >= kClassSse3 && n <= 10;
                EXPECT_EQ(d.h->committedMethod, cube ? &cubeMethod : &generalMethod);
                for (bool forward : {true, false}) {
                    const Signal expected = naiveDft(x.data(), {n, n, n}, forward);
                    Signal in = x, out(x.size());
                    auto compute = forward ? DftComputeForward : DftComputeBackward;
                    if (placement == DFT_INPLACE) {
                        ASSERT_EQ(compute(d.h, in.data()), 0);
                        out = in;
                    } else {
                        ASSERT_EQ(compute(d.h, in.data(), out.data()), 0);
                        EXPECT_TRUE(sameBits(in, x));
                    }
                    EXPECT_LT(relativeError(out.data(), expected.data(), count), kTolerance);
                }
            }
        }
    }
}

// A scale, a batch, a gap between rows, or unequal sides: the general method.
TEST(CubeMethod, AnythingButADenseUnscaledSingleCubeGoesToTheGeneralMethod)
{
    const int32_t gapped[4] = {0, 40, 6, 1}, unequal[3] = {6, 6, 5};
    const std::function<int32_t(Descriptor&)> variations[] = {
        [](Descriptor& d) { return DftSetValue(d.h, DFT_FORWARD_SCALE, 0.5); },
        [](Descriptor& d) {
            return DftSetValue(d.h, DFT_NUMBER_OF_TRANSFORMS, 2) + DftSetValue(d.h, DFT_INPUT_DISTANCE, 216);
        },
        [&](Descriptor& d) { return DftSetValue(d.h, DFT_INPUT_STRIDES, gapped); },
        [&](Descriptor& d) {
            DftFreeDescriptor(&d.h);
            return constructDescriptor(&d.h, variantForClass(kClassAvx), DFT_DOUBLE, DFT_COMPLEX, 3, unequal);
        }};
    for (const auto& vary : variations) {
        Descriptor d;
        createCube(d, kClassAvx, 6, DFT_INPLACE);
        ASSERT_EQ(vary(d), 0);
        ASSERT_EQ(DftCommitDescriptor(d.h), 0);
        EXPECT_EQ(d.h->committedMethod, &generalMethod);
    }
}

// Sides no plan serves (negative ones, or beyond the length limits) are
// refused by the general method's length check; the cube method's test must
// not compute with them first (n * n overflowed for the fuzzer's side).
TEST(CubeMethod, SidesBeyondTheLimitsAreRefusedWithoutReachingTheCube)
{
    fillSequentialThreadServices(sharedThreadServices());
    for (int32_t n : {-2147431424, INT32_MIN, -46341, -1, (1 << 24) + 1}) {
        Descriptor d;
        createCube(d, kClassAvx, n, DFT_NOT_INPLACE);
        EXPECT_EQ(DftCommitDescriptor(d.h), DFT_1D_LENGTH_EXCEEDS_INT32) << "side " << n;
        EXPECT_NE(d.h->committedMethod, &cubeMethod) << "side " << n;
    }
}

}  // namespace

}  // namespace regviafft::dft
