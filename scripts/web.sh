#!/usr/bin/env bash
# Installs what is missing, builds the browser page into build/web/ and serves
# it on 127.0.0.1 (PIXMORA_WEB_PORT, else 8642), printing its address, until
# interrupted. Without a display it opens the page in headless Chromium
# instead, with the sample chart loaded, saves screenshots into build/web/
# (web-half.png, web-zoom.png with the readout, web-plane.png, web-fits.png
# for a dump whose name gives no size) and exits.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-web-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native -j2 --target pixmora-testchart
cmake --preset web >/dev/null
cmake --build --preset web -j2

samples=build/web-samples
mkdir -p "$samples"
[ -f "$samples/chart-1000x600-RGGB.raw" ] ||
    build/native/bin/pixmora-testchart "$samples/chart-1000x600-RGGB.raw" 1000 600 RGGB
# The same chart as a capture tool without names would leave it.
[ -f "$samples/capture.raw" ] || {
    build/native/bin/pixmora-testchart "$samples/capture-1920x1080.raw" 1920 1080 RGGB
    mv "$samples/capture-1920x1080.raw" "$samples/capture.raw"
}

if [ -z "${DISPLAY:-}" ]; then
    echo "No display: screenshots of the page in headless Chromium instead."
    (cd web && node tools/screenshots.js ../build/web "../$samples/chart-1000x600-RGGB.raw" \
        "../$samples/capture.raw" ../build/web)
    echo "Screenshots: build/web/web-half.png, web-zoom.png, web-plane.png, web-fits.png"
    exit 0
fi
echo "Sample dumps to open: $samples/chart-1000x600-RGGB.raw and $samples/capture.raw (no size in its name)"
exec node web/tools/serve.js build/web "${PIXMORA_WEB_PORT:-8642}"
