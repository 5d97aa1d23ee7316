/* regviafftstab: each frame's global motion measured, the camera path
 * smoothed and the frame rendered shifted to compensate, by the stabiliser
 * API. In lag mode the element holds `lag` frames (its latency); at the end
 * of the stream they all come out. Time stamps pass through unchanged and
 * every frame comes out once. */
#include "gstregviafftstab.h"

#include <gst/video/video.h>

#include <cmath>
#include <deque>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>

#include "regviafft/stabilizer.h"
#include "regviafft_motion_meta.h"

GST_DEBUG_CATEGORY_STATIC(gst_regviafft_stab_debug);
#define GST_CAT_DEFAULT gst_regviafft_stab_debug

namespace {

using regviafft::Border;
using regviafft::PathMode;

enum Property {
    PROP_0,
    PROP_MODE,
    PROP_LAG,
    PROP_SMOOTHNESS,
    PROP_BUDGET,
    PROP_BORDER,
    PROP_WHOLE_PIXEL,
    PROP_TEMPLATE_SIZE,
    PROP_TEMPLATES,
    PROP_DIVISOR,
    PROP_MARGINS,
    PROP_WINDOW,
    PROP_STEADY_THRESHOLD,
    PROP_MESSAGE,
    PROP_ATTACH_META,
};

constexpr int kDefaultLag = 15;
constexpr double kDefaultBudget = 5.0;
constexpr int kDefaultWindow = 30;
constexpr double kDefaultSteadyThreshold = 1.0;
// Latency is counted at this rate when the caps give no frame rate.
constexpr int kAssumedFramesPerSecond = 30;

// What the properties hold; guarded by the object lock.
struct Properties {
    PathMode mode = PathMode::Causal;  // zero latency for live sources
    int lag = kDefaultLag;
    double smoothness = 0.0;  // 0: the mode's own default
    double budget = kDefaultBudget;
    Border border = Border::Black;
    bool wholePixel = false;
    std::string templateSize;  // "WxH" or "N"; empty: from the frame size
    int templates = regviafft::kMaxTemplates;
    int divisor = 0;           // 0: from the frame size
    std::string margins;       // "XxY" or "N"; empty: from the template size
    int window = kDefaultWindow;
    double steadyThreshold = kDefaultSteadyThreshold;
    bool message = true;
    bool attachMeta = false;
};

struct Held {
    std::int64_t id;
    GstBuffer* buffer;
};

// What the streaming thread owns.
struct Stream {
    std::unique_ptr<regviafft::Stabilizer> stabilizer;
    std::deque<Held> held;  // frames pushed and not yet out, oldest first
    GstVideoInfo info;
    std::int64_t nextId = 0;

    void dropHeld()
    {
        for (Held& h : held)
            gst_buffer_unref(h.buffer);
        held.clear();
    }
};

}  // namespace

struct _GstRegViaFFTStab {
    GstBaseTransform parent;
    Properties* properties;  // object lock
    gboolean restart;        // object lock: properties changed since the stabiliser was made
    Stream* stream;          // streaming thread
};

G_DEFINE_TYPE(GstRegViaFFTStab, gst_regviafft_stab, GST_TYPE_BASE_TRANSFORM);
GST_ELEMENT_REGISTER_DEFINE(regviafftstab, "regviafftstab", GST_RANK_NONE, GST_TYPE_REGVIAFFT_STAB);

