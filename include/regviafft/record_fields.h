// The motion record's fields, each with its one name and type: the motion
// table's columns, the Python record's attributes and the GStreamer
// element's message and meta are all generated from this table, so a new
// field of MotionRecord needs one line here and nothing in any host. The
// per-template measurements are an array, which hosts show on their own.
#ifndef REGVIAFFT_RECORD_FIELDS_H
#define REGVIAFFT_RECORD_FIELDS_H

#include <cstdint>
#include <type_traits>
#include <variant>
#include <vector>

#include "regviafft/export.h"
#include "regviafft/stabilizer.h"

namespace regviafft {

enum class FieldType {
    Integer,  // a whole number
    Number,   // a real number, in the record's units
    Truth,    // true or false
};

class RecordField {
public:
    template <typename T>
    RecordField(const char* name, T MotionRecord::*member) : name_(name), type_(typeOf<T>()), member_(member)
    {
    }

    const char* name() const { return name_; }  // snake_case: "motion_x"
    FieldType type() const { return type_; }
    // Integer and Truth fields as a whole number (a truth as 0 or 1).
    std::int64_t integer(const MotionRecord& record) const
    {
        return std::visit([&record](auto member) { return static_cast<std::int64_t>(record.*member); }, member_);
    }
    // Any field as a number.
    double number(const MotionRecord& record) const
    {
        return std::visit([&record](auto member) { return static_cast<double>(record.*member); }, member_);
    }
    bool truth(const MotionRecord& record) const { return integer(record) != 0; }

private:
    template <typename T>
    static constexpr FieldType typeOf()
    {
        if constexpr (std::is_same_v<T, bool>)
            return FieldType::Truth;
        else if constexpr (std::is_floating_point_v<T>)
            return FieldType::Number;
        else
            return FieldType::Integer;
    }

    const char* name_;
    FieldType type_;
    std::variant<std::int64_t MotionRecord::*, int MotionRecord::*, double MotionRecord::*, bool MotionRecord::*>
        member_;
};

// In the order hosts show them.
REGVIAFFT_API const std::vector<RecordField>& recordFields();

}  // namespace regviafft

#endif
