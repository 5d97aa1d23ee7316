// The regviafftstab element through GstHarness and gst-launch-1.0: motion in
// its messages, every buffer out once with its time stamps, latency, end of
// stream, flushes, caps changes and bad property values.
#include <gtest/gtest.h>

#include <gst/check/gstharness.h>
#include <gst/gst.h>

#include <fstream>
#include <string>
#include <vector>

#include "media_files.h"

namespace {

constexpr GstClockTime kFrameDuration = GST_SECOND / 30;
constexpr int kLag = 2;  // the element's enum values: design, causal, lag
constexpr int kCausal = 1;
constexpr int kDesign = 0;

struct Environment : ::testing::Environment {
    void SetUp() override { gst_init(nullptr, nullptr); }
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new Environment);

std::string capsFor(int width, int height)
{
    return "video/x-raw,format=I420,width=" + std::to_string(width) + ",height=" + std::to_string(height) +
           ",framerate=30/1";
}

// What the tests read from a buffer that came out and from a frame's message.
struct Output {
    GstClockTime pts, duration;
    gsize size;
};
struct Record {
    gint64 frame = -1;
    guint64 timestamp = 0;
    int motionX = 0, motionY = 0;
};

// A harness around the element with its own bus for the messages.
struct Element {
    GstHarness* harness;
    GstBus* bus;
    int width = 0, height = 0;
    explicit Element(int mode, int lag = 6)
        : harness(gst_harness_new("regviafftstab")), bus(gst_bus_new())
    {
        gst_element_set_bus(harness->element, bus);
        g_object_set(harness->element, "mode", mode, "lag", lag, nullptr);
    }
    ~Element()
    {
        gst_element_set_bus(harness->element, nullptr);
        gst_object_unref(bus);
        gst_harness_teardown(harness);
    }
    // Each frame of the clip as an I420 buffer (rows without padding at these
    // widths), the t-th stamped as frame `first` + t; new caps for a new size.
    void push(const media::Clip& clip, int first)
    {
        if (clip.width != width || clip.height != height)
            gst_harness_set_src_caps_str(harness, capsFor(width = clip.width, height = clip.height).c_str());
        for (size_t t = 0; t < clip.lumas.size(); ++t) {
            const std::vector<std::uint8_t>& luma = clip.lumas[t];
            GstBuffer* buffer = gst_buffer_new_allocate(nullptr, luma.size() * 3 / 2, nullptr);
            gst_buffer_fill(buffer, 0, luma.data(), luma.size());
            gst_buffer_memset(buffer, luma.size(), 128, luma.size() / 2);
            GST_BUFFER_PTS(buffer) = (first + t) * kFrameDuration;
            GST_BUFFER_DURATION(buffer) = kFrameDuration;
            EXPECT_EQ(gst_harness_push(harness, buffer), GST_FLOW_OK);
        }
    }
    void pullAll(std::vector<Output>& out)
    {
        while (GstBuffer* b = gst_harness_try_pull(harness)) {
            out.push_back({GST_BUFFER_PTS(b), GST_BUFFER_DURATION(b), gst_buffer_get_size(b)});
            gst_buffer_unref(b);
        }
    }
    std::vector<Record> records()
    {
        std::vector<Record> out;
        while (GstMessage* m = gst_bus_pop_filtered(bus, GST_MESSAGE_ELEMENT)) {
            const GstStructure* s = gst_message_get_structure(m);
            if (gst_structure_has_name(s, "regviafftstab")) {
                Record r;
                gst_structure_get_int64(s, "frame", &r.frame);
                gst_structure_get_uint64(s, "timestamp", &r.timestamp);
                gst_structure_get_int(s, "whole-motion-x", &r.motionX);
                gst_structure_get_int(s, "whole-motion-y", &r.motionY);
                out.push_back(r);
            }
            gst_message_unref(m);
        }
        return out;
    }
};

}  // namespace

TEST(RegViaFFTStab, EveryFrameComesOutOnceWithItsTimeAndShiftAfterTheLookAhead)
{
    const int frames = 30;
    const media::ShakyClip shaky = media::shakyClip(160, 120, frames, 5);
    for (int mode : {kDesign, kCausal, kLag}) {
        Element element(mode);
        element.push(shaky.clip, 0);
        // The look-ahead is the latency: six frames at 30 per second are 0.2 s
        // exactly, not six rounded frame durations; none in the other modes.
        gst_harness_set_upstream_latency(element.harness, 0);
        EXPECT_EQ(gst_harness_query_latency(element.harness), mode == kLag ? 200 * GST_MSECOND : 0) << mode;
        // Lag mode still holds its look-ahead; end of stream lets it out.
        std::vector<Output> out;
        element.pullAll(out);
        EXPECT_EQ(out.size(), static_cast<size_t>(mode == kLag ? frames - 6 : frames)) << mode;
        ASSERT_TRUE(gst_harness_push_event(element.harness, gst_event_new_eos()));
        element.pullAll(out);
        const std::vector<Record> records = element.records();
        ASSERT_EQ(out.size(), static_cast<size_t>(frames)) << mode;
        ASSERT_EQ(records.size(), static_cast<size_t>(frames)) << mode;
        for (int t = 0; t < frames; ++t) {
            EXPECT_EQ(out[t].pts, t * kFrameDuration) << mode;
            EXPECT_EQ(out[t].duration, kFrameDuration) << mode;
            EXPECT_EQ(records[t].frame, t);
            EXPECT_EQ(records[t].timestamp, t * kFrameDuration);
            // The design mode replaces a motion it finds implausible; none here is.
            EXPECT_EQ(records[t].motionX, shaky.stepX(t)) << "mode " << mode << " frame " << t;
            EXPECT_EQ(records[t].motionY, shaky.stepY(t)) << "mode " << mode << " frame " << t;
        }
    }
}