namespace {

#define REGVIAFFT_STAB_FORMATS "{ I420, NV12, RGBA, BGRA, RGBx, BGRx }"

GstStaticPadTemplate sinkTemplate = GST_STATIC_PAD_TEMPLATE(
    "sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS(GST_VIDEO_CAPS_MAKE(REGVIAFFT_STAB_FORMATS)));
GstStaticPadTemplate srcTemplate = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS(GST_VIDEO_CAPS_MAKE(REGVIAFFT_STAB_FORMATS)));

GType modeType()
{
    static GType type = 0;
    static const GEnumValue values[] = {
        {static_cast<gint>(PathMode::Design), "The registration object's window-and-recentre path", "design"},
        {static_cast<gint>(PathMode::Causal), "A damped tracker of the camera, no latency", "causal"},
        {static_cast<gint>(PathMode::Lag), "A line fit over `lag` frames of look-ahead", "lag"},
        {0, nullptr, nullptr}};
    if (g_once_init_enter(&type))
        g_once_init_leave(&type, g_enum_register_static("GstRegViaFFTStabMode", values));
    return type;
}

GType borderType()
{
    static GType type = 0;
    static const GEnumValue values[] = {
        {static_cast<gint>(Border::Black), "Uncovered pixels are black", "black"},
        {static_cast<gint>(Border::Edge), "Uncovered pixels repeat the nearest edge", "edge"},
        {static_cast<gint>(Border::Crop), "A fixed zoom keeps the budget out of view", "crop"},
        {0, nullptr, nullptr}};
    if (g_once_init_enter(&type))
        g_once_init_leave(&type, g_enum_register_static("GstRegViaFFTStabBorder", values));
    return type;
}

// "WxH" or "N" into two positive sides; false when it is neither.
bool parsePair(const std::string& text, int& first, int& second)
{
    if (text.empty())
        return true;
    int a = 0, b = 0;
    char x = 0, rest = 0;
    const int read = std::sscanf(text.c_str(), "%d%c%d%c", &a, &x, &b, &rest);
    if (read == 1 && a >= 0) {
        first = second = a;
        return true;
    }
    if (read == 3 && x == 'x' && a >= 0 && b >= 0) {
        first = a;
        second = b;
        return true;
    }
    return false;
}

regviafft::PixelFormat pixelFormatOf(GstVideoFormat format)
{
    switch (format) {
    case GST_VIDEO_FORMAT_I420:
        return regviafft::PixelFormat::I420;
    case GST_VIDEO_FORMAT_NV12:
        return regviafft::PixelFormat::NV12;
    default:
        return regviafft::PixelFormat::Packed4;
    }
}

regviafft::Settings settingsFor(const Properties& p, const GstVideoInfo& info, bool measurement)
{
    regviafft::Settings s;
    s.width = GST_VIDEO_INFO_WIDTH(&info);
    s.height = GST_VIDEO_INFO_HEIGHT(&info);
    s.mode = p.mode;
    s.lag = p.lag;
    if (p.smoothness > 0.0)
        s.smoothness = p.smoothness;
    s.budgetPercent = p.budget;
    s.border = p.border;
    s.wholePixel = p.wholePixel;
    s.fullRange = info.colorimetry.range == GST_VIDEO_COLOR_RANGE_0_255;
    s.windowLength = p.window;
    s.steadyThreshold = p.steadyThreshold;
    if (!measurement)
        return s;
    int w = 0, h = 0;
    if (!p.templateSize.empty() && parsePair(p.templateSize, w, h)) {
        s.templateWidth = w;
        s.templateHeight = h;
    }
    if (!p.margins.empty() && parsePair(p.margins, w, h)) {
        s.marginX = w;
        s.marginY = h;
    }
    s.templateCount = p.templates;
    if (p.divisor > 0)
        s.divisor = p.divisor;
    return s;
}

regviafft::FrameView viewOf(GstVideoFrame& frame)
{
    const int width = GST_VIDEO_FRAME_WIDTH(&frame), height = GST_VIDEO_FRAME_HEIGHT(&frame);
    const auto plane = [&frame](int p) {
        return regviafft::Plane{static_cast<std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, p)),
                                GST_VIDEO_FRAME_PLANE_STRIDE(&frame, p)};
    };
    switch (pixelFormatOf(GST_VIDEO_FRAME_FORMAT(&frame))) {
    case regviafft::PixelFormat::I420:
        return regviafft::FrameView::i420(width, height, plane(0), plane(1), plane(2));
    case regviafft::PixelFormat::NV12:
        return regviafft::FrameView::nv12(width, height, plane(0), plane(1));
    default:
        return regviafft::FrameView::packed(plane(0).data, width, height, plane(0).stride);
    }
}

Properties snapshot(GstRegViaFFTStab* self)
{
    GST_OBJECT_LOCK(self);
    const Properties p = *self->properties;
    self->restart = FALSE;
    GST_OBJECT_UNLOCK(self);
    return p;
}

