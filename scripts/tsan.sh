#!/usr/bin/env bash
# Builds the test binaries of the concurrent code with ThreadSanitizer in
# build/tsan (Debug -O1 -g, those targets only, no benchmarks) and runs each
# ROUNDS times (first argument, 1 by default). Exits non-zero on any
# sanitizer report or failed test.
#
# QV_TSAN_TARGETS overrides the set of binaries (space-separated names, or
# "all" for every test binary of tests/); names that are not test binaries
# are built but not run. The default set holds the binaries of the threaded
# code (files, packages, the interpreter, the App); the window and toolkit
# tests are left out to keep the CI step short. The tests named OnDisplay
# run on a private X display (scripts/with-display.sh), one binary after the
# other.
# SystemEnvironmentSource.* stays out: once a QProcess has run in a test
# process the sanitizer loses track of the main thread's atomics and reports
# races that are not there.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
rounds=${1:-1}
targets=${QV_TSAN_TARGETS:-"test_platform test_core test_files test_catalog test_packages test_python test_app"}
if [ "$targets" = all ]; then
  targets=$(find tests -mindepth 2 -maxdepth 2 -name '*.cpp' -printf '%h\n' |
    sed -n 's|^tests/\([a-z]*\)$|test_\1|p' | grep -v '^test_support$' | sort -u | tr '\n' ' ')
fi
build=build/tsan
jobs=${QV_TSAN_JOBS:-$(nproc)}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQV_TSAN=ON -DQV_BENCH=OFF \
      -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" >/dev/null
# shellcheck disable=SC2086
cmake --build "$build" -j "$jobs" --target $targets

# die_after_fork=0: libdbus, loaded by Qt on a display, forks to autolaunch a
# session bus from a process that already has threads, which the sanitizer
# refuses by default.
export TSAN_OPTIONS="halt_on_error=0:exitcode=66:second_deadlock_stack=1:die_after_fork=0:suppressions=$root/scripts/tsan.supp"
export QT_QPA_PLATFORM=offscreen
filter='-SystemEnvironmentSource.*:*OnDisplay*'

tests=()
for target in $targets; do
  if [[ $target == test_* && -x "$build/tests/$target" ]]; then
    tests+=("$target")
  else
    echo "tsan: $target is not a test binary; not run"
  fi
done

# Passes when the binary's tests pass without a sanitizer report; the output
# stays in the log.
check() {
  local log=$1
  shift
  "$@" >"$log" 2>&1 && ! grep -q "WARNING: ThreadSanitizer" "$log"
}

report() {
  local what=$1 log=$2 status=$3
  if [ "$status" = 0 ]; then
    echo "tsan: $what: clean"
    return
  fi
  echo "tsan: $what: FAILED (see $log)"
  grep -A 30 "WARNING: ThreadSanitizer" "$log" | head -n 60 || tail -n 30 "$log"
  failed+=("$what")
}

# The binaries with tests named OnDisplay.
displayTests() {
  local target
  for target in "${tests[@]}"; do
    "$build/tests/$target" --gtest_list_tests --gtest_filter='*OnDisplay*' |
      grep -q '^  ' && echo "$target"
  done
}
mapfile -t onDisplay < <(displayTests)

failed=()
for round in $(seq 1 "$rounds"); do
  # The binaries run side by side, each on Qt's offscreen platform.
  pids=()
  for target in "${tests[@]}"; do
    check "$build/$target.round$round.log" "$build/tests/$target" --gtest_filter="$filter" &
    pids+=($!)
  done
  for index in "${!tests[@]}"; do
    status=0
    wait "${pids[$index]}" || status=$?
    report "${tests[$index]} round $round" "$build/${tests[$index]}.round$round.log" "$status"
  done
  for target in "${onDisplay[@]}"; do
    log="$build/$target.display.round$round.log"
    status=0
    check "$log" bash scripts/with-display.sh "$build/tests/$target" \
      --gtest_filter='*OnDisplay*:-SystemEnvironmentSource.*' || status=$?
    report "$target (OnDisplay) round $round" "$log" "$status"
  done
done
if ((${#failed[@]})); then
  echo "tsan: failures: ${failed[*]}"
  exit 1
fi
