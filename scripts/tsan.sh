#!/usr/bin/env bash
# Builds the test binaries of the concurrent code with ThreadSanitizer in
# build/tsan (Debug -O1 -g, those targets only, no benchmarks) and runs each
# ROUNDS times (first argument, 1 by default). Exits non-zero on any
# sanitizer report or failed test.
#
# QV_TSAN_TARGETS overrides the set of binaries (space-separated names);
# test_app is left out by default to keep the CI step short.
# SystemEnvironmentSource.* stays out: once a QProcess has run in a test
# process the sanitizer loses track of the main thread's atomics and reports
# races that are not there.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
rounds=${1:-1}
targets=${QV_TSAN_TARGETS:-"test_platform test_core test_files test_catalog"}
build=build/tsan
jobs=${QV_TSAN_JOBS:-$(nproc)}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQV_TSAN=ON -DQV_BENCH=OFF \
      -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" >/dev/null
# shellcheck disable=SC2086
cmake --build "$build" -j "$jobs" --target $targets

export TSAN_OPTIONS="halt_on_error=0:exitcode=66:second_deadlock_stack=1:suppressions=$root/scripts/tsan.supp"
export QT_QPA_PLATFORM=offscreen
filter='-SystemEnvironmentSource.*'

# One round runs the binaries side by side; each leaves its output in a log.
run() {
  local target=$1 log=$2
  "$build/tests/$target" --gtest_filter="$filter" >"$log" 2>&1 &&
    ! grep -q "WARNING: ThreadSanitizer" "$log"
}

failed=()
for round in $(seq 1 "$rounds"); do
  pids=()
  for target in $targets; do
    run "$target" "$build/$target.round$round.log" &
    pids+=($!)
  done
  index=0
  for target in $targets; do
    log="$build/$target.round$round.log"
    if wait "${pids[$index]}"; then
      echo "tsan: $target round $round: clean"
    else
      echo "tsan: $target round $round: FAILED (see $log)"
      grep -A 30 "WARNING: ThreadSanitizer" "$log" | head -n 60 || tail -n 30 "$log"
      failed+=("$target#$round")
    fi
    index=$((index + 1))
  done
done
if ((${#failed[@]})); then
  echo "tsan: failures: ${failed[*]}"
  exit 1
fi
