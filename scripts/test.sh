#!/usr/bin/env bash
# Builds Quillmere and runs every test: the normal build with all tests, the unit tests
# again under AddressSanitizer and UndefinedBehaviorSanitizer, a bounded fuzzing run of
# the request reader, and a short benchmark run.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)
fuzz_seconds=${QM_FUZZ_SECONDS:-60}

bash scripts/setup.sh

echo "== build (g++, warnings as errors)"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_WERROR=ON >/dev/null
cmake --build build -j "$jobs"

echo "== build (clang, AddressSanitizer + UndefinedBehaviorSanitizer, fuzzer)"
CXX=clang++ cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DQM_WERROR=ON \
  -DQM_SANITIZE=ON -DQM_FUZZ=ON >/dev/null
cmake --build build-asan -j "$jobs"

echo "== tests under the sanitizers"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build-asan && ctest --output-on-failure -j "$jobs")

echo "== fuzzing the request reader for ${fuzz_seconds}s"
corpus=$(mktemp -d)
cp tests/fuzz/corpus/* "$corpus"/
build-asan/request_fuzzer -max_total_time="$fuzz_seconds" -rss_limit_mb=2048 \
  -artifact_prefix="$root/build-asan/" -print_final_stats=1 "$corpus" 2>build-asan/fuzz.log \
  || { tail -n 60 build-asan/fuzz.log; echo "fuzzing found a fault"; exit 1; }
grep -E "^(stat::number_of_executed_units|Done)" build-asan/fuzz.log || true
rm -rf "$corpus"

echo "== benchmark (short run)"
build/bench_bridge --benchmark_min_time=0.2

echo "== tests"
(cd build && ctest --output-on-failure -j "$jobs")
