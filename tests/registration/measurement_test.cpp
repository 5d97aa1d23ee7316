// The measurement steps against Run: taken one by one and quietly, from
// 4-byte pixels or from grey rows, they measure exactly what Run measures; a
// restarted sequence measures as a newly created object does.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "RegViaFFT.h"
#include "measurement.h"
#include "synthetic_frames.h"

namespace {

using regviafft::Diagnostics;
using regviafft::MeasuredFrame;
using regviafft::Measurement;

constexpr int kWidth = 160;
constexpr int kHeight = 120;

std::vector<std::uint8_t> greyAt(double x, double y)
{
    return synthetic::texturedFrame(kWidth, kHeight, 3, x, y);
}

// Sub-pixel measurement, no camera path of Run's own.
void create(CRegViaFFT& o)
{
    ASSERT_EQ(o.Create(kHeight, kWidth, 64, 64, 10, 2, 8, 8, 0, 1.0), 1);
}

// One frame through the steps, as the stabiliser takes them.
void step(CRegViaFFT& o, const regviafft::PixelRows& rows)
{
    Measurement m(o);
    m.loadFrame(rows);
    if (m.isFirstOfSequence()) {
        ASSERT_TRUE(m.placeTemplates(Diagnostics::Quiet));
        return;
    }
    m.measureMotion(Diagnostics::Quiet);
    m.handOver();
}

void expectSame(const MeasuredFrame& a, const MeasuredFrame& b, const char* what)
{
    EXPECT_EQ(a.frameCount, b.frameCount) << what;
    EXPECT_EQ(a.templateCount, b.templateCount) << what;
    EXPECT_EQ(a.measured, b.measured) << what;
    EXPECT_TRUE(a.motionX == b.motionX && a.motionY == b.motionY) << what;
    EXPECT_TRUE(a.wholeMotionX == b.wholeMotionX && a.wholeMotionY == b.wholeMotionY) << what;
    EXPECT_TRUE(a.peak == b.peak && a.votes == b.votes) << what;
    for (int k = 0; k < a.templateCount; ++k)
        EXPECT_TRUE(a.templates[k].x == b.templates[k].x && a.templates[k].y == b.templates[k].y &&
                    a.templates[k].peak == b.templates[k].peak)
            << what << ", template " << k;
}

TEST(Measurement, QuietStepsMeasureWhatRunMeasures)
{
    CRegViaFFT run, pixels, grey;
    create(run);
    create(pixels);
    create(grey);
    const double path[][2] = {{0, 0}, {1.5, -0.5}, {3, 1}, {2.25, 2}, {-1, 3.5}, {0.5, 0}};
    std::vector<std::uint8_t> out(kWidth * kHeight * 4);
    for (const auto& at : path) {
        const std::vector<std::uint8_t> g = greyAt(at[0], at[1]);
        std::vector<std::uint8_t> frame = synthetic::toFourBytePixels(g);
        ASSERT_EQ(run.Run(frame.data(), out.data(), false), 1);
        step(pixels, {frame.data(), kWidth * 4, 4});
        step(grey, {g.data(), kWidth, 1});
        const MeasuredFrame expected = Measurement::read(run);
        expectSame(Measurement::read(pixels), expected, "4-byte pixels");
        expectSame(Measurement::read(grey), expected, "grey rows");
    }
    // Something was measured: the last frame's content moved by (1.5, -3.5),
    // and at divisor 2 this estimator is good to about a pixel.
    const MeasuredFrame last = Measurement::read(run);
    EXPECT_TRUE(last.measured);
    EXPECT_NEAR(last.motionX, -1.5, 1.0);
    EXPECT_NEAR(last.motionY, 3.5, 1.0);
}

TEST(Measurement, RestartedSequenceMeasuresAsANewObject)
{
    CRegViaFFT fresh, restarted;
    create(fresh);
    create(restarted);
    const std::vector<std::uint8_t> a = greyAt(2, 1), b = greyAt(4, -1);
    for (const double x : {10.0, 11.0, 13.0})
        step(restarted, {greyAt(x, 0).data(), kWidth, 1});
    // A cut at frame a: measured against the old scene, then a new start on it.
    Measurement m(restarted);
    m.loadFrame({a.data(), kWidth, 1});
    m.measureMotion(Diagnostics::Quiet);
    m.handOver();
    m.restartSequence();
    EXPECT_TRUE(m.isFirstOfSequence());
    ASSERT_TRUE(m.placeTemplates(Diagnostics::Quiet));
    EXPECT_FALSE(Measurement::read(restarted).measured);
    step(restarted, {b.data(), kWidth, 1});

    step(fresh, {a.data(), kWidth, 1});
    step(fresh, {b.data(), kWidth, 1});
    expectSame(Measurement::read(restarted), Measurement::read(fresh), "after the restart");
    EXPECT_NEAR(Measurement::read(fresh).motionX, -2.0, 1.0);
    EXPECT_NEAR(Measurement::read(fresh).motionY, 2.0, 1.0);
}

}  // namespace
