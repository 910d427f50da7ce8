#!/usr/bin/env bash
# Configures and builds into build/ (or $TALVINOR_BUILD_DIR) with Ninja.
# Extra arguments go to the CMake configure step (-DTALVINOR_ASAN=ON, say).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${TALVINOR_BUILD_DIR:-$top/build}
cmake -S "$top" -B "$build" -G Ninja "$@"
cmake --build "$build"
