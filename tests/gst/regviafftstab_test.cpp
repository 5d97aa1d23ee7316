// The regviafftstab element through GstHarness and gst-launch-1.0: motion in
// its messages, every buffer out once with its time stamps, latency, end of
// stream, flushes, caps changes and bad property values.
#include <gtest/gtest.h>

#include <gst/check/gstharness.h>
#include <gst/gst.h>

#include <fstream>
#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include "media_files.h"
#include "option_edges.h"
#include "regviafft/options.h"
#include "regviafft/record_fields.h"
#include "regviafft_motion_meta.h"

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
                gint64 x = 0, y = 0;
                gst_structure_get_int64(s, "index", &r.frame);
                gst_structure_get_uint64(s, "timestamp", &r.timestamp);
                gst_structure_get_int64(s, "whole_motion_x", &x);
                gst_structure_get_int64(s, "whole_motion_y", &y);
                r.motionX = static_cast<int>(x);
                r.motionY = static_cast<int>(y);
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
    g_object_set(element.harness->element, "lag", 500, "budget", 40.0, "templates", 11, nullptr);
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
    EXPECT_EQ(budget, regviafft::Settings{}.budgetPercent);
    EXPECT_EQ(templates, 0);  // unset: as many as there are
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

namespace {

// What a GValue holds, as the option table spells it.
std::string spelt(const GValue* value)
{
    if (G_VALUE_HOLDS_ENUM(value)) {
        GEnumClass* type = static_cast<GEnumClass*>(g_type_class_ref(G_VALUE_TYPE(value)));
        const std::string nick = g_enum_get_value(type, g_value_get_enum(value))->value_nick;
        g_type_class_unref(type);
        return nick;
    }
    if (G_VALUE_HOLDS_STRING(value))
        return g_value_get_string(value) != nullptr ? g_value_get_string(value) : "";
    if (G_VALUE_HOLDS_BOOLEAN(value))
        return g_value_get_boolean(value) ? "true" : "false";
    if (G_VALUE_HOLDS_INT(value))
        return std::to_string(g_value_get_int(value));
    std::ostringstream text;
    text << std::setprecision(15) << g_value_get_double(value);
    return text.str();
}

std::vector<std::string> fieldNames(const GstStructure* s)
{
    std::vector<std::string> names;
    for (int i = 0; i < gst_structure_n_fields(s); ++i)
        names.push_back(gst_structure_nth_field_name(s, i));
    return names;
}

int gWarnings = 0;
void countWarning(const gchar*, GLogLevelFlags, const gchar*, gpointer)
{
    ++gWarnings;
}

}  // namespace

TEST(RegViaFFTStab, PropertiesAreTheOptionTableWithItsDefaultsExceptTheCausalMode)
{
    GstElement* element = gst_element_factory_make("regviafftstab", nullptr);
    ASSERT_NE(element, nullptr);
    GObjectClass* klass = G_OBJECT_GET_CLASS(element);
    regviafft::Settings expected;
    expected.mode = regviafft::PathMode::Causal;  // live pipelines cannot afford the look-ahead
    for (const auto& option : regviafft::settingsOptions()) {
        GParamSpec* property = g_object_class_find_property(klass, option.name);
        ASSERT_NE(property, nullptr) << option.name;
        EXPECT_NE(std::string(g_param_spec_get_blurb(property)).find(option.help + 1), std::string::npos) << option.name;
        // The default, and the range, below which 0 means unset for an optional option.
        GValue value = G_VALUE_INIT;
        g_value_init(&value, property->value_type);
        g_param_value_set_default(property, &value);
        EXPECT_EQ(spelt(&value), option.isSet(expected) ? option.text(expected) : option.rule.kind == regviafft::OptionKind::Pair ? "" : "0")
            << option.name;
        g_value_unset(&value);
        const double lo = option.derived.empty() ? option.rule.lo : 0.0;
        if (G_IS_PARAM_SPEC_INT(property)) {
            EXPECT_EQ(G_PARAM_SPEC_INT(property)->minimum, lo) << option.name;
            EXPECT_EQ(G_PARAM_SPEC_INT(property)->maximum, option.rule.hi) << option.name;
        } else if (G_IS_PARAM_SPEC_DOUBLE(property)) {
            EXPECT_EQ(G_PARAM_SPEC_DOUBLE(property)->minimum, lo) << option.name;
            EXPECT_EQ(G_PARAM_SPEC_DOUBLE(property)->maximum, option.rule.hi) << option.name;
        }
        // Every accepted edge is taken and read back as the table spells it;
        // a size beyond the range is refused with a warning, the value kept.
        const option_edges::Edges edges = option_edges::edgesOf(option.rule);
        for (const std::string& text : edges.accepted) {
            gst_util_set_object_arg(G_OBJECT(element), option.name, text.c_str());
            regviafft::Settings parsed;
            option.parse(parsed, text);
            GValue read = G_VALUE_INIT;
            g_value_init(&read, property->value_type);
            g_object_get_property(G_OBJECT(element), option.name, &read);
            EXPECT_EQ(spelt(&read), option.text(parsed)) << option.name;
            g_value_unset(&read);
        }
        if (option.rule.kind != regviafft::OptionKind::Pair)
            continue;
        const guint handler = g_log_set_handler(nullptr, G_LOG_LEVEL_WARNING, countWarning, nullptr);
        gWarnings = 0;
        for (const std::string& text : edges.refused)
            g_object_set(element, option.name, text.c_str(), nullptr);
        g_log_remove_handler(nullptr, handler);
        EXPECT_EQ(gWarnings, static_cast<int>(edges.refused.size())) << option.name;
    }
    EXPECT_NE(std::string(g_param_spec_get_blurb(g_object_class_find_property(klass, "mode"))).find("live pipelines"),
              std::string::npos);
    gst_object_unref(element);
}

