// The motion record's field table.
#include "regviafft/record_fields.h"

namespace regviafft {

const std::vector<RecordField>& recordFields()
{
    static const std::vector<RecordField> fields = {
        {"index", &MotionRecord::index},
        {"analysed", &MotionRecord::analysed},
        {"cut", &MotionRecord::cut},
        {"motion_x", &MotionRecord::motionX},
        {"motion_y", &MotionRecord::motionY},
        {"whole_motion_x", &MotionRecord::wholeMotionX},
        {"whole_motion_y", &MotionRecord::wholeMotionY},
        {"peak", &MotionRecord::peak},
        {"votes", &MotionRecord::votes},
        {"template_count", &MotionRecord::templateCount},
        {"path_x", &MotionRecord::pathX},
        {"path_y", &MotionRecord::pathY},
        {"correction_x", &MotionRecord::correctionX},
        {"correction_y", &MotionRecord::correctionY},
    };
    return fields;
}

}  // namespace regviafft
