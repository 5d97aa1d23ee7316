/* regviafftstab: each frame's global motion measured, the camera path
 * smoothed and the frame rendered shifted to compensate, by the stabiliser
 * API. In lag mode the element holds `lag` frames (its latency); at the end
 * of the stream they all come out. Time stamps pass through unchanged and
 * every frame comes out once. */
#include "gstregviafftstab.h"

#include <gst/video/video.h>

#include <atomic>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

#include "element_properties.h"
#include "motion_record_structure.h"
#include "regviafft/frame_queue.h"
#include "regviafft/options.h"
#include "regviafft/stabilizer.h"
#include "regviafft_motion_meta.h"

GST_DEBUG_CATEGORY_STATIC(gst_regviafft_stab_debug);
#define GST_CAT_DEFAULT gst_regviafft_stab_debug

namespace {

// Latency is counted at this rate when the caps give no frame rate.
constexpr int kAssumedFramesPerSecond = 30;

// One reference to a buffer, held by the frame queue until its frame is out.
class BufferRef {
public:
    BufferRef() = default;
    explicit BufferRef(GstBuffer* buffer) : buffer_(buffer) {}
    BufferRef(BufferRef&& other) noexcept : buffer_(std::exchange(other.buffer_, nullptr)) {}
    BufferRef& operator=(BufferRef&& other) noexcept
    {
        if (this != &other) {
            drop();
            buffer_ = std::exchange(other.buffer_, nullptr);
        }
        return *this;
    }
    ~BufferRef() { drop(); }
    GstBuffer* release() { return std::exchange(buffer_, nullptr); }

private:
    void drop()
    {
        if (buffer_ != nullptr)
            gst_buffer_unref(buffer_);
        buffer_ = nullptr;
    }
    GstBuffer* buffer_ = nullptr;
};

// What the streaming thread owns.
struct Stream {
    // The stabiliser with the buffers it still needs.
    std::unique_ptr<regviafft::FrameQueue<BufferRef>> queue;
    // The stabiliser's latency in frames, for queries from any thread.
    std::atomic<int> latencyFrames{0};
    GstVideoInfo info;
};

}  // namespace

struct _GstRegViaFFTStab {
    GstBaseTransform parent;
    ElementProperties* properties;  // object lock
    gboolean restart;               // object lock: properties changed since the stabiliser was made
    Stream* stream;                 // streaming thread
};

G_DEFINE_TYPE(GstRegViaFFTStab, gst_regviafft_stab, GST_TYPE_BASE_TRANSFORM);
GST_ELEMENT_REGISTER_DEFINE(regviafftstab, "regviafftstab", GST_RANK_NONE, GST_TYPE_REGVIAFFT_STAB);

