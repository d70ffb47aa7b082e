#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ (every fuzz/<Name>Fuzz.cpp) with
# clang (ASan + UBSan) in build/fuzz and runs each for a bounded time
# (QV_FUZZ_SECONDS, 10 by default) from its seed corpus and dictionary.
# Skips, successfully, when clang or its fuzzer runtime is missing. Exits
# non-zero when a target finds a crash, a leak or a broken invariant; the
# input is left in build/fuzz.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${QV_FUZZ_SECONDS:-10}
build=build/fuzz

probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' \
  >"$probe/probe.cpp"
if ! command -v clang++ >/dev/null ||
   ! clang++ -fsanitize=fuzzer,address "$probe/probe.cpp" -o "$probe/probe" 2>/dev/null; then
  echo "fuzz: clang++ with its fuzzer runtime is not available; skipped"
  exit 0
fi

CC=clang CXX=clang++ cmake -S fuzz -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build" -j "$(nproc)"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
for source in fuzz/*Fuzz.cpp; do
  target=$(basename "$source" .cpp)
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  dirs=("$corpus")
  [ -d "fuzz/corpus/$target" ] && dirs+=("fuzz/corpus/$target")
  options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
           -artifact_prefix="$build/$target-")
  [ -f "fuzz/$target.dict" ] && options+=(-dict="fuzz/$target.dict")
  echo "fuzz: $target for ${seconds}s"
  "$build/$target" "${options[@]}" "${dirs[@]}" 2>"$build/$target.log" || {
    tail -n 60 "$build/$target.log"
    echo "fuzz: $target failed; see $build/$target.log"
    exit 1
  }
  grep -E "^stat::number_of_executed_units|^Done" "$build/$target.log" || true
done
