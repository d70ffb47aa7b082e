#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and
# UndefinedBehaviorSanitizer, runs each fuzz target for a bounded time when
# clang's fuzzer runtime is present, runs the tests of the concurrent code
# under ThreadSanitizer (scripts/tsan.sh), then every test through ctest: the
# ordinary ones on Qt's offscreen platform, then those named OnDisplay on a
# private X display (scripts/with-display.sh), then those named OnTwoMonitors
# on one with two monitors, whose summary closes the output.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# Compiler cache entries that do not depend on where the tree is checked out.
export CCACHE_BASEDIR="$root"

bash scripts/setup.sh

build=build/asan
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQV_SANITIZE=ON \
      -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" >/dev/null
cmake --build "$build" -j "$(nproc)"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"
export QT_QPA_PLATFORM=offscreen

bash scripts/fuzz.sh
bash scripts/tsan.sh

cd "$build"
status=0
ctest --output-on-failure -j "$(nproc)" -E 'OnDisplay|OnTwoMonitors' || status=$?
bash "$root/scripts/with-display.sh" ctest --output-on-failure -R OnDisplay || status=$?
QV_XVFB_SCREENS=2 bash "$root/scripts/with-display.sh" ctest --output-on-failure -R OnTwoMonitors ||
  status=$?
exit "$status"
