#!/usr/bin/env bash
# Static analysis: clang-tidy (.clang-tidy) over the native build's sources and
# cppcheck over every source folder. Exits non-zero on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

cmake --preset native -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
# Files of the native build only: the Windows sources are analysed by cppcheck.
mapfile -t sources < <(git ls-files 'core/*.cpp' 'cli/*.cpp' 'fuzz/*.cpp' | grep -v '_win32\.cpp$')
echo "== clang-tidy (${#sources[@]} files)"
printf '%s\n' "${sources[@]}" | xargs -P "$(nproc)" -n 4 clang-tidy -p build/native --quiet 2>/dev/null

echo "== cppcheck"
cppcheck --enable=warning,performance,portability --std=c++17 --inline-suppr --quiet \
    --error-exitcode=1 --suppressions-list=.cppcheck-suppressions \
    -D_WIN32 -U__linux__ -I core -I app -I cli core app cli fuzz
cppcheck --enable=warning,performance,portability --std=c++17 --inline-suppr --quiet \
    --error-exitcode=1 --suppressions-list=.cppcheck-suppressions -I core -I cli core cli fuzz
echo "lint: clean"