// A stabiliser for the negotiated frames; measurement settings that do not
// suit the frame size give way to the derived ones, with a warning.
bool makeStabilizer(GstRegViaFFTStab* self)
{
    const Properties p = snapshot(self);
    Stream& s = *self->stream;
    s.dropHeld();
    s.nextId = 0;
    s.stabilizer.reset();
    try {
        s.stabilizer = std::make_unique<regviafft::Stabilizer>(settingsFor(p, s.info, true));
        return true;
    } catch (const std::invalid_argument& e) {
        GST_ELEMENT_WARNING(self, LIBRARY, SETTINGS, ("Measurement settings do not suit the frames"),
                            ("%s; using the ones derived from the frame size", e.what()));
    }
    try {
        s.stabilizer = std::make_unique<regviafft::Stabilizer>(settingsFor(p, s.info, false));
        return true;
    } catch (const std::exception& e) {
        GST_ELEMENT_ERROR(self, LIBRARY, SETTINGS, ("Cannot stabilise these frames"), ("%s", e.what()));
    }
    return false;
}

GstClockTime latencyOf(GstRegViaFFTStab* self)
{
    GST_OBJECT_LOCK(self);
    const bool lag = self->properties->mode == PathMode::Lag;
    const int frames = self->properties->lag;
    GST_OBJECT_UNLOCK(self);
    if (!lag)
        return 0;
    const GstVideoInfo& info = self->stream->info;
    const int num = GST_VIDEO_INFO_FPS_N(&info) > 0 ? GST_VIDEO_INFO_FPS_N(&info) : kAssumedFramesPerSecond;
    const int den = GST_VIDEO_INFO_FPS_N(&info) > 0 ? GST_VIDEO_INFO_FPS_D(&info) : 1;
    return gst_util_uint64_scale(static_cast<guint64>(frames) * GST_SECOND, den, num);
}

void postRecord(GstRegViaFFTStab* self, const regviafft::MotionRecord& r, GstBuffer* buffer)
{
    const GstSegment& segment = GST_BASE_TRANSFORM(self)->segment;
    const GstClockTime pts = GST_BUFFER_PTS(buffer);
    GstStructure* s = gst_structure_new(
        "regviafftstab", "timestamp", G_TYPE_UINT64, pts,
        "stream-time", G_TYPE_UINT64, gst_segment_to_stream_time(&segment, GST_FORMAT_TIME, pts),
        "running-time", G_TYPE_UINT64, gst_segment_to_running_time(&segment, GST_FORMAT_TIME, pts),
        "duration", G_TYPE_UINT64, GST_BUFFER_DURATION(buffer), "frame", G_TYPE_INT64, r.index,
        "analysed", G_TYPE_BOOLEAN, r.analysed, "cut", G_TYPE_BOOLEAN, r.cut,
        "motion-x", G_TYPE_DOUBLE, r.motionX, "motion-y", G_TYPE_DOUBLE, r.motionY,
        "whole-motion-x", G_TYPE_INT, r.wholeMotionX, "whole-motion-y", G_TYPE_INT, r.wholeMotionY,
        "peak", G_TYPE_DOUBLE, r.peak, "votes", G_TYPE_INT, r.votes, "templates", G_TYPE_INT,
        r.templateCount, "path-x", G_TYPE_DOUBLE, r.pathX, "path-y", G_TYPE_DOUBLE, r.pathY,
        "correction-x", G_TYPE_DOUBLE, r.correctionX, "correction-y", G_TYPE_DOUBLE, r.correctionY,
        nullptr);
    gst_element_post_message(GST_ELEMENT(self), gst_message_new_element(GST_OBJECT(self), s));
}

void attachRecord(const regviafft::MotionRecord& r, GstBuffer* buffer)
{
    auto* meta = reinterpret_cast<GstRegViaFFTMotionMeta*>(
        gst_buffer_add_meta(buffer, gst_regviafft_motion_meta_get_info(), nullptr));
    meta->index = r.index;
    meta->analysed = r.analysed;
    meta->cut = r.cut;
    meta->motion_x = r.motionX;
    meta->motion_y = r.motionY;
    meta->whole_motion_x = r.wholeMotionX;
    meta->whole_motion_y = r.wholeMotionY;
    meta->peak = r.peak;
    meta->votes = r.votes;
    meta->template_count = r.templateCount;
    meta->path_x = r.pathX;
    meta->path_y = r.pathY;
    meta->correction_x = r.correctionX;
    meta->correction_y = r.correctionY;
}

