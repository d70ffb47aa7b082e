#!/usr/bin/env bash
# Installs what is missing, builds a Release build and starts the launcher
# from the build tree, which is laid out like an installation.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/setup.sh

build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQV_TESTS=OFF -DQV_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"

if [ ! -x "$build/quorvalent" ]; then
  echo "Quorvalent: the libraries are built; the program itself does not exist yet."
  exit 0
fi
exec "$build/quorvalent" "$@"
