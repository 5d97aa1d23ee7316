// The motion record as a structure, from the record field table.
#include "motion_record_structure.h"

#include "regviafft/record_fields.h"

GstStructure* motionRecordStructure(const regviafft::MotionRecord& record, GstBuffer* buffer,
                                    const GstSegment& segment)
{
    const GstClockTime pts = GST_BUFFER_PTS(buffer);
    GstStructure* s = gst_structure_new(
        "regviafftstab", "timestamp", G_TYPE_UINT64, pts,
        "stream-time", G_TYPE_UINT64, gst_segment_to_stream_time(&segment, GST_FORMAT_TIME, pts),
        "running-time", G_TYPE_UINT64, gst_segment_to_running_time(&segment, GST_FORMAT_TIME, pts),
        "duration", G_TYPE_UINT64, GST_BUFFER_DURATION(buffer), nullptr);
    for (const regviafft::RecordField& field : regviafft::recordFields()) {
        switch (field.type()) {
        case regviafft::FieldType::Integer:
            gst_structure_set(s, field.name(), G_TYPE_INT64, static_cast<gint64>(field.integer(record)), nullptr);
            break;
        case regviafft::FieldType::Number:
            gst_structure_set(s, field.name(), G_TYPE_DOUBLE, field.number(record), nullptr);
            break;
        case regviafft::FieldType::Truth:
            gst_structure_set(s, field.name(), G_TYPE_BOOLEAN, static_cast<gboolean>(field.truth(record)), nullptr);
            break;
        }
    }
    return s;
}
