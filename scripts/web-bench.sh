#!/usr/bin/env bash
# The browser page's benchmark (not a test): one band's decode natively and in
# WebAssembly in headless Chromium, the redraw after a changed setting at half
# and full size for a 4000 x 3000 mipi10 dump, and a 200 MB dump opened.
# docs/performance.md holds a run's table.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-web-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native -j2 --target pixmora-band-bench
cmake --preset web >/dev/null
cmake --build --preset web -j2 --target pixmora_web_site pixmora_band_bench_web

echo "== native band decode"
build/native/bin/pixmora-band-bench
echo "== the page in headless Chromium"
(cd web && node bench/web_bench.js ../build/web ../build/web-cmake/web/bench)
