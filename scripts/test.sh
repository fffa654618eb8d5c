#!/usr/bin/env bash
# Builds Quillmere and runs every test: the normal build with all tests, the unit tests
# again under AddressSanitizer and UndefinedBehaviorSanitizer, a bounded fuzzing run of
# the request reader, the Debian package's check, and last short benchmark runs (after
# every test, so that a failing test is reported first).
#
# QM_BUILD_DIR names the build folder (default build); QM_SANITIZERS=0 leaves out the
# sanitizer build, its tests and the fuzzing (they test our code, not the system: CI's
# second system runs without them); QM_BENCHMARKS=0 leaves out the benchmarks;
# QM_WINDOWS=0 leaves out the Windows programs (cross-built with MinGW-w64 into
# $QM_BUILD_DIR-win, their tests run under Wine).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)
build=${QM_BUILD_DIR:-build}
sanitizers=${QM_SANITIZERS:-1}
benchmarks=${QM_BENCHMARKS:-1}
windows=${QM_WINDOWS:-1}
fuzz_seconds=${QM_FUZZ_SECONDS:-60}
http_fuzz_seconds=${QM_HTTP_FUZZ_SECONDS:-30}

bash scripts/setup.sh

echo "== build (g++, warnings as errors)"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_WERROR=ON >/dev/null
cmake --build "$build" -j "$jobs"

if [ "$sanitizers" = 0 ]; then
  echo "== the sanitizer build, its tests and the fuzzing are left out (QM_SANITIZERS=0)"
