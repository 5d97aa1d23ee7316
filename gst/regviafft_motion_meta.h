/* The motion record of a frame, attached to its buffer by regviafftstab
 * when its attach-meta property is set. Read it with
 *   GstRegViaFFTMotionMeta* meta = gst_buffer_get_regviafft_motion_meta (buffer);
 * Motions are the shift that brings the frame back onto the previous one, in
 * pixels; the frame was rendered moved by the correction. */
#ifndef GST_REGVIAFFT_MOTION_META_H
#define GST_REGVIAFFT_MOTION_META_H

#include <gst/gst.h>

G_BEGIN_DECLS

typedef struct {
  GstMeta meta;
  gint64 index;           /* frames before this one since the stream (re)started */
  gboolean analysed;      /* motion measured */
  gboolean cut;           /* judged a new scene: the camera path restarts here */
  gdouble motion_x, motion_y;
  gint whole_motion_x, whole_motion_y;
  gdouble peak;           /* correlation peak of the selected candidate */
  gint votes;
  gint template_count;
  gdouble path_x, path_y; /* camera path since it started */
  gdouble correction_x, correction_y;
} GstRegViaFFTMotionMeta;

GType gst_regviafft_motion_meta_api_get_type (void);
const GstMetaInfo *gst_regviafft_motion_meta_get_info (void);

#define GST_REGVIAFFT_MOTION_META_API_TYPE (gst_regviafft_motion_meta_api_get_type ())
#define gst_buffer_get_regviafft_motion_meta(b) \
  ((GstRegViaFFTMotionMeta *) gst_buffer_get_meta ((b), GST_REGVIAFFT_MOTION_META_API_TYPE))

G_END_DECLS

#endif
