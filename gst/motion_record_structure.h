/* A frame's motion record as a GstStructure named "regviafftstab": the
 * buffer's timestamp, stream-time, running-time and duration, then every
 * field of the library's record field table under its own name (integers
 * as gint64, numbers as gdouble, truths as gboolean), then "templates": an
 * array of structures named "template", one for each template, with the
 * fields of the template field table. The element posts it as its message
 * and carries it in its buffer meta. */
#ifndef GST_REGVIAFFT_MOTION_RECORD_STRUCTURE_H
#define GST_REGVIAFFT_MOTION_RECORD_STRUCTURE_H

#include <gst/gst.h>

#include "regviafft/stabilizer.h"

GstStructure* motionRecordStructure(const regviafft::MotionRecord& record, GstBuffer* buffer,
                                    const GstSegment& segment);

#endif
