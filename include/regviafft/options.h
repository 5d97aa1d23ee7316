// The stabiliser's options: every field of Settings a user sets, with its
// name, help, kind and range, its default read from Settings{}, and typed
// access. The command line, the Python module and the GStreamer element are
// generated from this one table: the command line as --name, Python as the
// keyword name_with_underscores, the element as the property name.
//
// The frame size and the colour range are not options: they come from the
// frames themselves.
#ifndef REGVIAFFT_OPTIONS_H
#define REGVIAFFT_OPTIONS_H

#include <optional>
#include <string_view>

#include "regviafft/export.h"
#include "regviafft/option.h"
#include "regviafft/stabilizer.h"

namespace regviafft {

// In the order hosts list them: the camera path first, then the measurement.
REGVIAFFT_API const OptionTable<Settings>& settingsOptions();

// A refusal of resolveSettings as the refusal of the option that sets the
// field; nothing for fields no option sets (the frame size).
REGVIAFFT_API std::optional<OptionError> asOptionError(const SettingsError& error);

}  // namespace regviafft

#endif
