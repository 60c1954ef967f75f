#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for SECONDS (default 60), one after
# the other, growing a work corpus under build/fuzz/corpus seeded from fuzz/corpus. Prints one line per
# target with its executions and coverage; exits non-zero on any finding, whose
# input is left in build/fuzz/findings/<target>/ (copy it to fuzz/crashers/<target>/
# once fixed, so the replay tests keep it).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
case "$seconds" in ''|*[!0-9]*) echo "usage: scripts/fuzz.sh [SECONDS]" >&2; exit 2 ;; esac

scripts/install-deps.sh
targets=()
for source in fuzz/*_fuzz.cpp; do
    name=$(basename "$source" _fuzz.cpp)
    targets+=("$name")
done

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)" --target "${targets[@]/#/fuzz_}" >/dev/null

status=0
for name in "${targets[@]}"; do
    work="build/fuzz/corpus/$name"
    findings="build/fuzz/findings/$name"
    mkdir -p "$work" "$findings"
    log="build/fuzz/$name.log"
    if build/fuzz/bin/fuzz_"$name" -max_total_time="$seconds" -max_len=65536 -timeout=10 \
        -rss_limit_mb=4096 -artifact_prefix="$findings/" -print_final_stats=1 \
        "$work" "fuzz/corpus/$name" >"$log" 2>&1; then
        result="ok"
    else
        result="FINDING (see $log and $findings/)"
        status=1
    fi
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*' || echo "?")
    ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*' || echo "?")
    echo "fuzz $name: ${runs} executions, ${cov} edges, ${ft} features, ${seconds}s: $result"
done
exit $status
