#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: a Release build,
# the same suite under AddressSanitizer and UndefinedBehaviorSanitizer, each
# fuzz target for a short run, and the threaded cases under ThreadSanitizer.
# Build folders are reused between runs.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)
build_root=${REGVIAFFT_BUILD_ROOT:-build}

# The Python module is built for Debian's own Python, whose packages the
# tests use, whatever python3 comes first on the PATH.
configure_and_build() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DREGVIAFFT_WARNINGS_AS_ERRORS=ON -DPython_EXECUTABLE=/usr/bin/python3 "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

echo "== Release build"
configure_and_build "$build_root/release"
ctest --test-dir "$build_root/release" --output-on-failure -j "$jobs"

# With clang: GCC's instrumentation of the kernel units (every codelet of
# every vector width) takes minutes per unit, clang's well under one.
echo "== AddressSanitizer and UndefinedBehaviorSanitizer build"
configure_and_build "$build_root/asan" -DCMAKE_CXX_COMPILER=clang++ \
  -DREGVIAFFT_SANITIZE=address,undefined \
  -DREGVIAFFT_BUILD_BENCH=OFF -DREGVIAFFT_BUILD_PYTHON=OFF -DREGVIAFFT_BUILD_GSTREAMER=OFF
# One allocation above the fuzzers' memory limit fails here too, so that
# their out-of-memory reproducers stay regressions.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:max_allocation_size_mb=2560 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  LSAN_OPTIONS=suppressions=$PWD/tests/leak_suppressions.txt \
  ctest --test-dir "$build_root/asan" --output-on-failure -j "$jobs"

echo "== Fuzz targets under libFuzzer, a short run each"
bash scripts/fuzz.sh 15

echo "== ThreadSanitizer build of the threaded stress test"
cmake -S . -B "$build_root/tsan" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DREGVIAFFT_WARNINGS_AS_ERRORS=ON -DREGVIAFFT_SANITIZE=thread \
  -DREGVIAFFT_BUILD_BENCH=OFF -DREGVIAFFT_BUILD_TOOLS=OFF -DREGVIAFFT_BUILD_PYTHON=OFF \
  -DREGVIAFFT_BUILD_GSTREAMER=OFF >/dev/null
cmake --build "$build_root/tsan" -j "$jobs" --target thread_stress_test
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir "$build_root/tsan" --output-on-failure -R thread_stress
