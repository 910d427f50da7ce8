#!/usr/bin/env bash
# Builds the engine, command and ui tests with AddressSanitizer and
# UndefinedBehaviorSanitizer (in build-asan/ or $TALVINOR_ASAN_BUILD_DIR)
# and runs them; any sanitizer report fails the test that caused it.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${TALVINOR_ASAN_BUILD_DIR:-$top/build-asan}
tests=(audio_tests devices_tests codec_tests ogg_codec_tests command_tests command_process_tests ui_tests)

"$top/scripts/setup.sh"
cmake -S "$top" -B "$build" -G Ninja -DTALVINOR_ASAN=ON -DTALVINOR_TESTS=ON >/dev/null
cmake --build "$build" --target "${tests[@]}"

# What ctest would set for them.
export QT_QPA_PLATFORM=offscreen
export TALVINOR_TEST_DATA=$top/tests/data
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
status=0
for test in "${tests[@]}"; do
  binary=$(find "$build/tests" -type f -name "$test" -perm -u+x | head -n 1)
  started=$(date +%s)
  run() { (cd "$(dirname "$binary")" && "$binary" --gtest_brief=1 >"$build/$test.log" 2>&1); }
  # A failure without a sanitizer report (a paced device that overran on a
  # busy machine) gets one more run; a sanitizer report never does.
  if run || { ! grep -qE 'ERROR: (Address|Leak)Sanitizer|runtime error:' "$build/$test.log" &&
              cp "$build/$test.log" "$build/$test.first.log" && run; }; then
    echo "$test: passed under ASan+UBSan in $(( $(date +%s) - started )) s"
  else
    echo "$test: FAILED under ASan+UBSan (log: $build/$test.log)" >&2
    tail -n 80 "$build/$test.log" >&2
    status=1
  fi
done
exit $status
