#!/usr/bin/env bash
# Installs every Debian package that building and testing Quillmere needs. Safe to run
# again: it installs only what is missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config clang libclang-rt-dev clang-format
  googletest libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev
  libc-bin
  qt6-base-dev qt6-webengine-dev libxcb1-dev zlib1g-dev haxe xvfb xauth fonts-droid-fallback fonts-wqy-microhei
  libsndfile1-dev qt6-multimedia-dev pulseaudio pulseaudio-utils
  espeak-ng libx11-dev fonts-dejavu-core
  nginx curl
  dpkg-dev file
  x11-utils xdotool openbox
  xdg-utils chromium
  g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine wine64
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
# Node.js runs the player page's script tests; npm installs the Ruffle player, and is
# needed only while node_modules does not hold the version package-lock.json pins. Any
# installation that provides them will do.
root=$(cd "$(dirname "$0")/.." && pwd)
stamp="$root/node_modules/.quillmere-lock"
ruffle_current() {
  cmp -s "$root/package-lock.json" "$stamp" 2>/dev/null && [ -f "$root/node_modules/@ruffle-rs/ruffle/ruffle.js" ]
}
if ! command -v node >/dev/null 2>&1; then missing+=(nodejs); fi
if ! ruffle_current && ! command -v npm >/dev/null 2>&1; then missing+=(npm); fi

if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  echo "Installing: ${missing[*]}"
  # The tests run nginx themselves, on loopback: the system service the package would
  # start on port 80 is kept from starting (Debian's policy-rc.d) and from booting.
  policy=""
  if [[ " ${missing[*]} " == *" nginx "* ]] && [ ! -e /usr/sbin/policy-rc.d ]; then
    policy=/usr/sbin/policy-rc.d
    printf '#!/bin/sh\nexit 101\n' | $SUDO tee "$policy" >/dev/null
    $SUDO chmod 755 "$policy"
    trap '$SUDO rm -f "$policy"' EXIT
  fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
  if [ -n "$policy" ]; then
    $SUDO rm -f "$policy"
    trap - EXIT
    if command -v systemctl >/dev/null 2>&1; then $SUDO systemctl disable --quiet nginx 2>/dev/null || true; fi
  fi
fi

# The Ruffle web player, at the version package-lock.json pins, into node_modules.
if ! ruffle_current; then
  echo "Installing the Ruffle player (npm ci)"
  (cd "$root" && npm ci --no-audit --no-fund --loglevel=error)
  cp "$root/package-lock.json" "$stamp"
fi
