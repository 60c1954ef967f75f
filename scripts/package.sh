#!/usr/bin/env bash
# Builds the release and packs it into build/packages/:
#
#   Pixmora-<version>-win64.zip          Pixmora.exe, pixmora-convert.exe, README.txt,
#                                        LICENSE.txt, THIRD_PARTY.txt and the sample
#                                        chart, in one folder
#   Pixmora-<version>-win64.exe          64-bit NSIS installer of the same files
#   pixmora-convert_<version>_amd64.deb  the native converter, its manual page and
#                                        its copyright file (MIT)
#   Pixmora-<version>-web.zip            the browser page's static site, in one folder
#
# The version is the one in the top CMakeLists.txt; what is packed and how is in
# cmake/packaging.cmake and packaging/. Prints each package's size.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
jobs=$(nproc)
out=build/packages

echo "== package: build"
cmake --preset native >/dev/null
cmake --build --preset native -j "$jobs" --target pixmora-convert pixmora-testchart pixmora_deb_docs
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs" --target Pixmora pixmora-convert

# The chart's bytes do not depend on the platform: the native writer makes the
# Windows packages' sample without starting Wine.
mkdir -p build/windows/samples
build/native/bin/pixmora-testchart build/windows/samples/chart-1000x600-RGGB.raw 1000 600 RGGB

echo "== package: CPack"
# strip stamps a Windows executable with the time it runs, and the zip and the
# installer each strip their own copy: one fixed time keeps their bytes the same.
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}
export SOURCE_DATE_EPOCH
rm -rf "$out"
mkdir -p "$out"
for preset in windows native; do
    # CPack's working tree stays in the preset's folder; only packages go to $out.
    staging=build/$preset/cpack
    rm -rf "$staging"
    cpack --config "build/$preset/CPackConfig.cmake" -B "$staging" >"build/$preset/cpack.log" 2>&1 ||
        { cat "build/$preset/cpack.log" >&2; exit 1; }
    find "$staging" -maxdepth 1 -type f \( -name '*.zip' -o -name '*.exe' -o -name '*.deb' \) \
        -exec mv {} "$out"/ \;
done

echo "== package: the browser page"
scripts/install-web-deps.sh
cmake --preset web >/dev/null
cmake --build --preset web -j "$jobs"
version=$(sed -n 's/^project(Pixmora VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
site=build/web-package/Pixmora-$version-web
rm -rf build/web-package
mkdir -p "$site"
# The site without the screenshots scripts/web.sh may have left beside it.
find build/web -maxdepth 1 -type f ! -name 'web-*.png' -exec cp {} "$site"/ \;
(cd build/web-package && cmake -E tar cf "../packages/Pixmora-$version-web.zip" --format=zip "Pixmora-$version-web")

for package in "$out"/*; do
    printf '%10d bytes  %s\n' "$(stat -c %s "$package")" "$package"
done
