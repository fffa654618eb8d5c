#!/usr/bin/env bash
# Builds the Debian package of the system it runs on, dist/quillmere_<version>+debN_<arch>.deb
# (+deb12 on Debian 12, +deb13 on Debian 13): installs what is missing (scripts/setup.sh),
# builds the programs, their data and the demo course, and packs the installation with
# CPack (dependencies from dpkg-shlibdeps, against this system's libraries, plus the
# runtime pieces the program needs). Its last line is the package file.
#
# QM_BUILD_DIR names the build folder (default build).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${QM_BUILD_DIR:-build}

bash scripts/setup.sh

echo "== build (the programs, their data and the demo course)"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_WERROR=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target quillmere qm_flash_player qm_demo_course

echo "== package"
cpack --config "$build/CPackConfig.cmake" >"$build/cpack.log" \
  || { cat "$build/cpack.log"; exit 1; }
# CPack names the file it wrote: "CPack: - package: /.../dist/NAME.deb generated."
deb=$(sed -n 's/^CPack: - package: \(.*\.deb\) generated\.$/\1/p' "$build/cpack.log" | tail -n 1)
if [ -z "$deb" ] || [ ! -f "$deb" ]; then cat "$build/cpack.log"; echo "CPack wrote no package"; exit 1; fi
realpath --relative-to=. "$deb"
