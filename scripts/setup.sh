#!/usr/bin/env bash
# Installs everything Talvinor needs to build, run and test on Debian 12.
# Idempotent: when every package is already present it does nothing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config ccache
  libogg-dev libvorbis-dev libspeex-dev libspeexdsp-dev
  libboost-regex-dev libasound2-dev qt6-base-dev libgtest-dev libcli11-dev
  fonts-ipafont-gothic
  # power and screen: X11 (DPMS, XTest, screen saver) for the program and its tests
  libx11-dev libxext-dev libxtst-dev libxss-dev
  # real peers the tests talk to
  vorbis-tools speex sox ffmpeg espeak-ng
  # private buses and an X server for the power tests
  dbus-daemon xvfb xauth
  # the MPRIS client the player's media-control tests drive it with
  playerctl
  # manual pages made from the programs' --help, and the install test's checks
  help2man man-db desktop-file-utils
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update
$sudo apt-get install -y --no-install-recommends "${missing[@]}"
