#!/usr/bin/env bash
# Frames per second through regviafftstab at 1920x1080 I420 against the same
# pipeline without it, in one run. Prints a Markdown table.
#
#   bash bench/gst_speed.sh [BUILD_DIR]      (FRAMES=300 RUNS=2 by default)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/release}
frames=${FRAMES:-300}
runs=${RUNS:-2}
export GST_PLUGIN_PATH=$PWD/$build/gst
source="videotestsrc num-buffers=$frames pattern=ball motion=wavy ! video/x-raw,format=I420,width=1920,height=1080,framerate=30/1"

# Best of $runs wall times of a pipeline, in seconds.
best_time() {
  local best=
  for _ in $(seq "$runs"); do
    local start end
    start=$(date +%s.%N)
    gst-launch-1.0 -q $1 >/dev/null
    end=$(date +%s.%N)
    best=$(echo "$end - $start" | bc -l | awk -v b="$best" '{ if (b == "" || $1 < b) print $1; else print b }')
  done
  echo "$best"
}

without=$(best_time "$source ! fakesink")
echo "1920x1080 I420, $frames frames of a moving test pattern, $(nproc) cores, best of $runs runs"
echo
echo "| pipeline | seconds | frames per second | per frame added (ms) |"
echo "|---|---|---|---|"
awk -v s="$without" -v f="$frames" 'BEGIN { printf "| videotestsrc ! fakesink | %.2f | %.1f | |\n", s, f / s }'
for mode in causal lag "lag lag=15" design; do
  with=$(best_time "$source ! regviafftstab mode=$mode ! fakesink")
  awk -v m="$mode" -v s="$with" -v w="$without" -v f="$frames" \
    'BEGIN { printf "| videotestsrc ! regviafftstab mode=%s ! fakesink | %.2f | %.1f | %.2f |\n", m, s, f / s, 1000 * (s - w) / f }'
done