TEST(RegViaFFTStab, MessageAndMetaCarryTheRecordFieldsInOrderAfterTheTimes)
{
    const media::Clip clip = media::shakyClip(160, 120, 5, 3).clip;
    Element element(kCausal);
    g_object_set(element.harness->element, "attach-meta", TRUE, nullptr);
    element.push(clip, 0);
    std::vector<std::string> expected = {"timestamp", "stream-time", "running-time", "duration"};
    for (const regviafft::RecordField& field : regviafft::recordFields())
        expected.push_back(field.name());
    expected.push_back("templates");
    std::vector<std::string> templateExpected;
    for (const regviafft::TemplateField& field : regviafft::templateFields())
        templateExpected.push_back(field.name());
    const GType metaApi = g_type_from_name("GstRegViaFFTMotionMetaAPI");
    ASSERT_NE(metaApi, G_TYPE_INVALID);
    for (int t = 0; t < 5; ++t) {
        GstMessage* message = gst_bus_pop_filtered(element.bus, GST_MESSAGE_ELEMENT);
        ASSERT_NE(message, nullptr);
        const GstStructure* posted = gst_message_get_structure(message);
        EXPECT_EQ(fieldNames(posted), expected);
        // One structure per template, with the template fields.
        gint64 templateCount = -1;
        ASSERT_TRUE(gst_structure_get_int64(posted, "template_count", &templateCount));
        const GValue* templates = gst_structure_get_value(posted, "templates");
        ASSERT_EQ(gst_value_array_get_size(templates), static_cast<guint>(templateCount));
        ASSERT_GT(templateCount, 0);
        const GstStructure* first = gst_value_get_structure(gst_value_array_get_value(templates, 0));
        EXPECT_EQ(fieldNames(first), templateExpected);
        GstBuffer* buffer = gst_harness_pull(element.harness);
        const auto* meta = reinterpret_cast<const GstRegViaFFTMotionMeta*>(gst_buffer_get_meta(buffer, metaApi));
        ASSERT_NE(meta, nullptr);
        EXPECT_TRUE(gst_structure_is_equal(meta->record, posted)) << t;
        // A copy of the buffer carries its own copy of the record.
        GstBuffer* copy = gst_buffer_copy(buffer);
        gst_buffer_unref(buffer);
        const auto* copied = reinterpret_cast<const GstRegViaFFTMotionMeta*>(gst_buffer_get_meta(copy, metaApi));
        ASSERT_NE(copied, nullptr);
        EXPECT_TRUE(gst_structure_is_equal(copied->record, posted)) << t;
        gint64 index = -1;
        EXPECT_TRUE(gst_structure_get_int64(copied->record, "index", &index));
        EXPECT_EQ(index, t);
        gst_buffer_unref(copy);
        gst_message_unref(message);
    }
}

TEST(RegViaFFTStab, AMeasurementThatDoesNotSuitTheFramesGivesWayWithAWarningNamingIt)
{
    const media::ShakyClip shaky = media::shakyClip(160, 120, 8, 4);
    Element element(kCausal);
    g_object_set(element.harness->element, "template-size", "400x32", "divisor", 2, nullptr);
    element.push(shaky.clip, 0);
    std::vector<std::string> warnings;
    std::vector<gint64> motions;
    while (GstMessage* m = gst_bus_pop(element.bus)) {
        if (GST_MESSAGE_TYPE(m) == GST_MESSAGE_WARNING) {
            GError* error = nullptr;
            gchar* debug = nullptr;
            gst_message_parse_warning(m, &error, &debug);
            warnings.push_back(debug);
            g_error_free(error);
            g_free(debug);
        } else if (GST_MESSAGE_TYPE(m) == GST_MESSAGE_ELEMENT) {
            gint64 x = 0;
            gst_structure_get_int64(gst_message_get_structure(m), "whole_motion_x", &x);
            motions.push_back(x);
        }
        gst_message_unref(m);
    }
    // One warning: the divisor the frames suit is kept, the size derived from them.
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("template-size: must be a whole number from 2 to 160, got 400"), std::string::npos)
        << warnings[0];
    ASSERT_EQ(motions.size(), 8u);
    for (int t = 1; t < 8; ++t)
        EXPECT_EQ(motions[t], shaky.stepX(t)) << t;
}
