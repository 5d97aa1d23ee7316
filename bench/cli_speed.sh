#!/usr/bin/env bash
# Wall time of regviafft-stabilize at 1920x1080 against a plain transcode of
# the same clip with the same encoder settings by the ffmpeg program, and
# against ffmpeg's own stabilisation filters where the build has them, all in
# one run. Prints a Markdown table.
#
#   bash bench/cli_speed.sh [BUILD_DIR]      (FRAMES=240 RUNS=2 by default)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/release}
program=$build/bin/regviafft-stabilize
frames=${FRAMES:-240}
runs=${RUNS:-2}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
encode=(-c:v libx264 -crf 18 -preset medium -c:a copy)

[ -x "$program" ] || { echo "build $program first" >&2; exit 1; }

# A test pattern seen by a shaking camera, with a tone, encoded near-losslessly.
ffmpeg -v error -y -f lavfi -i "testsrc2=size=2112x1272:rate=30" -f lavfi -i "sine=f=330:sample_rate=48000" \
  -vf "crop=1920:1080:x='96+36*sin(n/6.1)+17*sin(n/2.3)':y='96+28*sin(n/4.7)+13*sin(n/1.9)'" \
  -frames:v "$frames" -shortest -c:v libx264 -crf 12 -preset veryfast -pix_fmt yuv420p -c:a aac \
  "$work/clip.mp4"

# Best of $runs wall times of a command, in seconds.
best_time() {
  local best=
  for _ in $(seq "$runs"); do
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    best=$(echo "$end - $start" | bc -l | awk -v b="$best" '{ if (b == "" || $1 < b) print $1; else print b }')
  done
  echo "$best"
}

vidstab() {
  ffmpeg -v error -y -i "$work/clip.mp4" -vf "vidstabdetect=result=$work/t.trf" -f null - &&
    ffmpeg -v error -y -i "$work/clip.mp4" -vf "vidstabtransform=input=$work/t.trf" "${encode[@]}" "$work/vidstab.mp4"
}

plain=$(best_time ffmpeg -v error -y -i "$work/clip.mp4" "${encode[@]}" "$work/plain.mp4")
ours=$(best_time "$program" --quiet -y "$work/clip.mp4" "$work/ours.mp4")
rows=("plain transcode (ffmpeg, libx264 crf 18 medium)|$plain" "regviafft-stabilize (lag, 30 frames)|$ours")
filters=$(ffmpeg -hide_banner -filters 2>/dev/null)
if grep -q ' deshake ' <<<"$filters"; then
  rows+=("ffmpeg deshake, one pass|$(best_time ffmpeg -v error -y -i "$work/clip.mp4" -vf deshake "${encode[@]}" "$work/deshake.mp4")")
fi
if grep -q ' vidstabdetect ' <<<"$filters"; then
  rows+=("ffmpeg vidstabdetect + vidstabtransform, two passes|$(best_time vidstab)")
fi

echo "1920x1080, $frames frames, $(nproc) cores, best of $runs runs"
echo
echo "| command | seconds | frames per second | time / plain transcode |"
echo "|---|---|---|---|"
for row in "${rows[@]}"; do
  name=${row%|*}
  seconds=${row##*|}
  awk -v n="$name" -v s="$seconds" -v p="$plain" -v f="$frames" \
    'BEGIN { printf "| %s | %.2f | %.1f | %.2f |\n", n, s, f / s, s / p }'
done
echo
awk -v s="$ours" -v p="$plain" -v f="$frames" \
  'BEGIN { printf "Stabilising adds %.1f ms per frame, %.1f%% of the plain transcode.\n", 1000 * (s - p) / f, 100 * (s - p) / p }'