namespace {

#define REGVIAFFT_STAB_FORMATS "{ I420, NV12, RGBA, BGRA, RGBx, BGRx }"

GstStaticPadTemplate sinkTemplate = GST_STATIC_PAD_TEMPLATE(
    "sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS(GST_VIDEO_CAPS_MAKE(REGVIAFFT_STAB_FORMATS)));
GstStaticPadTemplate srcTemplate = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS(GST_VIDEO_CAPS_MAKE(REGVIAFFT_STAB_FORMATS)));

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

regviafft::Settings settingsFor(const ElementProperties& p, const GstVideoInfo& info)
{
    regviafft::Settings s = p.settings;
    s.width = GST_VIDEO_INFO_WIDTH(&info);
    s.height = GST_VIDEO_INFO_HEIGHT(&info);
    s.fullRange = info.colorimetry.range == GST_VIDEO_COLOR_RANGE_0_255;
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

ElementProperties snapshot(GstRegViaFFTStab* self)
{
    GST_OBJECT_LOCK(self);
    const ElementProperties p = *self->properties;
    self->restart = FALSE;
    GST_OBJECT_UNLOCK(self);
    return p;
}

// A stabiliser for the negotiated frames. A value that does not suit the
// frame size (a measurement set for other frames) gives way to the one
// derived from the frames, with a warning naming the property.
bool makeStabilizer(GstRegViaFFTStab* self)
{
    const ElementProperties p = snapshot(self);
    Stream& s = *self->stream;
    s.queue.reset();
    s.latencyFrames = 0;
    regviafft::Settings settings = settingsFor(p, s.info);
    for (;;) {
        try {
            s.queue = std::make_unique<regviafft::FrameQueue<BufferRef>>(settings);
            s.latencyFrames = s.queue->stabilizer().latency();
            return true;
        } catch (const regviafft::SettingsError& e) {
            const auto refused = regviafft::asOptionError(e);
            const auto* option = refused ? regviafft::findOption(regviafft::settingsOptions(), refused->name()) : nullptr;
            if (option == nullptr || option->derived.empty() || !option->isSet(settings)) {
                GST_ELEMENT_ERROR(self, LIBRARY, SETTINGS, ("Cannot stabilise these frames"), ("%s", e.what()));
                return false;
            }
            GST_ELEMENT_WARNING(self, LIBRARY, SETTINGS, ("A property does not suit the frames"),
                                ("%s; using the value derived from the frames", refused->what()));
            option->unset(settings);
        }
    }
}

GstClockTime latencyOf(GstRegViaFFTStab* self)
{
    const int frames = self->stream->latencyFrames;
    if (frames == 0)
        return 0;
    const GstVideoInfo& info = self->stream->info;
    const int num = GST_VIDEO_INFO_FPS_N(&info) > 0 ? GST_VIDEO_INFO_FPS_N(&info) : kAssumedFramesPerSecond;
    const int den = GST_VIDEO_INFO_FPS_N(&info) > 0 ? GST_VIDEO_INFO_FPS_D(&info) : 1;
    return gst_util_uint64_scale(static_cast<guint64>(frames) * GST_SECOND, den, num);
}

void postRecord(GstRegViaFFTStab* self, const regviafft::MotionRecord& r, GstBuffer* buffer)
{
    GstStructure* s = motionRecordStructure(r, buffer, GST_BASE_TRANSFORM(self)->segment);
    gst_element_post_message(GST_ELEMENT(self), gst_message_new_element(GST_OBJECT(self), s));
}

void attachRecord(GstRegViaFFTStab* self, const regviafft::MotionRecord& r, GstBuffer* buffer)
{
    auto* meta = reinterpret_cast<GstRegViaFFTMotionMeta*>(
        gst_buffer_add_meta(buffer, gst_regviafft_motion_meta_get_info(), nullptr));
    meta->record = motionRecordStructure(r, buffer, GST_BASE_TRANSFORM(self)->segment);
}

// Renders a held frame into an output buffer of its own rather than in
// place: in place the renderer first copies the whole frame aside, and in
// lag mode the held frame has long left the caches, so each frame would
// cross memory twice more. The base class allocates the output and copies
// the input's time stamps, flags and untagged metadata onto it.
GstFlowReturn renderInto(GstRegViaFFTStab* self, const regviafft::MotionRecord& record,
                         GstBuffer* input, GstBuffer** out)
{
    Stream& s = *self->stream;
    GstBaseTransform* trans = GST_BASE_TRANSFORM(self);
    GstFlowReturn flow =
        GST_BASE_TRANSFORM_CLASS(gst_regviafft_stab_parent_class)->prepare_output_buffer(trans, input, out);
    if (flow != GST_FLOW_OK)
        return flow;
    GstVideoFrame in, output;
    if (!gst_video_frame_map(&in, &s.info, input, GST_MAP_READ)) {
        GST_ELEMENT_ERROR(self, STREAM, FAILED, ("Cannot map a frame"), (nullptr));
        return GST_FLOW_ERROR;
    }
    if (!gst_video_frame_map(&output, &s.info, *out, GST_MAP_WRITE)) {
        gst_video_frame_unmap(&in);
        GST_ELEMENT_ERROR(self, STREAM, FAILED, ("Cannot map an output frame"), (nullptr));
        return GST_FLOW_ERROR;
    }
    try {
        s.queue->stabilizer().render(record, viewOf(in), viewOf(output));
    } catch (const std::exception& e) {
        GST_ELEMENT_ERROR(self, STREAM, FAILED, ("Cannot render a frame"), ("%s", e.what()));
        flow = GST_FLOW_ERROR;
    }
    gst_video_frame_unmap(&output);
    gst_video_frame_unmap(&in);
    return flow;
}

// The frame of the next final record, rendered in its own buffer; null when
// no record is final yet.
GstFlowReturn nextOutput(GstRegViaFFTStab* self, GstBuffer** out)
{
    *out = nullptr;
    Stream& s = *self->stream;
    regviafft::MotionRecord record;
    BufferRef held;
    if (!s.queue || !s.queue->pull(record, held))
        return GST_FLOW_OK;
    GstBuffer* input = held.release();
    GstBuffer* buffer = nullptr;
    const GstFlowReturn flow = renderInto(self, record, input, &buffer);
    gst_buffer_unref(input);
    if (flow != GST_FLOW_OK) {
        if (buffer != nullptr)
            gst_buffer_unref(buffer);
        return flow;
    }
    GST_OBJECT_LOCK(self);
    const bool message = self->properties->message, meta = self->properties->attachMeta;
    GST_OBJECT_UNLOCK(self);
    if (meta)
        attachRecord(self, record, buffer);
    if (message)
        postRecord(self, record, buffer);
    *out = buffer;
    return GST_FLOW_OK;
}

// Ends the stream: every held frame goes downstream now, and the path
// starts again with the next one.
GstFlowReturn drain(GstRegViaFFTStab* self)
{
    Stream& s = *self->stream;
    if (!s.queue)
        return GST_FLOW_OK;
    s.queue->finish();
    GstFlowReturn flow = GST_FLOW_OK;
    for (GstBuffer* out = nullptr; flow == GST_FLOW_OK;) {
        flow = nextOutput(self, &out);
        if (out == nullptr)
            break;
        flow = gst_pad_push(GST_BASE_TRANSFORM_SRC_PAD(self), out);
    }
    // What downstream refused is dropped.
    s.queue->reset();
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
    if (!s.queue) {
        gst_buffer_unref(input);
        return GST_FLOW_NOT_NEGOTIATED;
    }
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &s.info, input, GST_MAP_READ)) {
        gst_buffer_unref(input);
        GST_ELEMENT_ERROR(self, STREAM, FAILED, ("Cannot map a frame"), (nullptr));
        return GST_FLOW_ERROR;
    }
    // The queue takes a reference of its own, so the frame stays mapped
    // whatever becomes of it.
    GstFlowReturn flow = GST_FLOW_OK;
    try {
        s.queue->push(viewOf(frame), BufferRef(gst_buffer_ref(input)));
    } catch (const std::exception& e) {
        GST_ELEMENT_ERROR(self, STREAM, FAILED, ("Cannot measure a frame"), ("%s", e.what()));
        flow = GST_FLOW_ERROR;
    }
    gst_video_frame_unmap(&frame);
    gst_buffer_unref(input);
    return flow;
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
        break;
    case GST_EVENT_FLUSH_STOP:
        if (self->stream->queue)
            self->stream->queue->reset();
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
    self->stream->queue.reset();
    self->stream->latencyFrames = 0;
    return TRUE;
}

void setProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec)
{
    auto* self = GST_REGVIAFFT_STAB(object);
    GST_OBJECT_LOCK(self);
    if (setElementProperty(object, *self->properties, id, value, pspec))
        self->restart = TRUE;
    GST_OBJECT_UNLOCK(self);
}

void getProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec)
{
    auto* self = GST_REGVIAFFT_STAB(object);
    GST_OBJECT_LOCK(self);
    getElementProperty(object, *self->properties, id, value, pspec);
    GST_OBJECT_UNLOCK(self);
}

void finalize(GObject* object)
{
    auto* self = GST_REGVIAFFT_STAB(object);
    delete self->stream;
    delete self->properties;
    G_OBJECT_CLASS(gst_regviafft_stab_parent_class)->finalize(object);
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
    installElementProperties(object);
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
    markElementTypesAsPluginApi();
}

static void gst_regviafft_stab_init(GstRegViaFFTStab* self)
{
    self->properties = new ElementProperties(elementDefaults());
    self->stream = new Stream;
    self->restart = FALSE;
    gst_video_info_init(&self->stream->info);
    // Frames are rendered into buffers of their own: with no transform
    // function the base class takes the element for a passthrough one and
    // would hand back each input as its own output buffer.
    gst_base_transform_set_passthrough(GST_BASE_TRANSFORM(self), FALSE);
}
