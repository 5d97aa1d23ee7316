// The element's properties, generated from the stabiliser's option table.
#include "element_properties.h"

#include <cctype>
#include <string>

#include "regviafft/options.h"

namespace {

using regviafft::Option;
using regviafft::OptionKind;
using regviafft::Settings;

constexpr GParamFlags kFlags =
    static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | GST_PARAM_MUTABLE_PLAYING);

// Property ids: each option of the table by its position from 1, then the element's own.
guint messageId()
{
    return static_cast<guint>(regviafft::settingsOptions().size()) + 1;
}

guint attachMetaId()
{
    return messageId() + 1;
}

const Option<Settings>* optionOfId(guint id)
{
    const auto& table = regviafft::settingsOptions();
    return id >= 1 && id <= table.size() ? &table[id - 1] : nullptr;
}

bool isOptional(const Option<Settings>& option)
{
    return !option.derived.empty();
}

// Strings the property definitions keep for the life of the process.
const gchar* lasting(const std::string& text)
{
    return g_intern_string(text.c_str());
}

std::string capitalised(std::string text)
{
    if (!text.empty())
        text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    return text;
}

// "template-size" is nicknamed "Template size", "GstRegViaFFTStabTemplateSize" as a type.
std::string nickOf(const char* name)
{
    std::string nick = capitalised(name);
    for (char& c : nick)
        c = c == '-' ? ' ' : c;
    return nick;
}

std::string typeNameOf(const char* name)
{
    std::string type = "GstRegViaFFTStab";
    for (bool start = true; *name != '\0'; ++name) {
        if (*name == '-') {
            start = true;
            continue;
        }
        type += start ? static_cast<char>(std::toupper(static_cast<unsigned char>(*name))) : *name;
        start = false;
    }
    return type;
}

std::string blurbOf(const Option<Settings>& option)
{
    std::string blurb = capitalised(option.help);
    const bool text = option.rule.kind == OptionKind::Pair || option.rule.kind == OptionKind::Text;
    std::string notes = option.rule.kind == OptionKind::Pair ? std::string(option.valueName) + " or N" : "";
    if (isOptional(option))
        notes += (notes.empty() ? "" : "; ") + std::string(text ? "empty: " : "0: ") + option.derived;
    if (!notes.empty())
        blurb += " (" + notes + ")";
    const Settings library;
    const Settings element = elementDefaults().settings;
    if (option.text(element) != option.text(library))
        blurb += ". The element starts with " + option.text(element) + ", where the library starts with " +
                 option.text(library) + ": live pipelines cannot afford the " + std::to_string(library.lag) +
                 " frames of latency of lag mode";
    return blurb;
}

// The enum type of a choice, its values the choices' indices. Made while the
// class is initialised, once, and kept for the life of the process.
GType choiceType(const Option<Settings>& option)
{
    const std::string name = typeNameOf(option.name);
    if (const GType known = g_type_from_name(name.c_str()))
        return known;
    auto* values = new GEnumValue[option.rule.choices.size() + 1]();
    for (size_t i = 0; i < option.rule.choices.size(); ++i)
        values[i] = {static_cast<gint>(i), lasting(capitalised(option.rule.choices[i].help)),
                     option.rule.choices[i].name};
    return g_enum_register_static(lasting(name), values);
}

GParamSpec* paramSpecOf(const Option<Settings>& option, const Settings& defaults)
{
    const gchar* name = option.name;
    const gchar* nick = lasting(nickOf(option.name));
    const gchar* blurb = lasting(blurbOf(option));
    const bool set = option.isSet(defaults);
    // An optional value's unset state is 0, below its range.
    const double lo = isOptional(option) ? 0.0 : option.rule.lo;
    switch (option.rule.kind) {
    case OptionKind::Switch:
        return g_param_spec_boolean(name, nick, blurb, option.getBool(defaults), kFlags);
    case OptionKind::WholeNumber:
        return g_param_spec_int(name, nick, blurb, static_cast<gint>(lo), static_cast<gint>(option.rule.hi),
                                set ? static_cast<gint>(option.getInt(defaults)) : 0, kFlags);
    case OptionKind::Number:
        return g_param_spec_double(name, nick, blurb, lo, option.rule.hi, set ? option.getDouble(defaults) : 0.0,
                                   kFlags);
    case OptionKind::Choice:
        return g_param_spec_enum(name, nick, blurb, choiceType(option), static_cast<gint>(option.getInt(defaults)),
                                 kFlags);
    case OptionKind::Pair:
    case OptionKind::Text:
        break;
    }
    return g_param_spec_string(name, nick, blurb, lasting(set ? option.text(defaults) : ""), kFlags);
}

