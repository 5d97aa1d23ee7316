/* regviafftstab: live video stabilisation in a GStreamer pipeline. */
#ifndef GST_REGVIAFFT_STAB_H
#define GST_REGVIAFFT_STAB_H

#include <gst/base/gstbasetransform.h>
#include <gst/gst.h>

G_BEGIN_DECLS

#define GST_TYPE_REGVIAFFT_STAB (gst_regviafft_stab_get_type ())
G_DECLARE_FINAL_TYPE (GstRegViaFFTStab, gst_regviafft_stab, GST, REGVIAFFT_STAB, GstBaseTransform)

GST_ELEMENT_REGISTER_DECLARE (regviafftstab);

G_END_DECLS

#endif
