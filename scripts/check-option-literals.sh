#!/usr/bin/env bash
# Every setting's default and range live in the library's option table, and
# the hosts (the command line, the Python module, the GStreamer element) show
# what it holds. A default or range written as a literal in a host would
# drift from the table, so none may appear there.
set -euo pipefail
cd "$(dirname "$0")/.."

# "(default: 5" in a help text; a numeric range in a property's definition, as in
# "0.0, 25.0, 5.0, G_PARAM_..." or "0, 250, defaults.x, kFlags".
pattern='\(default: ?-?[0-9]|-?[0-9][0-9.e]* *, *-?[0-9][0-9.e]* *, *[^,]+, *(G_PARAM|kFlags)'
if grep -rnE "$pattern" tools gst python; then
  echo "check-option-literals: a host writes a default or a range of its own (above); read it from the option table" >&2
  exit 1
fi
echo "check-option-literals: no literal defaults in the hosts"
