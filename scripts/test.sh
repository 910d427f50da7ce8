#!/usr/bin/env bash
# Set-up, clean-enough build and every test. The one command CI runs.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
build=${TALVINOR_BUILD_DIR:-$top/build}
"$top/scripts/build.sh" -DTALVINOR_TESTS=ON "$@"
cd "$build"
ctest --output-on-failure --timeout 300 -j "$(nproc)"
