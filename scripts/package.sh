#!/usr/bin/env bash
# Builds the Debian package in build/package and prints its path on the last line.
# Release build without the tests; the dependencies come from the binaries (dpkg-shlibdeps).
# Installs the Debian packages it needs first (sudo when not run as root).
set -euo pipefail
cd "$(dirname "$0")/.."
# What the build and CPack need, as on a fresh machine; the package list goes to stderr so
# that the last line of stdout stays the package's path.
scripts/install-deps.sh --package >&2
cmake --preset package >/dev/null
cmake --build --preset package --target zembromw zembromw-cli zembromw-sim
rm -f build/package/zembromw_*.deb
(cd build/package && cpack -G DEB >/dev/null)
ls build/package/zembromw_*.deb
