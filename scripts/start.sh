#!/usr/bin/env bash
# Set-up, build, then start Talvinor from its bundle folder. Arguments go to
# the program: a command text (/cmd:rec /toggle:1 /scene:1) or a file to play.
# While Talvinor runs, a second start hands its arguments to it and ends.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

build=${TALVINOR_BUILD_DIR:-$top/build}

# Talvinor is a window program. Without a display a first start cannot show
# itself (the program says so and how to run it); a second start only hands
# its arguments to the running Talvinor and needs none. Nothing built yet:
# say so before spending time on the build.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  if [ -x "$build/bundle/talvinor" ]; then
    exec "$build/bundle/talvinor" "$@"
  fi
  cat >&2 <<'TEXT'
talvinor: no display is available (neither DISPLAY nor WAYLAND_DISPLAY is set).
Start it from a desktop session, or run it anyway:
  under a virtual display (package xvfb:  sudo apt-get install xvfb):
    xvfb-run -a ./scripts/start.sh
  or with no screen at all (the window is drawn nowhere; a second start
  and talvinor-cli send still reach it):
    QT_QPA_PLATFORM=offscreen ./scripts/start.sh
TEXT
  exit 1
fi

"$top/scripts/setup.sh"
"$top/scripts/build.sh" -DTALVINOR_TESTS=OFF >/dev/null
exec "$build/bundle/talvinor" "$@"
