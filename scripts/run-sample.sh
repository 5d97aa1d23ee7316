#!/usr/bin/env bash
# Installs what is missing, builds everything, and stabilises the built-in
# sample into regviafft-sample/ (any options are passed on to the command).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DPython_EXECUTABLE=/usr/bin/python3 >/dev/null
cmake --build build/release -j "$(nproc)"
build/release/bin/regviafft-stabilize "$@"
