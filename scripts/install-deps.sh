#!/usr/bin/env bash
# Installs the Debian packages the build, the tests, the benchmarks, the
# sample and every example of the README need, when any is missing. Runs as
# root on Debian 12.
set -euo pipefail

packages=(
  cmake ninja-build g++ make pkgconf clang libclang-rt-14-dev
  libopencv-core-dev libopencv-imgproc-dev libopencv-imgcodecs-dev
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev
  pybind11-dev python3-dev python3-numpy python3-pytest python3-distributed
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev gstreamer1.0-tools gstreamer1.0-plugins-base
  gstreamer1.0-plugins-good gstreamer1.0-plugins-ugly gstreamer1.0-libav
  libgtest-dev libbenchmark-dev libfftw3-dev
  ffmpeg bc groff-base man-db dpkg-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