void setOption(const Option<Settings>& option, Settings& settings, const GValue* value)
{
    switch (option.rule.kind) {
    case OptionKind::Switch:
        return option.setBool(settings, g_value_get_boolean(value));
    case OptionKind::WholeNumber:
        if (isOptional(option) && g_value_get_int(value) == 0)
            return option.unset(settings);
        return option.setInt(settings, g_value_get_int(value));
    case OptionKind::Number:
        if (isOptional(option) && g_value_get_double(value) == 0.0)
            return option.unset(settings);
        return option.setDouble(settings, g_value_get_double(value));
    case OptionKind::Choice:
        return option.set(settings, static_cast<long long>(g_value_get_enum(value)));
    case OptionKind::Pair:
    case OptionKind::Text:
        break;
    }
    const gchar* text = g_value_get_string(value);
    if ((text == nullptr || *text == '\0') && isOptional(option))
        return option.unset(settings);
    option.parse(settings, text != nullptr ? text : "");
}

void getOption(const Option<Settings>& option, const Settings& settings, GValue* value)
{
    const bool set = option.isSet(settings);
    switch (option.rule.kind) {
    case OptionKind::Switch:
        return g_value_set_boolean(value, option.getBool(settings));
    case OptionKind::WholeNumber:
        return g_value_set_int(value, set ? static_cast<gint>(option.getInt(settings)) : 0);
    case OptionKind::Number:
        return g_value_set_double(value, set ? option.getDouble(settings) : 0.0);
    case OptionKind::Choice:
        return g_value_set_enum(value, static_cast<gint>(option.getInt(settings)));
    case OptionKind::Pair:
    case OptionKind::Text:
        break;
    }
    g_value_set_string(value, set ? option.text(settings).c_str() : "");
}

}  // namespace

ElementProperties elementDefaults()
{
    ElementProperties defaults;
    defaults.settings.mode = regviafft::PathMode::Causal;
    return defaults;
}

void installElementProperties(GObjectClass* klass)
{
    const ElementProperties defaults = elementDefaults();
    guint id = 1;
    for (const Option<Settings>& option : regviafft::settingsOptions())
        g_object_class_install_property(klass, id++, paramSpecOf(option, defaults.settings));
    g_object_class_install_property(klass, messageId(), g_param_spec_boolean("message", "Message",
        "Post each frame's motion record as an element message named regviafftstab", defaults.message, kFlags));
    g_object_class_install_property(klass, attachMetaId(), g_param_spec_boolean("attach-meta", "Attach meta",
        "Attach each frame's motion record to its buffer (GstRegViaFFTMotionMeta)", defaults.attachMeta, kFlags));
}

bool setElementProperty(GObject* object, ElementProperties& properties, guint id, const GValue* value,
                        GParamSpec* pspec)
{
    if (id == messageId()) {
        properties.message = g_value_get_boolean(value);
        return false;
    }
    if (id == attachMetaId()) {
        properties.attachMeta = g_value_get_boolean(value);
        return false;
    }
    const Option<Settings>* option = optionOfId(id);
    if (option == nullptr) {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
        return false;
    }
    try {
        setOption(*option, properties.settings, value);
    } catch (const regviafft::OptionError& e) {
        g_warning("regviafftstab: %s", e.what());
        return false;
    }
    return true;
}

void getElementProperty(GObject* object, const ElementProperties& properties, guint id, GValue* value,
                        GParamSpec* pspec)
{
    if (id == messageId())
        g_value_set_boolean(value, properties.message);
    else if (id == attachMetaId())
        g_value_set_boolean(value, properties.attachMeta);
    else if (const Option<Settings>* option = optionOfId(id))
        getOption(*option, properties.settings, value);
    else
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
}

void markElementTypesAsPluginApi()
{
    for (const Option<Settings>& option : regviafft::settingsOptions())
        if (option.rule.kind == OptionKind::Choice)
            gst_type_mark_as_plugin_api(choiceType(option), static_cast<GstPluginAPIFlags>(0));
}