// The frame of the next final record, rendered in its own buffer; null when
// no record is final yet.
GstFlowReturn nextOutput(GstRegViaFFTStab* self, GstBuffer** out)
{
    *out = nullptr;
    Stream& s = *self->stream;
    if (!s.stabilizer)
        return GST_FLOW_OK;
    regviafft::MotionRecord record;
    if (s.stabilizer->pull(record) != regviafft::Pull::Ready)
        return GST_FLOW_OK;
    // Records come out in push order: the oldest held frame is this one.
    GstBuffer* buffer = gst_buffer_make_writable(s.held.front().buffer);
    s.held.pop_front();
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &s.info, buffer, GST_MAP_READWRITE)) {
        gst_buffer_unref(buffer);
        GST_ELEMENT_ERROR(self, STREAM, FAILED, ("Cannot map a frame"), (nullptr));
        return GST_FLOW_ERROR;
    }
    const regviafft::FrameView view = viewOf(frame);
    try {
        s.stabilizer->render(record, view, view);
    } catch (const std::exception& e) {
        gst_video_frame_unmap(&frame);
        gst_buffer_unref(buffer);
        GST_ELEMENT_ERROR(self, STREAM, FAILED, ("Cannot render a frame"), ("%s", e.what()));
        return GST_FLOW_ERROR;
    }
    gst_video_frame_unmap(&frame);
    GST_OBJECT_LOCK(self);
    const bool message = self->properties->message, meta = self->properties->attachMeta;
    GST_OBJECT_UNLOCK(self);
    if (meta)
        attachRecord(record, buffer);
    if (message)
        postRecord(self, record, buffer);
    *out = buffer;
    return GST_FLOW_OK;
}

// Ends the stream: every held frame goes downstream now.
GstFlowReturn drain(GstRegViaFFTStab* self)
{
    Stream& s = *self->stream;
    if (!s.stabilizer)
        return GST_FLOW_OK;
    s.stabilizer->finish();
    GstFlowReturn flow = GST_FLOW_OK;
    for (GstBuffer* out = nullptr; flow == GST_FLOW_OK;) {
        flow = nextOutput(self, &out);
        if (out == nullptr)
            break;
        flow = gst_pad_push(GST_BASE_TRANSFORM_SRC_PAD(self), out);
    }
    s.dropHeld();
    return flow;
}

GstFlowReturn submitInputBuffer(GstBaseTransform* trans, gboolean, GstBuffer* input)
{
    auto* self = GST_REGVIAFFT_STAB(trans);
    Stream& s = *self->stream;
    GST_OBJECT_LOCK(self);
    const bool restart = self->restart;
    GST_OBJECT_UNLOCK(self);
    // New property values start a new path, after the frames already held.
    if (restart) {
        const GstFlowReturn flow = drain(self);
        if (flow != GST_FLOW_OK || !makeStabilizer(self)) {
            gst_buffer_unref(input);
            return flow != GST_FLOW_OK ? flow : GST_FLOW_NOT_NEGOTIATED;
        }
        gst_element_post_message(GST_ELEMENT(self), gst_message_new_latency(GST_OBJECT(self)));
    }
    if (!s.stabilizer) {
        gst_buffer_unref(input);
        return GST_FLOW_NOT_NEGOTIATED;
    }
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &s.info, input, GST_MAP_READ)) {
        gst_buffer_unref(input);
        GST_ELEMENT_ERROR(self, STREAM, FAILED, ("Cannot map a frame"), (nullptr));
        return GST_FLOW_ERROR;
    }
    try {
        s.stabilizer->push(viewOf(frame), s.nextId);
    } catch (const std::exception& e) {
        gst_video_frame_unmap(&frame);
        gst_buffer_unref(input);
        GST_ELEMENT_ERROR(self, STREAM, FAILED, ("Cannot measure a frame"), ("%s", e.what()));
        return GST_FLOW_ERROR;
    }
    gst_video_frame_unmap(&frame);
    s.held.push_back({s.nextId++, input});
    return GST_FLOW_OK;
}

