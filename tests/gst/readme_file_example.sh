#!/usr/bin/env bash
# The README's GStreamer example for a file, run as it is written there on a
# clip with sound: it needs only what the set-up installs, and the output
# keeps every frame and the sound.
#
#   bash tests/gst/readme_file_example.sh README.md PLUGIN_DIR
set -euo pipefail
readme=$(realpath "$1")
plugins=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# The example: from its gst-launch-1.0 line to the end of its continuation.
awk '/^gst-launch-1.0 filesrc location=in.mp4/ { on = 1 } on { print } on && !/\\$/ { exit }' "$readme" >example.sh
grep -q "location=out.mp4" example.sh || { echo "readme_file_example: no file example in $readme" >&2; exit 1; }

frames=90
ffmpeg -v error -f lavfi -i "testsrc2=size=320x240:rate=30" -f lavfi -i "sine=f=440:sample_rate=48000" \
  -vf "crop=288:208:x='16+9*sin(n/3.1)':y='16+7*sin(n/2.3)'" -frames:v $frames -shortest \
  -c:v libx264 -preset ultrafast -c:a aac in.mp4

GST_PLUGIN_PATH=$plugins GST_REGISTRY=$work/registry.bin timeout 300 bash example.sh >launch.log 2>&1 ||
  { cat launch.log >&2; echo "readme_file_example: the example failed" >&2; exit 1; }

count() { # stream type, entry
  ffprobe -v error -select_streams "$1" -count_packets -show_entries "stream=$2" -of csv=p=0 out.mp4
}
video=$(count v nb_read_packets)
audio=$(count a nb_read_packets)
expected_audio=$(ffprobe -v error -select_streams a -count_packets -show_entries stream=nb_read_packets \
  -of csv=p=0 in.mp4)
echo "readme_file_example: $video video frames of $frames, $audio audio packets of $expected_audio"
[ "$video" = "$frames" ] || { echo "readme_file_example: frames lost" >&2; exit 1; }
# The encoder may add a packet of priming or drop the last partial one.
[ -n "$audio" ] && [ $((audio - expected_audio)) -le 2 ] && [ $((expected_audio - audio)) -le 2 ] ||
  { echo "readme_file_example: the sound is not kept" >&2; exit 1; }
