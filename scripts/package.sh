#!/usr/bin/env bash
# Builds the Debian package in build/package and prints its path on the last line.
# Release build without the tests; the dependencies come from the binaries (dpkg-shlibdeps).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset package >/dev/null
cmake --build --preset package --target zembromw zembromw-cli zembromw-sim
rm -f build/package/zembromw_*.deb
(cd build/package && cpack -G DEB >/dev/null)
ls build/package/zembromw_*.deb
