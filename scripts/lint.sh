#!/usr/bin/env bash
# Static analysis: clang-tidy (.clang-tidy) over the native build's sources and
# tests and the window's, cppcheck over every source folder, and the layers'
# include arrows (scripts/check-layers.sh). Exits non-zero on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

cmake --preset native -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
cmake --preset windows -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
mapfile -t native < <(git ls-files 'core/*.cpp' 'cli/*.cpp' 'fuzz/*.cpp' 'tests/*.cpp' |
    grep -v -e '_win32\.cpp$' -e '^tests/app/')
mapfile -t windows < <(git ls-files 'app/*.cpp' 'core/*_win32.cpp' 'tests/app/*.cpp')
echo "== clang-tidy (${#native[@]} native files, ${#windows[@]} Windows files)"
printf '%s\n' "${native[@]}" | xargs -P "$(nproc)" -n 4 clang-tidy -p build/native --quiet 2>/dev/null
# The Windows sources through clang with the MinGW-w64 headers.
mingw=/usr/lib/gcc/x86_64-w64-mingw32/$(ls /usr/lib/gcc/x86_64-w64-mingw32 | grep posix | head -1)
printf '%s\n' "${windows[@]}" | xargs -P "$(nproc)" -n 4 clang-tidy -p build/windows --quiet \
    --extra-arg=--target=x86_64-w64-mingw32 \
    --extra-arg=-isystem"$mingw/include/c++" --extra-arg=-isystem"$mingw/include/c++/x86_64-w64-mingw32" \
    --extra-arg=-isystem/usr/x86_64-w64-mingw32/include 2>/dev/null

echo "== cppcheck"
cppcheck --enable=warning,performance,portability --std=c++17 --inline-suppr --quiet \
    --error-exitcode=1 --suppressions-list=.cppcheck-suppressions \
    -D_WIN32 -U__linux__ -I core -I . -I tests core app cli fuzz
cppcheck --enable=warning,performance,portability --std=c++17 --inline-suppr --quiet \
    --error-exitcode=1 --suppressions-list=.cppcheck-suppressions -I core -I . -I tests core cli fuzz
echo "== layers"
scripts/check-layers.sh
echo "lint: clean"
