#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running zembromw need (with
# --run, only those that building and running the programs need; with --package, those and
# what building the Debian package needs).
# Does nothing when they are all present; uses sudo when not run as root.
set -euo pipefail
# What building and running the programs needs; "--run" stops there (scripts/run.sh).
packages=(
  cmake ninja-build g++ pkg-config qt6-base-dev qt6-l10n-tools qt6-translations-l10n
  zlib1g-dev nettle-dev
  xvfb xauth fonts-ipafont-gothic
)
# CPack's Debian generator reads the binaries with file(1) and dpkg-shlibdeps.
if [ "${1:-}" = "--package" ]; then
  packages+=(dpkg-dev file)
fi
# What the tests, the Windows build under Wine and the package check need on top.
if [ "${1:-}" != "--run" ] && [ "${1:-}" != "--package" ]; then
  packages+=(
    clang-format libgtest-dev libxcb1-dev xdotool x11-utils imagemagick
    g++-mingw-w64-x86-64 libz-mingw-w64-dev wine wine64
    dpkg-dev file desktop-file-utils appstream man-db groff-base
    srecord python3
  )
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
