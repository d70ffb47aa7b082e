#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test and run.
# Idempotent: when everything is present it touches nothing and needs no network.
set -euo pipefail

packages=(
  # build tools
  cmake ninja-build g++ ccache clang-format pkg-config
  # test and benchmark frameworks
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  # libraries
  libpython3-dev python3-dev libboost-python-dev libboost-dev libfmt-dev
  libjsoncpp-dev zlib1g-dev libminizip-dev libbz2-dev libxxhash-dev libutfcpp-dev
  libsimpleini-dev qt6-base-dev libx11-dev libxcb1-dev
  # Qt's SVG image plug-in: icon themes ship SVG and SVGZ icons
  libqt6svg6
  # a display for the window tests (scripts/with-display.sh): X server, window
  # manager, tray host, input and clipboard tools
  xvfb xauth openbox trayer xdotool xclip x11-utils x11-xserver-utils wmctrl
  # archives made by zip for the zip reader's tests
  zip
  # optional Python modules the plugins may use
  python3-chardet python3-natsort python3-socks
  # fuzzing
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
