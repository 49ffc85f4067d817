#!/usr/bin/env bash
# Builds the Debian package, unpacks it into a throw-away root and checks what a user gets:
# the programs start, the menu entry and the AppStream data validate, and the manual pages
# format without a warning.
set -euo pipefail
cd "$(dirname "$0")/.."
deb=$(scripts/package.sh | tail -n 1)
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
echo "== $deb"
dpkg-deb -f "$deb" Package Version Depends

fail=0
check() {
  echo "-- $*"
  "$@" || { echo "FAILED: $*" >&2; fail=1; }
}
# Any output from the formatter on standard error is a warning.
quiet_man() {
  local warnings
  warnings=$(MANWIDTH=80 man --warnings -l "$1" 2>&1 >/dev/null)
  [ -z "$warnings" ] || { echo "$warnings" >&2; return 1; }
  warnings=$(groff -k -Tutf8 -ww -z -man "$1" 2>&1)
  [ -z "$warnings" ] || { echo "$warnings" >&2; return 1; }
}

bin=$root/usr/bin
check "$bin/zembromw-cli" --version
check "$bin/zembromw-sim" --version
check "$bin/zembromw" --version
check "$bin/zembromw-cli" ports
check desktop-file-validate "$root"/usr/share/applications/*.desktop
check appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml
check test -f "$root/usr/share/icons/hicolor/scalable/apps/zembromw.svg"
for page in "$root"/usr/share/man/man1/*.1*; do
  check quiet_man "$page"
done
[ "$(ls "$root"/usr/share/man/man1 | wc -l)" -eq 3 ] || { echo "FAILED: expected 3 manual pages" >&2; fail=1; }
dpkg-deb -f "$deb" Depends | grep -q 'fonts-ipafont-gothic' || { echo "FAILED: no font dependency" >&2; fail=1; }
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' || { echo "FAILED: no Qt dependency" >&2; fail=1; }
# The checksum libraries, found by dpkg-shlibdeps in the binaries.
dpkg-deb -f "$deb" Depends | grep -q 'zlib1g' || { echo "FAILED: no zlib dependency" >&2; fail=1; }
dpkg-deb -f "$deb" Depends | grep -q 'libnettle8' || { echo "FAILED: no nettle dependency" >&2; fail=1; }
[ "$fail" -eq 0 ] && echo "package check passed"
exit "$fail"
