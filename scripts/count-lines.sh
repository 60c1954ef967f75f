#!/usr/bin/env bash
# Counted lines (non-blank, not a // comment, in .cpp, .h and, for the browser
# page, .js files) of the code (core, app, cli), the tests and the fuzz
# targets, and the tests' share of the code; the page's the same way.
set -euo pipefail
cd "$(dirname "$0")/.."

count() {
    find "$@" -path '*/node_modules' -prune -o -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.js' \) -print0 |
        xargs -0 cat |
        grep -cv -e '^[[:space:]]*$' -e '^[[:space:]]*//' || true
}
code=$(count core app cli)
tests=$(count tests)
fuzz=$(count fuzz)
echo "code (core, app, cli): $code"
echo "tests: $tests"
echo "fuzz: $fuzz"
awk -v t="$tests" -v c="$code" 'BEGIN { printf "tests / code: %.2f\n", t / c }'
web=$(count web/wasm web/site web/tools)
web_tests=$(count web/tests)
echo "browser page (web/wasm, web/site, web/tools): $web"
echo "its tests: $web_tests"
awk -v t="$web_tests" -v c="$web" 'BEGIN { printf "page tests / page code: %.2f\n", t / c }'
