#!/usr/bin/env bash
# Set-up, build, then start Talvinor from its bundle folder. Arguments go to
# the program (a command text or a file to play).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
"$top/scripts/build.sh" -DTALVINOR_TESTS=OFF >/dev/null
build=${TALVINOR_BUILD_DIR:-$top/build}
if [ -x "$build/bundle/talvinor" ]; then
  exec "$build/bundle/talvinor" "$@"
fi
# Until the window program exists, the command-line companion stands in.
if [ -x "$build/bundle/talvinor-cli" ]; then
  exec "$build/bundle/talvinor-cli" "${@:---help}"
fi
echo "talvinor: nothing to start yet in $build/bundle" >&2
exit 1