GstFlowReturn generateOutput(GstBaseTransform* trans, GstBuffer** out)
{
    return nextOutput(GST_REGVIAFFT_STAB(trans), out);
}

gboolean setCaps(GstBaseTransform* trans, GstCaps* incaps, GstCaps*)
{
    auto* self = GST_REGVIAFFT_STAB(trans);
    GstVideoInfo info;
    if (!gst_video_info_from_caps(&info, incaps))
        return FALSE;
    self->stream->info = info;
    const bool made = makeStabilizer(self);
    if (made)
        gst_element_post_message(GST_ELEMENT(self), gst_message_new_latency(GST_OBJECT(self)));
    return made;
}

gboolean sinkEvent(GstBaseTransform* trans, GstEvent* event)
{
    auto* self = GST_REGVIAFFT_STAB(trans);
    switch (GST_EVENT_TYPE(event)) {
    case GST_EVENT_EOS:
        drain(self);
        break;
    case GST_EVENT_CAPS:
        // The frames held go out under the caps they came with; the path
        // starts again with the new ones.
        drain(self);
        if (self->stream->stabilizer)
            self->stream->stabilizer->reset();
        self->stream->nextId = 0;
        break;
    case GST_EVENT_FLUSH_STOP:
        if (self->stream->stabilizer)
            self->stream->stabilizer->reset();
        self->stream->dropHeld();
        self->stream->nextId = 0;
        break;
    default:
        break;
    }
    return GST_BASE_TRANSFORM_CLASS(gst_regviafft_stab_parent_class)->sink_event(trans, event);
}

gboolean query(GstBaseTransform* trans, GstPadDirection direction, GstQuery* query)
{
    auto* self = GST_REGVIAFFT_STAB(trans);
    if (direction != GST_PAD_SRC || GST_QUERY_TYPE(query) != GST_QUERY_LATENCY)
        return GST_BASE_TRANSFORM_CLASS(gst_regviafft_stab_parent_class)->query(trans, direction, query);
    if (!gst_pad_peer_query(GST_BASE_TRANSFORM_SINK_PAD(trans), query))
        return FALSE;
    gboolean live = FALSE;
    GstClockTime min = 0, max = 0;
    gst_query_parse_latency(query, &live, &min, &max);
    const GstClockTime ours = latencyOf(self);
    gst_query_set_latency(query, live, min + ours, GST_CLOCK_TIME_IS_VALID(max) ? max + ours : max);
    return TRUE;
}

gboolean stop(GstBaseTransform* trans)
{
    auto* self = GST_REGVIAFFT_STAB(trans);
    self->stream->dropHeld();
    self->stream->stabilizer.reset();
    return TRUE;
}

void setProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec)
{
    auto* self = GST_REGVIAFFT_STAB(object);
    GST_OBJECT_LOCK(self);
    Properties& p = *self->properties;
    switch (id) {
    case PROP_MODE:
        p.mode = static_cast<PathMode>(g_value_get_enum(value));
        break;
    case PROP_LAG:
        p.lag = g_value_get_int(value);
        break;
    case PROP_SMOOTHNESS:
        p.smoothness = g_value_get_double(value);
        break;
    case PROP_BUDGET:
        p.budget = g_value_get_double(value);
        break;
    case PROP_BORDER:
        p.border = static_cast<Border>(g_value_get_enum(value));
        break;
    case PROP_WHOLE_PIXEL:
        p.wholePixel = g_value_get_boolean(value);
        break;
    case PROP_TEMPLATE_SIZE:
    case PROP_MARGINS: {
        const gchar* text = g_value_get_string(value);
        const std::string given = text != nullptr ? text : "";
        int a = 0, b = 0;
        if (!parsePair(given, a, b)) {
            g_warning("regviafftstab: %s must be WxH or N pixels, not '%s'", g_param_spec_get_name(pspec),
                      given.c_str());
            break;
        }
        (id == PROP_TEMPLATE_SIZE ? p.templateSize : p.margins) = given;
        break;
    }
    case PROP_TEMPLATES:
        p.templates = g_value_get_int(value);
        break;
    case PROP_DIVISOR:
        p.divisor = g_value_get_int(value);
        break;
    case PROP_WINDOW:
        p.window = g_value_get_int(value);
        break;
    case PROP_STEADY_THRESHOLD:
        p.steadyThreshold = g_value_get_double(value);
        break;
    case PROP_MESSAGE:
        p.message = g_value_get_boolean(value);
        break;
    case PROP_ATTACH_META:
        p.attachMeta = g_value_get_boolean(value);
        break;
    default:
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
        break;
    }
    // Whether to report and how to path: only the former needs no new path.
    if (id != PROP_MESSAGE && id != PROP_ATTACH_META)
        self->restart = TRUE;
    GST_OBJECT_UNLOCK(self);
}

void getProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec)
{
    auto* self = GST_REGVIAFFT_STAB(object);
    GST_OBJECT_LOCK(self);
    const Properties& p = *self->properties;
    switch (id) {
    case PROP_MODE:
        g_value_set_enum(value, static_cast<gint>(p.mode));
        break;
    case PROP_LAG:
        g_value_set_int(value, p.lag);
        break;
    case PROP_SMOOTHNESS:
        g_value_set_double(value, p.smoothness);
        break;
    case PROP_BUDGET:
        g_value_set_double(value, p.budget);
        break;
    case PROP_BORDER:
        g_value_set_enum(value, static_cast<gint>(p.border));
        break;
    case PROP_WHOLE_PIXEL:
        g_value_set_boolean(value, p.wholePixel);
        break;
    case PROP_TEMPLATE_SIZE:
        g_value_set_string(value, p.templateSize.c_str());
        break;
    case PROP_MARGINS:
        g_value_set_string(value, p.margins.c_str());
        break;
    case PROP_TEMPLATES:
        g_value_set_int(value, p.templates);
        break;
    case PROP_DIVISOR:
        g_value_set_int(value, p.divisor);
        break;
    case PROP_WINDOW:
        g_value_set_int(value, p.window);
        break;
    case PROP_STEADY_THRESHOLD:
        g_value_set_double(value, p.steadyThreshold);
        break;
    case PROP_MESSAGE:
        g_value_set_boolean(value, p.message);
        break;
    case PROP_ATTACH_META:
        g_value_set_boolean(value, p.attachMeta);
        break;
    default:
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
        break;
    }
    GST_OBJECT_UNLOCK(self);
}

void finalize(GObject* object)
{
    auto* self = GST_REGVIAFFT_STAB(object);
    self->stream->dropHeld();
    delete self->stream;
    delete self->properties;
    G_OBJECT_CLASS(gst_regviafft_stab_parent_class)->finalize(object);
}

constexpr GParamFlags kFlags =
    static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | GST_PARAM_MUTABLE_PLAYING);

