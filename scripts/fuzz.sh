#!/usr/bin/env bash
# Builds the fuzz targets of fuzz/ (clang with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer, in build-fuzz/ or $TALVINOR_FUZZ_BUILD_DIR) and
# runs each for SECONDS (default 60):
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]
#
# Each target writes its seed corpus afresh from the program's own encoders
# and writers; what a run learns is kept in BUILD/fuzz-corpus/TARGET for the
# next. A finding (a crash, a sanitizer report, an input that runs longer
# than 10 s, a broken check) is kept in BUILD/fuzz-findings/TARGET/ with the
# run's log beside it, and the script ends with status 1. Replay one with
#   BUILD/fuzz/TARGET BUILD/fuzz-findings/TARGET/crash-...
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
[ $# -gt 0 ] && shift
build=${TALVINOR_FUZZ_BUILD_DIR:-$top/build-fuzz}

"$top/scripts/setup.sh"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DTALVINOR_FUZZ=ON -DTALVINOR_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target fuzz_targets

targets=("$@")
[ ${#targets[@]} -eq 0 ] && mapfile -t targets < "$build/fuzz/targets.txt"

export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
status=0
for target in "${targets[@]}"; do
  seeds=$build/fuzz-seeds/$target
  corpus=$build/fuzz-corpus/$target
  findings=$build/fuzz-findings/$target
  log=$build/fuzz-findings/$target.log
  rm -rf "$seeds"
  mkdir -p "$seeds" "$corpus" "$findings"
  TALVINOR_FUZZ_SEEDS=$seeds "$build/fuzz/$target"
  started=$(date +%s)
  if "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$findings/" "$corpus" "$seeds" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "$target: ${runs:-?} executions in $(( $(date +%s) - started )) s, $(ls "$corpus" | wc -l) inputs in the corpus, no finding"
  else
    echo "$target: FINDING, kept in $findings/ (log: $log)" >&2
    tail -n 60 "$log" >&2
    status=1
  fi
done
exit $status
