// The motion record's fields, each with its one name and type: the motion
// table's columns, the Python record's attributes and the GStreamer
// element's message and meta are all generated from this table, so a new
// field of MotionRecord needs one line here and nothing in any host. Each
// template's own measurement has a table of the same kind.
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

// One field of a struct (a record, or a template's measurement).
template <typename Struct>
class FieldOf {
public:
    template <typename T>
    FieldOf(const char* name, T Struct::*member) : name_(name), type_(typeOf<T>()), member_(member)
    {
    }

    const char* name() const { return name_; }  // snake_case: "motion_x"
    FieldType type() const { return type_; }
    // Integer and Truth fields as a whole number (a truth as 0 or 1).
    std::int64_t integer(const Struct& record) const
    {
        return std::visit([&record](auto member) { return static_cast<std::int64_t>(record.*member); }, member_);
    }
    // Any field as a number.
    double number(const Struct& record) const
    {
        return std::visit([&record](auto member) { return static_cast<double>(record.*member); }, member_);
    }
    bool truth(const Struct& record) const { return integer(record) != 0; }

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
    std::variant<std::int64_t Struct::*, int Struct::*, double Struct::*, bool Struct::*> member_;
};

using RecordField = FieldOf<MotionRecord>;
using TemplateField = FieldOf<TemplateMotion>;

// In the order hosts show them.
REGVIAFFT_API const std::vector<RecordField>& recordFields();
// The first templateCount entries of MotionRecord::templates, each so.
REGVIAFFT_API const std::vector<TemplateField>& templateFields();

}  // namespace regviafft

#endif
