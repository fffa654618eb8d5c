#!/usr/bin/env bash
# CI's second leg: the test command inside a Debian 13 system (trixie).
#
#   .ci/debian13.sh [COMMAND...]    default: the test command without the sanitizer build,
#                                   the fuzzing, the benchmarks and the Windows programs,
#                                   in build-deb13/
#   .ci/debian13.sh --prepare       only makes the system and installs its packages
#   .ci/debian13.sh --mirror FILE...  prints the mirror those apt sources files name
#
# The system is made once with debootstrap (minbase) from the mirror that this machine's
# own apt sources name, and kept in QM_DEBIAN13_DIR (default /var/cache/quillmere-ci/
# debian13) for later runs. Its packages come from scripts/setup.sh, run inside it with
# the machine's network; the Ruffle player (npm ci) is installed on this side, into the
# tree that the system sees through a bind mount at the same path. The command then runs
# in a mount and network namespace of its own (loopback only): its X servers, sound
# server and nginx cannot meet the machine's, and every mount goes away with it.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
system=${QM_DEBIAN13_DIR:-/var/cache/quillmere-ci/debian13}
prepare_only=0
if [ "${1:-}" = --prepare ]; then prepare_only=1; shift; fi
if [ $# -eq 0 ]; then
  set -- env QM_BUILD_DIR=build-deb13 QM_SANITIZERS=0 QM_BENCHMARKS=0 QM_WINDOWS=0 bash scripts/test.sh
fi

# The first Debian archive that the apt sources FILES name (one-line .list files and
# deb822 .sources files, each in the order given): a "deb" entry of a release's own suite
# (not -security, -updates or -backports), not disabled, over http, https or file.
mirror() {
  local f
  for f in "$@"; do
    [ -f "$f" ] || continue
    case "$f" in
      *.list)
        # deb [ options ] URI SUITE COMPONENTS...
        awk '{ sub(/#.*/, "") }
             $1 == "deb" { n = 0; inside = 0
               for (i = 2; i <= NF; i++) {
                 if (!inside && $i ~ /^\[/) inside = 1
                 if (inside) { if ($i ~ /\]$/) inside = 0; continue }
                 w[++n] = $i
               }
               print w[1], w[2] }' "$f" ;;
      *.sources)
        # Stanzas separated by blank lines: Types, URIs, Suites, Enabled.
        awk 'BEGIN { RS = ""; FS = "\n" }
             { types = ""; uris = ""; suites = ""; enabled = "yes"
               for (i = 1; i <= NF; i++) {
                 line = $i
                 if (line ~ /^#/) continue
                 if (sub(/^Types:[ \t]*/, "", line)) types = line
                 else if (sub(/^URIs:[ \t]*/, "", line)) uris = line
                 else if (sub(/^Suites:[ \t]*/, "", line)) suites = line
                 else if (sub(/^Enabled:[ \t]*/, "", line)) enabled = tolower(line)
               }
               if (enabled == "no" || (" " types " ") !~ /[ \t]deb[ \t]/) next
               split(uris, u, /[ \t]+/); n = split(suites, s, /[ \t]+/)
               for (j = 1; j <= n; j++) if (s[j] != "") { print u[1], s[j] } }' "$f" ;;
    esac
  done | awk '$1 ~ /^(https?|file):/ && $2 !~ /-(security|updates|backports)$/ { print $1; exit }'
}

if [ "${1:-}" = --mirror ]; then shift; mirror "$@"; exit 0; fi
if [ "$(id -u)" -ne 0 ]; then echo "debian13.sh: run as root (debootstrap, chroot, mounts)" >&2; exit 1; fi

if [ ! -f "$system/.quillmere-ready" ]; then
  # CI's own tool, not one of the project's: a fresh machine may not have it.
  if ! command -v debootstrap >/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap
  fi
  url=$(mirror /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources)
  if [ -z "$url" ]; then echo "debian13.sh: the apt sources name no Debian archive" >&2; exit 1; fi
  echo "== making the Debian 13 system in $system (debootstrap, from the machine's own mirror)"
  rm -rf "$system" "$system.new"
  mkdir -p "$(dirname "$system")"
  debootstrap --variant=minbase trixie "$system.new" "$url" >"$system.log" 2>&1 \
    || { tail -n 30 "$system.log"; echo "debootstrap failed"; exit 1; }
  mv "$system.new" "$system"
  touch "$system/.quillmere-ready"
fi

# The machine's resolver for the installs, the tree at its own path.
cp -L /etc/resolv.conf "$system/etc/resolv.conf"
mkdir -p "$system$root"

# Runs "$@" in the system, with /proc, /sys, /dev and the tree mounted, in a new mount
# namespace; with --isolated also in a network namespace with only loopback.
in_system() {
  local net=()
  if [ "$1" = --isolated ]; then net=(--net); shift; fi
  unshare --mount --propagation private "${net[@]}" \
    bash -euo pipefail -c '
      system=$1 root=$2; shift 2
      # Its root a mount point of its own, as on a machine of its own (unshare --mount
      # and mount propagation, which the tests use, need that).
      mount --bind "$system" "$system"
      mount -t proc proc "$system/proc"
      mount --rbind /sys "$system/sys"
      mount --rbind /dev "$system/dev"
      mount --bind "$root" "$system$root"
      if [ -n "${QM_ISOLATED:-}" ]; then ip link set lo up; fi
      exec chroot "$system" /usr/bin/env -i HOME=/root TERM="${TERM:-dumb}" \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        LANG=C.UTF-8 CI="${CI:-}" bash -c "cd \"\$0\" && exec \"\$@\"" "$root" "$@"' \
    in_system "$system" "$root" "$@"
}
# A mount left by a process that outlived its namespace cannot stay: the namespace ends
# with its last process, and nothing was mounted in this one.
cleanup() {
  local pid
  for pid in $(ls /proc | grep -E '^[0-9]+$'); do
    if [ "$(readlink "/proc/$pid/root" 2>/dev/null)" = "$system" ]; then kill "$pid" 2>/dev/null || true; fi
  done
}
trap cleanup EXIT

echo "== Debian 13: the packages the build and the tests need (scripts/setup.sh)"
# npm ci on this side, so that nothing in the system needs the npm registry.
(cd "$root" && bash -c 'stamp=node_modules/.quillmere-lock
  if ! cmp -s package-lock.json "$stamp" || [ ! -f node_modules/@ruffle-rs/ruffle/ruffle.js ]; then
    npm ci --no-audit --no-fund --loglevel=error && cp package-lock.json "$stamp"; fi')
in_system bash scripts/setup.sh >"$system.setup.log" 2>&1 \
  || { tail -n 40 "$system.setup.log"; echo "scripts/setup.sh failed in the Debian 13 system"; exit 1; }
grep -E '^(PRETTY_NAME)=' "$system/etc/os-release"
if [ "$prepare_only" = 1 ]; then exit 0; fi

echo "== Debian 13: $*"
QM_ISOLATED=1 in_system --isolated "$@"