void installProperties(GObjectClass* c)
{
    const Properties defaults;
    g_object_class_install_property(c, PROP_MODE, g_param_spec_enum("mode", "Mode",
        "How the camera path is smoothed: causal reacts at once (no latency), lag looks ahead and is "
        "the steadiest, design is the registration object's own path",
        modeType(), static_cast<gint>(defaults.mode), kFlags));
    g_object_class_install_property(c, PROP_LAG, g_param_spec_int("lag", "Lag",
        "Frames of look-ahead in lag mode, the element's latency", 0, regviafft::kMaxLag, defaults.lag, kFlags));
    g_object_class_install_property(c, PROP_SMOOTHNESS, g_param_spec_double("smoothness", "Smoothness",
        "How smooth the path is, in frames; larger is steadier but follows moves later "
        "(0: 25 in causal mode, 12 in lag mode)", 0.0, 250.0, defaults.smoothness, kFlags));
    g_object_class_install_property(c, PROP_BUDGET, g_param_spec_double("budget", "Budget",
        "The most the picture may move to compensate, in percent of each dimension; a move beyond "
        "it is followed", 0.0, 25.0, defaults.budget, kFlags));
    g_object_class_install_property(c, PROP_BORDER, g_param_spec_enum("border", "Border",
        "What fills the edge the picture moves away from", borderType(),
        static_cast<gint>(defaults.border), kFlags));
    g_object_class_install_property(c, PROP_WHOLE_PIXEL, g_param_spec_boolean("whole-pixel",
        "Whole pixel", "Move the picture by whole pixels only (no interpolation)", defaults.wholePixel, kFlags));
    g_object_class_install_property(c, PROP_TEMPLATE_SIZE, g_param_spec_string("template-size",
        "Template size", "Size of the patches motion is measured on, WxH or N pixels "
        "(empty: from the frame size)", "", kFlags));
    g_object_class_install_property(c, PROP_TEMPLATES, g_param_spec_int("templates", "Templates",
        "How many patches motion is measured on", 1, regviafft::kMaxTemplates, defaults.templates, kFlags));
    g_object_class_install_property(c, PROP_DIVISOR, g_param_spec_int("divisor", "Divisor",
        "Frames are reduced this many times for analysis (0: from the frame size)", 0,
        regviafft::kMaxFrameSide, defaults.divisor, kFlags));
    g_object_class_install_property(c, PROP_MARGINS, g_param_spec_string("margins", "Margins",
        "Columns and rows at the edges kept free of patches, XxY or N pixels "
        "(empty: a quarter of the patch)", "", kFlags));
    g_object_class_install_property(c, PROP_WINDOW, g_param_spec_int("window", "Window",
        "Design mode: frames the camera path is judged over (0: no stabilisation)", 0, 100000,
        defaults.window, kFlags));
    g_object_class_install_property(c, PROP_STEADY_THRESHOLD, g_param_spec_double("steady-threshold",
        "Steady threshold", "Design mode: a window whose motions stay this close to their mean, in "
        "pixels, is re-centred", 0.0, 1e6, defaults.steadyThreshold, kFlags));
    g_object_class_install_property(c, PROP_MESSAGE, g_param_spec_boolean("message", "Message",
        "Post each frame's motion record as an element message named regviafftstab",
        defaults.message, kFlags));
    g_object_class_install_property(c, PROP_ATTACH_META, g_param_spec_boolean("attach-meta",
        "Attach meta", "Attach each frame's motion record to its buffer (GstRegViaFFTMotionMeta)",
        defaults.attachMeta, kFlags));
}

}  // namespace

static void gst_regviafft_stab_class_init(GstRegViaFFTStabClass* klass)
{
    GObjectClass* object = G_OBJECT_CLASS(klass);
    GstElementClass* element = GST_ELEMENT_CLASS(klass);
    GstBaseTransformClass* transform = GST_BASE_TRANSFORM_CLASS(klass);
    GST_DEBUG_CATEGORY_INIT(gst_regviafft_stab_debug, "regviafftstab", 0, "video stabilisation");
    object->set_property = setProperty;
    object->get_property = getProperty;
    object->finalize = finalize;
    installProperties(object);
    gst_element_class_set_static_metadata(element, "Video stabiliser", "Filter/Effect/Video",
        "Steadies shaky video: measures each frame's motion by phase correlation, smooths the "
        "camera path and shifts the frame to compensate; each frame's motion record is posted "
        "as an element message",
        "regviafft developers");
    gst_element_class_add_static_pad_template(element, &sinkTemplate);
    gst_element_class_add_static_pad_template(element, &srcTemplate);
    transform->passthrough_on_same_caps = FALSE;
    transform->set_caps = setCaps;
    transform->submit_input_buffer = submitInputBuffer;
    transform->generate_output = generateOutput;
    transform->sink_event = sinkEvent;
    transform->query = query;
    transform->stop = stop;
    gst_type_mark_as_plugin_api(modeType(), static_cast<GstPluginAPIFlags>(0));
    gst_type_mark_as_plugin_api(borderType(), static_cast<GstPluginAPIFlags>(0));
}

static void gst_regviafft_stab_init(GstRegViaFFTStab* self)
{
    self->properties = new Properties;
    self->stream = new Stream;
    self->restart = FALSE;
    gst_video_info_init(&self->stream->info);
}
