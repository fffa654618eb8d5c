#!/usr/bin/env bash
# CI's Debian 13 system is made from the mirror the machine's apt sources name
# (.ci/debian13.sh --mirror FILES...): which entry of which kind of file is taken.
set -uo pipefail
script="$(cd "$(dirname "$0")/../.." && pwd)/.ci/debian13.sh"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
passed=0 failed=0

# expect NAME WANTED FILE...: the mirror those files name is WANTED ("" for none).
expect() {
  local name=$1 wanted=$2 got
  shift 2
  got=$(bash "$script" --mirror "$@")
  if [ "$got" = "$wanted" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED $name: got '$got', wanted '$wanted'"
  fi
}

# deb822 stanzas: the security archive, a disabled one and source-only ones are passed
# over; the first suite of a release's own wins, whatever comes before it in its stanza.
cat >"$dir/debian.sources" <<'X'
Types: deb
URIs: http://security.example/debian-security
Suites: bookworm-security
Components: main

# a comment line
Types: deb
URIs: http://disabled.example/debian
Suites: bookworm
Enabled: no

Types: deb-src
URIs: http://sources.example/debian
Suites: bookworm

Types: deb deb-src
URIs: http://mirror.example/debian http://second.example/debian
Suites: bookworm-updates bookworm
Components: main
X
expect "deb822 stanzas" "http://mirror.example/debian" "$dir/debian.sources"

# One-line entries: comments, options in brackets (with blanks inside), -updates and
# -backports suites, and addresses debootstrap cannot use.
cat >"$dir/sources.list" <<'X'
# deb http://commented.example/debian bookworm main
deb-src http://sources.example/debian bookworm main
deb [ arch=amd64 signed-by=/usr/share/keyrings/k.gpg ] http://updates.example/debian bookworm-updates main
deb [trusted=yes] cdrom:[Debian 12]/ bookworm main
deb [arch=amd64 signed-by=/k.gpg] http://list.example/debian bookworm main
X
expect "one-line entries" "http://list.example/debian" "$dir/sources.list"

# Files are read in the order given; a missing one and another kind of file are passed over.
printf 'Types: deb\nURIs: file:/srv/mirror\nSuites: trixie\n' >"$dir/local.sources"
printf 'deb http://other.example/debian bookworm main\n' >"$dir/other.list.disabled"
expect "order of files" "file:/srv/mirror" "$dir/missing.list" "$dir/other.list.disabled" \
  "$dir/local.sources" "$dir/sources.list"
expect "only a security archive" "" "$dir/missing.list"
printf 'deb http://security.example/debian-security bookworm-security main\n' >"$dir/security.list"
expect "only a security archive" "" "$dir/security.list"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
