// The regviafftstab element through GstHarness and gst-launch-1.0: motion in
// its messages, every buffer out once with its time stamps, latency, end of
// stream, caps changes and bad property values.
#include <gtest/gtest.h>

#include <gst/check/gstharness.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <algorithm>
#include <cstring>
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

GstBuffer* i420Buffer(const std::vector<std::uint8_t>& luma, int width, int height, int index)
{
    GstVideoInfo info;
    gst_video_info_set_format(&info, GST_VIDEO_FORMAT_I420, width, height);
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&info), nullptr);
    GstVideoFrame frame;
    gst_video_frame_map(&frame, &info, buffer, GST_MAP_WRITE);
    for (int r = 0; r < height; ++r)
        std::memcpy(static_cast<std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)) + r * GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0),
                    &luma[static_cast<size_t>(r) * width], static_cast<size_t>(width));
    for (int p = 1; p < 3; ++p)
        for (int r = 0; r < GST_VIDEO_FRAME_COMP_HEIGHT(&frame, p); ++r)
            std::memset(static_cast<std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, p)) + r * GST_VIDEO_FRAME_PLANE_STRIDE(&frame, p),
                        128, static_cast<size_t>(GST_VIDEO_FRAME_COMP_WIDTH(&frame, p)));
    gst_video_frame_unmap(&frame);
    GST_BUFFER_PTS(buffer) = index * kFrameDuration;
    GST_BUFFER_DURATION(buffer) = kFrameDuration;
    return buffer;
}

std::string capsFor(int width, int height)
{
    return "video/x-raw,format=I420,width=" + std::to_string(width) + ",height=" + std::to_string(height) +
           ",framerate=30/1";
}

// A harness around the element with its own bus for the messages.
struct Element {
    GstHarness* harness;
    GstBus* bus;
    explicit Element(int mode, int lag = 5)
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
    std::vector<GstBuffer*> pullAll()
    {
        std::vector<GstBuffer*> out;
        while (GstBuffer* b = gst_harness_try_pull(harness))
            out.push_back(b);
        return out;
    }
    std::vector<GstStructure*> records()
    {
        std::vector<GstStructure*> out;
        while (GstMessage* m = gst_bus_pop_filtered(bus, GST_MESSAGE_ELEMENT)) {
            const GstStructure* s = gst_message_get_structure(m);
            if (gst_structure_has_name(s, "regviafftstab"))
                out.push_back(gst_structure_copy(s));
            gst_message_unref(m);
        }
        return out;
    }
};

}  // namespace

TEST(RegViaFFTStab, ShiftsComeBackInTheMessagesAndEveryBufferKeepsItsTime)
{
    const int width = 160, height = 120, frames = 30;
    const media::ShakyClip shaky = media::shakyClip(width, height, frames, 5);
    const media::Clip& clip = shaky.clip;
    for (int mode : {kDesign, kCausal, kLag}) {
        Element element(mode);
        gst_harness_set_src_caps_str(element.harness, capsFor(width, height).c_str());
        for (int t = 0; t < frames; ++t)
            ASSERT_EQ(gst_harness_push(element.harness, i420Buffer(clip.lumas[t], width, height, t)), GST_FLOW_OK);
        // Lag mode still holds its look-ahead; end of stream lets it out.
        std::vector<GstBuffer*> out = element.pullAll();
        EXPECT_EQ(out.size(), static_cast<size_t>(mode == kLag ? frames - 5 : frames)) << mode;
        ASSERT_TRUE(gst_harness_push_event(element.harness, gst_event_new_eos()));
        for (GstBuffer* b : element.pullAll())
            out.push_back(b);
        ASSERT_EQ(out.size(), static_cast<size_t>(frames)) << mode;
        for (int t = 0; t < frames; ++t) {
            EXPECT_EQ(GST_BUFFER_PTS(out[t]), t * kFrameDuration) << mode;
            EXPECT_EQ(GST_BUFFER_DURATION(out[t]), kFrameDuration) << mode;
            gst_buffer_unref(out[t]);
        }
        const std::vector<GstStructure*> records = element.records();
        ASSERT_EQ(records.size(), static_cast<size_t>(frames)) << mode;
        for (int t = 0; t < frames; ++t) {
            gint64 index = -1;
            guint64 timestamp = 0;
            gst_structure_get_int64(records[t], "frame", &index);
            gst_structure_get_uint64(records[t], "timestamp", &timestamp);
            EXPECT_EQ(index, t);
            EXPECT_EQ(timestamp, t * kFrameDuration);
            int mx = 0, my = 0;
            gst_structure_get_int(records[t], "whole-motion-x", &mx);
            gst_structure_get_int(records[t], "whole-motion-y", &my);
            // The design mode replaces a motion it finds implausible; none here is.
            EXPECT_EQ(mx, shaky.stepX(t)) << "mode " << mode << " frame " << t;
            EXPECT_EQ(my, shaky.stepY(t)) << "mode " << mode << " frame " << t;
            gst_structure_free(records[t]);
        }
    }
}

