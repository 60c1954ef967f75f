#!/usr/bin/env bash
# Installs what the browser page's build, tests and screenshots need, only what
# is missing: the native build's tools (the tests compare with the converter),
# Debian's Emscripten and Chromium, zlib's Debian source (the
# version the native build links, so the page's PNGs are the converter's
# bytes) unpacked into build/web-deps/, and the page's npm packages
# (web/package-lock.json) into web/node_modules. Runs as root, or through sudo
# when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive

packages=(cmake g++ make zlib1g-dev emscripten chromium dpkg-dev)
# A Node from elsewhere (nodesource) brings its own npm.
command -v npm >/dev/null || packages+=(nodejs npm)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
updated=""
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    updated=yes
    $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi

zlib=$root/build/web-deps/zlib
if [ ! -f "$zlib/deflate.c" ]; then
    version=$(dpkg-query -W -f='${Version}' zlib1g-dev)
    if ! apt-get source --print-uris -qq "zlib=$version" >/dev/null 2>&1; then
        # Debian's own archive, for source packages.
        $sudo tee /etc/apt/sources.list.d/pixmora-deb-src.sources >/dev/null <<'SOURCES'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
        updated=""
    fi
    [ -n "$updated" ] || $sudo apt-get update -qq
    work=$(mktemp -d)
    (cd "$work" && apt-get source -qq --download-only "zlib=$version" 2>/dev/null &&
        dpkg-source -q -x ./*.dsc zlib >/dev/null 2>&1)
    rm -rf "$zlib"
    mkdir -p "$(dirname "$zlib")"
    mv "$work/zlib" "$zlib"
    rm -rf "$work"
fi

if [ ! -d web/node_modules ] || [ web/package-lock.json -nt web/node_modules/.package-lock.json ]; then
    (cd web && npm ci --no-audit --no-fund --loglevel=error)
fi
