#!/usr/bin/env bash
# Installs every Debian package that building and testing Quillmere needs. Safe to run
# again: it installs only what is missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config clang libclang-rt-dev clang-format
  googletest libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev
  libc-bin
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
