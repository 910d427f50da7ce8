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
#
# TALVINOR_FUZZ_FORK=N runs each target in libFuzzer's fork mode with N
# worker processes that restart every few minutes, for runs of hours: every
# input of a file-source target starts source threads, and AddressSanitizer
# keeps a record of each thread that ever ran, so one process slows down and
# grows towards the memory limit over millions of inputs. Crashes, time-outs
# and running out of memory still end the run as findings.
# TALVINOR_FUZZ_RUNS=N ends each target after N executions (or SECONDS,
# whichever comes first).
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
fork=${TALVINOR_FUZZ_FORK:-0}
mode=()
[ "$fork" -gt 0 ] && mode=(-fork="$fork" -ignore_crashes=0 -ignore_timeouts=0 -ignore_ooms=0)
[ -n "${TALVINOR_FUZZ_RUNS:-}" ] && mode+=(-runs="$TALVINOR_FUZZ_RUNS")
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
  if "$build/fuzz/$target" "${mode[@]}" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" "$seeds" >"$log" 2>&1; then
    # A forked run's workers each print their own final figures; the
    # parent's last status line has the total.
    if [ "$fork" -gt 0 ]; then
      runs=$(sed -n 's/^#\([0-9]*\): cov:.*/\1/p' "$log" | tail -n 1)
    else
      runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    fi
    echo "$target: ${runs:-?} executions in $(( $(date +%s) - started )) s, $(ls "$corpus" | wc -l) inputs in the corpus, no finding"
  else
    echo "$target: FINDING, kept in $findings/ (log: $log)" >&2
    tail -n 60 "$log" >&2
    status=1
  fi
done
exit $status
