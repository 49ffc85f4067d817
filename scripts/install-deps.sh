#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running zembromw need.
# Does nothing when they are all present; uses sudo when not run as root.
set -euo pipefail
packages=(
  cmake ninja-build g++ pkg-config clang-format
  qt6-base-dev libgtest-dev
  xvfb xauth xdotool x11-utils imagemagick fonts-ipafont-gothic
  g++-mingw-w64-x86-64 wine wine64
  dpkg-dev file desktop-file-utils appstream man-db groff-base
  srecord python3
)
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
