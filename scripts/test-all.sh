#!/usr/bin/env bash
# Everything from a fresh Debian 12 machine: installs the packages, then builds and runs
# every test in the normal and in the sanitizer (address + undefined) configuration, and
# cross-compiles the Qt-free parts for Windows and runs them under Wine; then builds the
# Debian package and checks what it installs.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# Sources follow the repository's .clang-format.
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror
cmake --preset mingw >/dev/null
cmake --build --preset mingw
cmake --workflow --preset default
# The Windows build under Wine, against the simulator that the default build made.
bash scripts/wine-tests.sh
cmake --workflow --preset asan
scripts/check-package.sh
