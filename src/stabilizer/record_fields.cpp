// The motion record's field tables.
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
        {"rotation", &MotionRecord::rotation},
        {"scale", &MotionRecord::scale},
        {"peak", &MotionRecord::peak},
        {"votes", &MotionRecord::votes},
        {"inliers", &MotionRecord::inliers},
        {"confidence", &MotionRecord::confidence},
        {"replaced", &MotionRecord::replaced},
        {"content_change", &MotionRecord::contentChange},
        {"template_count", &MotionRecord::templateCount},
        {"path_x", &MotionRecord::pathX},
        {"path_y", &MotionRecord::pathY},
        {"path_rotation", &MotionRecord::pathRotation},
        {"path_scale", &MotionRecord::pathScale},
        {"correction_x", &MotionRecord::correctionX},
        {"correction_y", &MotionRecord::correctionY},
        {"correction_rotation", &MotionRecord::correctionRotation},
        {"correction_scale", &MotionRecord::correctionScale},
    };
    return fields;
}

const std::vector<TemplateField>& templateFields()
{
    static const std::vector<TemplateField> fields = {
        {"x", &TemplateMotion::x},
        {"y", &TemplateMotion::y},
        {"peak", &TemplateMotion::peak},
        {"centre_x", &TemplateMotion::centreX},
        {"centre_y", &TemplateMotion::centreY},
        {"inlier", &TemplateMotion::inlier},
    };
    return fields;
}

}  // namespace regviafft
