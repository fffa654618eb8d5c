#!/usr/bin/env bash
# Installs what is missing (scripts/setup.sh), builds the desktop program and the demo
# course, and starts the shell on the demo course (build/course/).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

echo "== build (the program and the demo course)"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_WERROR=ON >/dev/null
cmake --build build -j "$(nproc)" --target quillmere qm_demo_course

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: run this from a desktop session (or under xvfb-run)." >&2
  exit 1
fi
echo "== starting build/course/quillmere"
exec build/course/quillmere
