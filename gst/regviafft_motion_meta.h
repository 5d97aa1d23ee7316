/* The motion record of a frame, attached to its buffer by regviafftstab
 * when its attach-meta property is set. It holds the same structure as the
 * element's message (motion_record_structure.h): the buffer's times, then
 * the record's fields by name, so that a new field needs no change here.
 *
 *   GstRegViaFFTMotionMeta *meta = gst_buffer_get_regviafft_motion_meta (buffer);
 *   gdouble x;
 *   gint64 index;
 *   if (meta != NULL) {
 *     gst_structure_get_double (meta->record, "motion_x", &x);
 *     gst_structure_get_int64 (meta->record, "index", &index);
 *   }
 *
 * Motions are the shift that brings the frame back onto the previous one, in
 * pixels; the frame was rendered moved by the correction. */
#ifndef GST_REGVIAFFT_MOTION_META_H
#define GST_REGVIAFFT_MOTION_META_H

#include <gst/gst.h>

G_BEGIN_DECLS

typedef struct {
  GstMeta meta;
  GstStructure *record;  /* owned by the meta; NULL until the element sets it */
} GstRegViaFFTMotionMeta;

GType gst_regviafft_motion_meta_api_get_type (void);
const GstMetaInfo *gst_regviafft_motion_meta_get_info (void);

#define GST_REGVIAFFT_MOTION_META_API_TYPE (gst_regviafft_motion_meta_api_get_type ())
#define gst_buffer_get_regviafft_motion_meta(b) \
  ((GstRegViaFFTMotionMeta *) gst_buffer_get_meta ((b), GST_REGVIAFFT_MOTION_META_API_TYPE))

G_END_DECLS

#endif
