#!/usr/bin/env bash
# Installs what is missing, builds the library and its stabiliser tool, and
# stabilises the built-in sample sequence.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j "$(nproc)" --target regviafft-stabilize
build/release/tools/regviafft-stabilize "$@"
