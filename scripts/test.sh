#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs every test: native,
# native under AddressSanitizer and UndefinedBehaviorSanitizer, and the Windows
# build under Wine on a virtual display. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
jobs=$(nproc)

for preset in native sanitize windows; do
    echo "== $preset: build"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
done

echo "== native: test"
ctest --preset native -j "$jobs"
echo "== sanitize: test"
ctest --preset sanitize -j "$jobs"
echo "== windows: test (Wine)"
scripts/wine-prefix.sh
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset windows -j "$jobs"
