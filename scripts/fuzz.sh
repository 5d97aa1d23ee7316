#!/usr/bin/env bash
# Builds the fuzz targets with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer and runs each for SECONDS (default 15), starting
# from its seed corpus. A finding stops the run with its reproducer in
# build/fuzz/findings/; keep it in fuzz/regressions/<target>/ once fixed.
#
#   bash scripts/fuzz.sh [SECONDS]      (the long run: bash scripts/fuzz.sh 900)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-15}
build=${REGVIAFFT_BUILD_ROOT:-build}/fuzz
targets=(engine_calls registration stabilizer video_input)

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=clang++ \
  -DREGVIAFFT_BUILD_FUZZ=ON -DREGVIAFFT_SANITIZE=address,undefined -DREGVIAFFT_BUILD_TESTS=OFF \
  -DREGVIAFFT_BUILD_BENCH=OFF -DREGVIAFFT_BUILD_PYTHON=OFF -DREGVIAFFT_BUILD_GSTREAMER=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${targets[@]/%/_fuzz}"

mkdir -p "$build/findings"
for target in "${targets[@]}"; do
  # New inputs go to a corpus of the build's own; the committed seeds stay as they are.
  mkdir -p "$build/corpus/$target"
  echo "-- $target for $seconds s"
  status=0
  "$build/fuzz/${target}_fuzz" -max_total_time="$seconds" -rss_limit_mb=2560 -print_final_stats=1 \
    -artifact_prefix="$build/findings/$target-" "$build/corpus/$target" "fuzz/corpus/$target" \
    >"$build/$target.log" 2>&1 || status=$?
  grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|#[0-9]+ +DONE|==[0-9]+==ERROR|SUMMARY)' \
    "$build/$target.log" || true
  [ "$status" -eq 0 ] || { echo "$target found a fault: see $build/$target.log" >&2; exit 1; }
done
