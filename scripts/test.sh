#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs every test: native,
# native under AddressSanitizer and UndefinedBehaviorSanitizer, the Windows build
# under Wine on a virtual display, a converter run under valgrind, a short run of
# every fuzz target, the packages, the browser page in headless Chromium and the
# static analysis. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
jobs=$(nproc)

for preset in native sanitize windows; do
    echo "== $preset: build"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Each ctest run's count, for the closing line.
passed=0
count() {
    local n
    n=$(grep -o 'tests failed out of [0-9]*' "$work/ctest.log" | grep -o '[0-9]*$' || echo 0)
    passed=$((passed + n))
}

echo "== native: test"
ctest --preset native -j "$jobs" | tee "$work/ctest.log"
count
echo "== sanitize: test"
ctest --preset sanitize -j "$jobs" | tee "$work/ctest.log"
count
echo "== windows: test (Wine)"
scripts/wine-prefix.sh
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset windows -j "$jobs" | tee "$work/ctest.log"
count

echo "== valgrind: a converter run"
build/native/bin/pixmora-testchart "$work/chart_1000x600_RGGB.raw" 1000 600 RGGB >/dev/null
valgrind --quiet --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,indirect \
    build/native/bin/pixmora-convert "$work/chart_1000x600_RGGB.raw"

echo "== fuzz: every target briefly"
scripts/fuzz.sh 15

echo "== packages: zip and installer under Wine, Debian package"
scripts/test-packages.sh

echo "== web: the browser page in headless Chromium"
scripts/test-web.sh

echo "== lint"
scripts/lint.sh

echo "test.sh: $passed passed, 0 failed"
