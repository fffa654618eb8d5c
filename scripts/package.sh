#!/usr/bin/env bash
# Builds the Debian package dist/quillmere_<version>_<arch>.deb: installs what is missing
# (scripts/setup.sh), builds the programs, their data and the demo course in build/, and
# packs the installation with CPack (dependencies from dpkg-shlibdeps plus the runtime
# pieces the program needs).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

echo "== build (the programs, their data and the demo course)"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_WERROR=ON >/dev/null
cmake --build build -j "$(nproc)" --target quillmere qm_flash_player qm_demo_course

echo "== package"
rm -f dist/quillmere_*.deb
cpack --config build/CPackConfig.cmake >/dev/null
ls dist/quillmere_*.deb
