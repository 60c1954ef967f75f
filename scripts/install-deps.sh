#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the window need, only
# those that are missing. Runs as root, or through sudo when there is one.
set -euo pipefail

packages=(
    cmake g++ make libgtest-dev libbenchmark-dev
    g++-mingw-w64-x86-64 wine wine64 xvfb xauth x11-utils xdotool imagemagick
    clang libclang-rt-14-dev clang-tidy cppcheck valgrind
    nsis dpkg-dev file lintian man-db libimage-exiftool-perl
    zlib1g-dev libz-mingw-w64-dev libpng-dev libraw-dev libraw-bin pngcheck
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
# With recommends: Wine's X11 driver loads several of its recommended libraries.
$sudo apt-get install -y -qq "${missing[@]}" >/dev/null
