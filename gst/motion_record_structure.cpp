// The motion record as a structure, from the record field tables.
#include "motion_record_structure.h"

#include "regviafft/record_fields.h"

namespace {

template <typename Struct>
void setFields(GstStructure* s, const std::vector<regviafft::FieldOf<Struct>>& fields, const Struct& value)
{
    for (const regviafft::FieldOf<Struct>& field : fields) {
        switch (field.type()) {
        case regviafft::FieldType::Integer:
            gst_structure_set(s, field.name(), G_TYPE_INT64, static_cast<gint64>(field.integer(value)), nullptr);
            break;
        case regviafft::FieldType::Number:
            gst_structure_set(s, field.name(), G_TYPE_DOUBLE, field.number(value), nullptr);
            break;
        case regviafft::FieldType::Truth:
            gst_structure_set(s, field.name(), G_TYPE_BOOLEAN, static_cast<gboolean>(field.truth(value)), nullptr);
            break;
        }
    }
}

// The templates as an array of structures named "template".
void setTemplates(GstStructure* s, const regviafft::MotionRecord& record)
{
    GValue templates = G_VALUE_INIT;
    gst_value_array_init(&templates, static_cast<guint>(record.templateCount));
    for (int k = 0; k < record.templateCount; ++k) {
        GstStructure* one = gst_structure_new_empty("template");
        setFields(one, regviafft::templateFields(), record.templates[k]);
        GValue item = G_VALUE_INIT;
        g_value_init(&item, GST_TYPE_STRUCTURE);
        gst_value_set_structure(&item, one);
        gst_structure_free(one);
        gst_value_array_append_and_take_value(&templates, &item);
    }
    gst_structure_take_value(s, "templates", &templates);
}

}  // namespace

GstStructure* motionRecordStructure(const regviafft::MotionRecord& record, GstBuffer* buffer,
                                    const GstSegment& segment)
{
    const GstClockTime pts = GST_BUFFER_PTS(buffer);
    GstStructure* s = gst_structure_new(
        "regviafftstab", "timestamp", G_TYPE_UINT64, pts,
        "stream-time", G_TYPE_UINT64, gst_segment_to_stream_time(&segment, GST_FORMAT_TIME, pts),
        "running-time", G_TYPE_UINT64, gst_segment_to_running_time(&segment, GST_FORMAT_TIME, pts),
        "duration", G_TYPE_UINT64, GST_BUFFER_DURATION(buffer), nullptr);
    setFields(s, regviafft::recordFields(), record);
    setTemplates(s, record);
    return s;
}
