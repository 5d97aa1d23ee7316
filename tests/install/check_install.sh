#!/usr/bin/env bash
# The installed tree of a build, as a user gets it from
#   cmake --install BUILD --prefix PREFIX
# Everything lands under the prefix and nothing elsewhere; each part works
# from there without the build folder (a CMake project and a pkg-config
# build against it, the command line and its manual page, the Python
# package, the GStreamer plugin); and a project that embeds the sources with
# add_subdirectory builds and installs none of the tests.
#
#   bash tests/install/check_install.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(realpath "$1")
source=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "check_install: $*" >&2
  failures=$((failures + 1))
}
expect_in() { # what, text, wanted
  grep -qF -- "$3" <<<"$2" || fail "$1: '$3' not in: $2"
}

# Into a staging root, so that a file written outside the prefix shows.
prefix=$work/prefix
DESTDIR=$work/root cmake --install "$build" --prefix "$prefix" >"$work/install.log"
outside=$(cd "$work/root" && find . -type f -o -type l | grep -v "^\.$prefix/" || true)
[ -z "$outside" ] || fail "written outside the prefix: $outside"
# The tree is moved to where it is used: nothing in it may name the prefix
# it was installed for.
mv "$work/root$prefix" "$work/moved"
prefix=$work/moved
(cd "$prefix" && find . -type f -o -type l | sort) >"$work/tree"
for wanted in bin/regviafft-stabilize include/RegViaFFT.h include/regviafft/stabilizer.h \
  include/regviafft/options.h lib/libregviafft.so lib/libregviafft.so.0 lib/cmake/regviafft/regviafftConfig.cmake \
  lib/pkgconfig/regviafft.pc share/man/man1/regviafft-stabilize.1 share/doc/regviafft/copyright \
  share/doc/regviafft/LICENSE regviafft/__init__.py regviafft/batch.py regviafft/_regviafft_video \
  regviafft-0.1.0.dist-info/METADATA gstreamer-1.0/libgstregviafft.so; do
  grep -q -- "$wanted" "$work/tree" || fail "$wanted is not installed"
done
if grep -E "test|bench|fuzz|dftinfo|regviafft-stabilize-man" "$work/tree"; then
  fail "tests, benchmarks or build tools are installed (above)"
fi

# The shared library under its versioned name.
soname=$(objdump -p "$prefix"/lib/libregviafft.so.0.* | awk '/SONAME/ { print $2 }')
[ "$soname" = libregviafft.so.0 ] || fail "soname is '$soname'"

# The command line finds the library beside it, not the build's.
program=$prefix/bin/regviafft-stabilize
expect_in "regviafft-stabilize links" "$(ldd "$program" | grep libregviafft)" "$prefix/bin/../lib/libregviafft.so.0"
expect_in "regviafft-stabilize --help" "$("$program" --help)" "-y, --overwrite"
expect_in "man" "$(MANPATH=$prefix/share/man man -w regviafft-stabilize)" "$prefix/share/man/man1/regviafft-stabilize.1"

# A CMake project and a pkg-config build against the tree.
cmake -S "$source/tests/install/consumer" -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/consumer" >/dev/null
expect_in "find_package(regviafft)" "$("$work/consumer/consumer")" "mode 30"
flags=$(PKG_CONFIG_PATH=$prefix/lib/pkgconfig pkg-config --cflags --libs regviafft)
# shellcheck disable=SC2086
c++ -std=c++17 "$source/tests/install/consumer/consumer.cpp" $flags -Wl,-rpath,"$prefix/lib" -o "$work/pkg-config-consumer"
expect_in "pkg-config regviafft" "$("$work/pkg-config-consumer")" "mode 30"

# The Python package from the prefix's Python folder, with its metadata.
python_dir=$(dirname "$(grep /regviafft/__init__.py "$work/tree" | sed "s|^\./|$prefix/|")")
python_dir=$(dirname "$python_dir")
expect_in "python" "$(cd "$work" && PYTHONPATH=$python_dir /usr/bin/python3 -c "
import regviafft, regviafft._regviafft_video
from importlib import metadata
print(regviafft.__file__, regviafft._regviafft_video.__file__, metadata.metadata('regviafft')['License'])")" \
  "$python_dir/regviafft/__init__.py $python_dir/regviafft/_regviafft_video"
expect_in "python licence" "$(cd "$work" && PYTHONPATH=$python_dir /usr/bin/python3 -c "
from importlib import metadata; print(metadata.metadata('regviafft')['License'])")" "MIT"

# The GStreamer plugin from the prefix's plugin folder, under its licence.
plugin_dir=$(dirname "$(grep gstreamer-1.0/libgstregviafft.so "$work/tree" | sed "s|^\./|$prefix/|")")
inspected=$(GST_PLUGIN_PATH=$plugin_dir GST_REGISTRY=$work/registry.bin gst-inspect-1.0 regviafftstab)
expect_in "gst-inspect-1.0" "$inspected" "$plugin_dir/libgstregviafft.so"
expect_in "gst-inspect-1.0" "$inspected" "License                  MIT/X11"

# Embedded with add_subdirectory: the default build holds the library and the
# project's own program only, and nothing of ours is installed unless asked.
cmake -S "$source/tests/install/embedding" -B "$work/embedding" -G Ninja -DREGVIAFFT_SOURCE="$source" >/dev/null
built=$(ninja -C "$work/embedding" -t commands all | grep -oE " -o [^ ]+" | grep -vE "\.o$" || true)
expect_in "an embedding build" "$built" "libregviafft.so"
if grep -E "test|bench|fuzz|regviafft-stabilize|_regviafft|gstregviafft" <<<"$built"; then
  fail "an embedding build builds more than the library (above)"
fi
if grep -q "file(INSTALL" "$work/embedding/regviafft/cmake_install.cmake"; then
  fail "an embedding build installs regviafft without REGVIAFFT_INSTALL"
fi
cmake "$work/embedding" -DREGVIAFFT_INSTALL=ON >/dev/null
installs=$(grep -rh "file(INSTALL" "$work/embedding/regviafft" --include=cmake_install.cmake)
expect_in "an embedding build's install" "$installs" "libregviafft.so"
if grep -E "test|bench|fuzz|bin/" <<<"$installs"; then
  fail "an embedding build installs more than the library and its package (above)"
fi

if [ "$failures" -gt 0 ]; then
  echo "check_install: $failures failed" >&2
  exit 1
fi
echo "check_install: the installed tree is complete, works where it is moved, and nothing is outside it"