TEST(RegViaFFTStab, FlushDropsTheHeldFramesAndCapsChangeKeepsThemBothStartANewPath)
{
    const media::Clip first = media::shakyClip(160, 120, 10, 7).clip;
    for (bool flush : {true, false}) {
        const media::Clip second = media::shakyClip(flush ? 160 : 192, flush ? 120 : 144, 10, 8).clip;
        Element element(kLag, 4);
        element.push(first, 0);
        std::vector<Output> out;
        element.pullAll(out);
        EXPECT_EQ(out.size(), 6u);
        if (flush) {
            ASSERT_TRUE(gst_harness_push_event(element.harness, gst_event_new_flush_start()));
            ASSERT_TRUE(gst_harness_push_event(element.harness, gst_event_new_flush_stop(TRUE)));
            GstSegment segment;
            gst_segment_init(&segment, GST_FORMAT_TIME);
            ASSERT_TRUE(gst_harness_push_event(element.harness, gst_event_new_segment(&segment)));
        }
        element.push(second, 10);
        ASSERT_TRUE(gst_harness_push_event(element.harness, gst_event_new_eos()));
        element.pullAll(out);
        const std::vector<Record> records = element.records();
        // The frames held for the look-ahead are dropped by a flush, let out
        // before new caps.
        const size_t kept = flush ? 6 : 10;
        ASSERT_EQ(out.size(), kept + 10) << flush;
        ASSERT_EQ(records.size(), kept + 10) << flush;
        for (size_t i = 0; i < out.size(); ++i) {
            const int t = static_cast<int>(i < kept ? i : 10 + i - kept);
            EXPECT_EQ(out[i].pts, t * kFrameDuration) << flush;
            EXPECT_EQ(out[i].size, t < 10 ? 160u * 120 * 3 / 2 : second.lumas[0].size() * 3 / 2);
            // The second part is a new path, counted from 0.
            EXPECT_EQ(records[i].frame, t < 10 ? t : t - 10) << flush;
        }
    }
}

TEST(RegViaFFTStab, BadPropertyValuesAreRefusedWithAWarning)
{
    static int warnings = 0;
    const auto count = [](const gchar*, GLogLevelFlags, const gchar*, gpointer) { ++warnings; };
    const guint objectHandler = g_log_set_handler("GLib-GObject", G_LOG_LEVEL_WARNING, count, nullptr);
    const guint ownHandler = g_log_set_handler(nullptr, G_LOG_LEVEL_WARNING, count, nullptr);
    Element element(kLag, 5);
    g_object_set(element.harness->element, "lag", 500, "budget", 40.0, "templates", 0, nullptr);
    g_object_set(element.harness->element, "template-size", "wide", "margins", "8y8", nullptr);
    g_log_remove_handler("GLib-GObject", objectHandler);
    g_log_remove_handler(nullptr, ownHandler);
    EXPECT_EQ(warnings, 5);
    gint lag = 0, templates = 0;
    gdouble budget = 0.0;
    gchar* size = nullptr;
    g_object_get(element.harness->element, "lag", &lag, "budget", &budget, "templates", &templates,
                 "template-size", &size, nullptr);
    EXPECT_EQ(lag, 5);
    EXPECT_EQ(budget, 5.0);
    EXPECT_EQ(templates, 10);
    EXPECT_STREQ(size, "");
    g_free(size);
}

TEST(RegViaFFTStab, RunsInAPipelineFromTheCommandLine)
{
    // Each frame's record comes out as a message before the end of stream.
    const std::string log = ::testing::TempDir() + "regviafftstab-launch.txt";
    for (const char* caps : {"video/x-raw,format=NV12,width=176,height=144",
                             "video/x-raw,format=BGRx,width=176,height=144"}) {
        const media::Run run = media::runProgram(
            GST_LAUNCH_PROGRAM, {"-m", "videotestsrc", "num-buffers=25", "pattern=ball", "!", caps, "!",
                                 "regviafftstab", "mode=lag", "lag=6", "border=crop", "!", "fakesink"}, log);
        EXPECT_EQ(run.status, 0) << run.errors;
        std::ifstream messages(log);
        int records = 0;
        for (std::string line; std::getline(messages, line);)
            records += line.find("regviafftstab, timestamp") != std::string::npos;
        EXPECT_EQ(records, 25) << caps;
    }
}
