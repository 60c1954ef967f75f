#!/usr/bin/env bash
# Counted lines (non-blank, not a // comment, in .cpp and .h files) of the
# code (core, app, cli), the tests and the fuzz targets, and the tests' share
# of the code.
set -euo pipefail
cd "$(dirname "$0")/.."

count() {
    find "$@" -type f \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 cat |
        grep -cv -e '^[[:space:]]*$' -e '^[[:space:]]*//' || true
}
code=$(count core app cli)
tests=$(count tests)
fuzz=$(count fuzz)
echo "code (core, app, cli): $code"
echo "tests: $tests"
echo "fuzz: $fuzz"
awk -v t="$tests" -v c="$code" 'BEGIN { printf "tests / code: %.2f\n", t / c }'