else
  echo "== build (clang, AddressSanitizer + UndefinedBehaviorSanitizer, fuzzer)"
  CXX=clang++ cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DQM_WERROR=ON \
    -DQM_SANITIZE=ON -DQM_FUZZ=ON -DQM_QT=OFF >/dev/null
  cmake --build build-asan -j "$jobs"

  echo "== tests under the sanitizers"
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  (cd build-asan && ctest --output-on-failure -j "$jobs")

  # Runs a libFuzzer target from a copy of its seed corpus for a bounded time; any crash,
  # leak or sanitizer report fails the run.
  fuzz() {
    local target=$1 seeds=$2 seconds=$3 corpus
    corpus=$(mktemp -d)
    cp "$seeds"/* "$corpus"/
    build-asan/"$target" -max_total_time="$seconds" -rss_limit_mb=2048 \
      -artifact_prefix="$root/build-asan/" -print_final_stats=1 "$corpus" 2>build-asan/"$target".log \
      || { tail -n 60 build-asan/"$target".log; echo "fuzzing $target found a fault"; exit 1; }
    grep -E "^(stat::number_of_executed_units|Done)" build-asan/"$target".log || true
    rm -rf "$corpus"
  }

  echo "== fuzzing the request reader for ${fuzz_seconds}s"
  fuzz request_fuzzer tests/fuzz/corpus "$fuzz_seconds"

  echo "== fuzzing the HTTP client's reply reading for ${http_fuzz_seconds}s"
  fuzz http_reply_fuzzer tests/fuzz/http_corpus "$http_fuzz_seconds"
fi

echo "== sound server for the sound tests (PulseAudio: null sink, sine source)"
PULSE_SERVER=$(bash scripts/sound_server.sh start)
export PULSE_SERVER QM_REQUIRE_SOUND=1
trap 'bash scripts/sound_server.sh stop' EXIT

echo "== tests"
# Every test but those that use the sound server, once: a test that fails fails the run.
(cd "$build" && ctest --output-on-failure -j "$jobs" -LE sound)
# The tests labelled "sound" (CTest LABELS) run on a real PulseAudio server, which
# schedules and may drop streams on its own: one that fails gets a second try, and the
# run says how many needed it. A test that fails twice fails the run.
sound_status=0
(cd "$build" && ctest --output-on-failure -L sound) || sound_status=$?
if [ "$sound_status" -ne 0 ]; then
  failed=$(sed 's/^[0-9]*://' "$build"/Testing/Temporary/LastTestsFailed.log)
  echo "sound tests that needed a second try: $(echo "$failed" | grep -c .) ($(echo $failed))"
  (cd "$build" && ctest --output-on-failure -L sound --rerun-failed)
else
  echo "sound tests that needed a second try: 0"
fi

if [ "$windows" = 0 ]; then
  echo "== the Windows programs are left out (QM_WINDOWS=0)"
else
  echo "== the Windows programs (MinGW-w64, warnings as errors) and their tests under Wine"
  windows_start=$SECONDS
  cmake -S . -B "$build-win" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_WERROR=ON \
    -DQM_LINUX_HEADLESS_EXE="$root/$build/quillmere-headless" >/dev/null
  cmake --build "$build-win" -j "$jobs"
  # The unit tests of the core and of the Win32 adapters, then the two headless drivers
  # compared on the same sessions.
  (cd "$build-win" && ctest --output-on-failure)
  echo "the Windows programs were built and passed their tests in $((SECONDS - windows_start)) s"
fi

echo "== the course check's report page of the demo course, opened in headless Chromium"
rm -rf "$build/check_report"
status=0
"$build"/course/quillmere --check "$build"/course --report "$build/check_report" \
  >"$build/check_report.txt" 2>"$build/check_report.log" || status=$?
if [ "$status" -ne 0 ]; then
  cat "$build/check_report.txt"; echo "the demo course's check ended with status $status"; exit 1
fi
mkdir -p "$build/artefacts"
node tests/check/report_page_check.mjs "$build/check_report" "$build/artefacts/check_report.png"

echo "== the Debian package of this system: built, installed, played on a course folder, removed"
QM_BUILD_DIR="$build" bash scripts/package.sh | tee "$build/package.log"
deb=$(tail -n 1 "$build/package.log")
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
trap '$SUDO apt-get remove -y -qq quillmere >/dev/null 2>&1 || true; bash scripts/sound_server.sh stop' EXIT
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "./$deb" >/dev/null
dpkg-query -W -f='${Package} ${Version}: ${Depends}\n' quillmere
# No installed file refers to the build tree.
dpkg -L quillmere | while IFS= read -r f; do [ -f "$f" ] && echo "$f"; done > "$build"/installed_files.txt
while IFS= read -r f; do
  if grep -q -F "$root" "$f"; then echo "an installed file names the build tree ($root): $f"; exit 1; fi
done < "$build"/installed_files.txt
quillmere --version
QM_INSTALLED_PROGRAM=/usr/bin/quillmere QTWEBENGINE_DISABLE_SANDBOX=1 \
  xvfb-run -a -s "-screen 0 1280x1024x24" "$build"/demo_course_e2e_tests \
  --gtest_filter='*InstalledProgram*' | tee "$build"/installed_e2e.log
# It must have run, not been skipped or filtered away.
if ! grep -q '^\[  PASSED  \] 2 tests' "$build"/installed_e2e.log || grep -q SKIPPED "$build"/installed_e2e.log; then
  echo "the installed program's test did not run"; exit 1
fi
DEBIAN_FRONTEND=noninteractive $SUDO apt-get remove -y -qq quillmere >/dev/null
while IFS= read -r f; do
  if [ -e "$f" ]; then echo "left behind after removal: $f"; exit 1; fi
done < "$build"/installed_files.txt
echo "the package installed, played the course and was removed cleanly"

if [ "$benchmarks" = 0 ]; then
  echo "== the benchmarks are left out (QM_BENCHMARKS=0)"
  exit 0
fi
echo "== benchmarks (short runs; figures are ratios against baselines of the same run)"
"$build"/bench_bridge --benchmark_min_time=0.2
"$build"/bench_download --size-mib 256
xvfb-run -a -s "-screen 0 1280x1024x24" "$build"/bench_flash
xvfb-run -a -s "-screen 0 1280x1024x24" "$build"/bench_startup 3
# Two warm runs of the program (each 40 s, with its baselines), to keep the run short.
xvfb-run -a -s "-screen 0 1280x1024x24" "$build"/bench_startup --program "$root/$build/course/quillmere" \
  "$build"/course 2
xvfb-run -a -s "-screen 0 1280x1024x24" "$build"/bench_frame_pacing 3
xvfb-run -a -s "-screen 0 1280x1024x24" "$build"/bench_long_day --seconds 30
QT_QPA_PLATFORM=offscreen timeout 120 "$build"/bench_recorder_latency 3
QT_QPA_PLATFORM=offscreen "$build"/bench_picker_list 5
