#!/usr/bin/env bash
# The browser page's checks: installs what is missing, builds the page and the
# native converter it is compared with, lints the page's JavaScript and runs
# its tests in headless Chromium. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-web-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native -j2 --target pixmora-convert
cmake --preset web >/dev/null
cmake --build --preset web -j2

cd web
echo "== web: eslint"
npx eslint .
echo "== web: tests in headless Chromium"
node --test tests/