TEST(RegViaFFTStab, LatencyIsTheLookAheadInLagModeAndNothingOtherwise)
{
    for (int mode : {kCausal, kLag, kDesign}) {
        Element element(mode, 12);
        gst_harness_set_src_caps_str(element.harness, capsFor(160, 120).c_str());
        gst_harness_set_upstream_latency(element.harness, 0);
        // Twelve frames at 30 per second: 0.4 s exactly, not twelve rounded frame durations.
        EXPECT_EQ(gst_harness_query_latency(element.harness), mode == kLag ? 400 * GST_MSECOND : 0) << mode;
    }
}

TEST(RegViaFFTStab, FlushDropsTheHeldFramesAndStartsAnewPath)
{
    const media::Clip clip = media::shakyClip(160, 120, 20, 9).clip;
    Element element(kLag, 6);
    gst_harness_set_src_caps_str(element.harness, capsFor(160, 120).c_str());
    for (int t = 0; t < 10; ++t)
        ASSERT_EQ(gst_harness_push(element.harness, i420Buffer(clip.lumas[t], 160, 120, t)), GST_FLOW_OK);
    std::vector<GstBuffer*> before = element.pullAll();
    EXPECT_EQ(before.size(), 4u);
    ASSERT_TRUE(gst_harness_push_event(element.harness, gst_event_new_flush_start()));
    ASSERT_TRUE(gst_harness_push_event(element.harness, gst_event_new_flush_stop(TRUE)));
    GstSegment segment;
    gst_segment_init(&segment, GST_FORMAT_TIME);
    ASSERT_TRUE(gst_harness_push_event(element.harness, gst_event_new_segment(&segment)));
    for (int t = 10; t < 20; ++t)
        ASSERT_EQ(gst_harness_push(element.harness, i420Buffer(clip.lumas[t], 160, 120, t)), GST_FLOW_OK);
    ASSERT_TRUE(gst_harness_push_event(element.harness, gst_event_new_eos()));
    // Only the frames after the flush come out, from a new path.
    const std::vector<GstBuffer*> after = element.pullAll();
    ASSERT_EQ(after.size(), 10u);
    for (int t = 0; t < 10; ++t)
        EXPECT_EQ(GST_BUFFER_PTS(after[t]), (10 + t) * kFrameDuration);
    const std::vector<GstStructure*> records = element.records();
    ASSERT_EQ(records.size(), 14u);
    gint64 index = -1;
    gst_structure_get_int64(records[4], "frame", &index);
    EXPECT_EQ(index, 0);
    for (GstBuffer* b : before)
        gst_buffer_unref(b);
    for (GstBuffer* b : after)
        gst_buffer_unref(b);
    for (GstStructure* s : records)
        gst_structure_free(s);
}

TEST(RegViaFFTStab, CapsChangeMidStreamRestartsThePathAndKeepsEveryFrame)
{
    const media::Clip small = media::shakyClip(160, 120, 12, 7).clip, large = media::shakyClip(192, 144, 12, 8).clip;
    Element element(kLag, 4);
    gst_harness_set_src_caps_str(element.harness, capsFor(160, 120).c_str());
    for (int t = 0; t < 12; ++t)
        ASSERT_EQ(gst_harness_push(element.harness, i420Buffer(small.lumas[t], 160, 120, t)), GST_FLOW_OK);
    gst_harness_set_src_caps_str(element.harness, capsFor(192, 144).c_str());
    for (int t = 0; t < 12; ++t)
        ASSERT_EQ(gst_harness_push(element.harness, i420Buffer(large.lumas[t], 192, 144, 12 + t)), GST_FLOW_OK);
    ASSERT_TRUE(gst_harness_push_event(element.harness, gst_event_new_eos()));
    const std::vector<GstBuffer*> out = element.pullAll();
    ASSERT_EQ(out.size(), 24u);
    for (int t = 0; t < 24; ++t) {
        EXPECT_EQ(GST_BUFFER_PTS(out[t]), t * kFrameDuration);
        EXPECT_EQ(gst_buffer_get_size(out[t]), t < 12 ? 160u * 120 * 3 / 2 : 192u * 144 * 3 / 2);
        gst_buffer_unref(out[t]);
    }
    // The second part is a new path: its first frame starts at rest.
    const std::vector<GstStructure*> records = element.records();
    ASSERT_EQ(records.size(), 24u);
    gint64 index = -1;
    gst_structure_get_int64(records[12], "frame", &index);
    EXPECT_EQ(index, 0);
    for (GstStructure* s : records)
        gst_structure_free(s);
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
    const media::Run run = media::runProgram(
        GST_LAUNCH_PROGRAM, {"-m", "videotestsrc", "num-buffers=25", "pattern=ball", "!",
                             "video/x-raw,format=NV12,width=176,height=144", "!", "regviafftstab",
                             "mode=lag", "lag=6", "border=crop", "!", "fakesink"});
    EXPECT_EQ(run.status, 0) << run.errors;
    const media::Run messages = media::runProgram(
        "/bin/sh", {"-c", std::string(GST_LAUNCH_PROGRAM) +
                              " -m videotestsrc num-buffers=25 ! video/x-raw,format=BGRx,width=176,height=144 "
                              "! regviafftstab mode=lag lag=6 ! fakesink | grep -c 'element.*regviafftstab, timestamp' >&2"});
    EXPECT_EQ(messages.errors, "25\n");
}
