#!/usr/bin/env bash
# bench_dft under the class this machine is detected as, then forced to AVX and
# to generic, each against FFTW in its own run; prints the three ratio columns
# side by side with their geometric means.
#
#   bash bench/dft_variants.sh [build directory, default build/release]
set -euo pipefail
cd "$(dirname "$0")/.."
bench=${1:-build/release}/bench/bench_dft
"${bench%/bench_dft}/../tools/dftinfo" 2>/dev/null | head -4 || true

run() {  # class ("" for detected) -> "size ratio" lines, geo-mean last
  REGVIAFFT_DEBUG_CPU_TYPE=$1 "$bench" --benchmark_min_time=0.3 2>/dev/null |
    awk '/^size /{table=1; next} table && NF>=5 {print $1, $4} table && /^geo-mean/ {print $1, $NF}'
}
[ -n "${REGVIAFFT_DEBUG_CPU_TYPE:-}" ] && { echo "unset REGVIAFFT_DEBUG_CPU_TYPE first" >&2; exit 2; }
detected=$(run "")
avx=$(run AVX)
generic=$(run 0)
printf '\n%-9s %10s %10s %10s\n' size detected "AVX" generic
paste -d' ' <(echo "$detected") <(echo "$avx" | cut -d' ' -f2) <(echo "$generic" | cut -d' ' -f2) |
  awk '{printf "%-9s %10s %10s %10s\n", $1, $2, $3, $4}'
echo "(ours / FFTW_MEASURE, CPU time, fastest repetition; below 1 is faster than FFTW)"
