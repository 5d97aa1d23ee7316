// Registration of the motion record's buffer meta.
#include "regviafft_motion_meta.h"

namespace {

gboolean initMeta(GstMeta* meta, gpointer, GstBuffer*)
{
    reinterpret_cast<GstRegViaFFTMotionMeta*>(meta)->record = nullptr;
    return TRUE;
}

void freeMeta(GstMeta* meta, GstBuffer*)
{
    auto* motion = reinterpret_cast<GstRegViaFFTMotionMeta*>(meta);
    if (motion->record != nullptr)
        gst_structure_free(motion->record);
    motion->record = nullptr;
}

// The record describes the frame's content: it goes with copies of the
// buffer, not with transforms that move the pixels again.
gboolean transformMeta(GstBuffer* destination, GstMeta* meta, GstBuffer*, GQuark type, gpointer)
{
    if (!GST_META_TRANSFORM_IS_COPY(type))
        return FALSE;
    auto* to = reinterpret_cast<GstRegViaFFTMotionMeta*>(
        gst_buffer_add_meta(destination, gst_regviafft_motion_meta_get_info(), nullptr));
    if (to == nullptr)
        return FALSE;
    const GstStructure* record = reinterpret_cast<GstRegViaFFTMotionMeta*>(meta)->record;
    to->record = record != nullptr ? gst_structure_copy(record) : nullptr;
    return TRUE;
}

}  // namespace

GType gst_regviafft_motion_meta_api_get_type(void)
{
    static GType type = 0;
    static const gchar* tags[] = {nullptr};
    if (g_once_init_enter(&type)) {
        const GType registered = gst_meta_api_type_register("GstRegViaFFTMotionMetaAPI", tags);
        g_once_init_leave(&type, registered);
    }
    return type;
}

const GstMetaInfo* gst_regviafft_motion_meta_get_info(void)
{
    static const GstMetaInfo* info = nullptr;
    if (g_once_init_enter(&info)) {
        const GstMetaInfo* registered =
            gst_meta_register(GST_REGVIAFFT_MOTION_META_API_TYPE, "GstRegViaFFTMotionMeta",
                              sizeof(GstRegViaFFTMotionMeta), initMeta, freeMeta, transformMeta);
        g_once_init_leave(&info, registered);
    }
    return info;
}
