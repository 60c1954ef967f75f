#!/usr/bin/env bash
# Times pixmora-convert against cp of the same input on the largest panel
# geometry (7399 x 4999), each as a whole process, the two interleaved so that
# both see the same machine load, and reports the median ratio of each case
# against its target. Then measures the converter's peak memory on the first
# case, which must stay that of a few bands whatever the dump's size.
#
#   bench/convert_bench.sh [RUNS [CASE...]]     (RUNS >= 7, default 11)
#
# A CASE is LAYOUT[:TARGET[:OPTION...]]: the input's layout, the most the
# conversion may take as a multiple of cp's time (default 1.0) and further
# converter options, e.g. "qcom10:3.0:--type:png" or "qcom10:1.5:--wb:2,1,1.5". Without cases every layout
# is measured, converting to BMP. Every timed run writes a file that does not
# exist yet, for cp and the converter alike, so neither pays for replacing an
# older file. CONVERTER=path overrides the executable (default
# build/native/bin/pixmora-convert, built when missing).
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-11}
if ! [[ "$runs" =~ ^[0-9]+$ ]] || [ "$runs" -lt 7 ]; then
    echo "convert_bench.sh: RUNS must be a whole number of at least 7, not '$runs'" >&2
    exit 2
fi
shift || true
cases=("$@")
[ ${#cases[@]} -gt 0 ] || cases=(qcom10 mipi10 mipi12 mipi14 plain10 plain12 plain14 plain16 raw8)

converter=${CONVERTER:-build/native/bin/pixmora-convert}
if [ ! -x "$converter" ]; then
    cmake --preset native >/dev/null
    cmake --build --preset native --target pixmora-convert -j "$(nproc)" >/dev/null
fi
if [ ! -x /usr/bin/time ]; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get install -y -qq time >/dev/null
fi

width=7399
height=4999
# Bytes of one tightly packed row of each layout.
row_bytes() {
    case $1 in
    qcom10) echo $(( (width + 5) / 6 * 8 )) ;;
    mipi10) echo $(( (width + 3) / 4 * 5 )) ;;
    mipi12) echo $(( (width + 1) / 2 * 3 )) ;;
    mipi14) echo $(( (width + 3) / 4 * 7 )) ;;
    plain*) echo $(( width * 2 )) ;;
    raw8) echo "$width" ;;
    *) echo "convert_bench.sh: no layout '$1'" >&2; exit 2 ;;
    esac
}

work=$(mktemp -d "${TMPDIR:-/tmp}/pixmora-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Microseconds taken by one run of the command.
elapsed_us() {
    local start end
    start=$EPOCHREALTIME
    "$@" >/dev/null || { echo "convert_bench.sh: failed: $*" >&2; return 1; }
    end=$EPOCHREALTIME
    echo $(( (${end/./} - ${start/./}) ))
}

median() {
    sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : int((v[NR / 2] + v[NR / 2 + 1]) / 2) }'
}

ms() { awk -v v="$1" 'BEGIN { printf "%7.1f", v / 1000 }'; }

status=0
first=""
printf '%-32s %10s %10s %10s %8s %7s\n' case "input MB" "cp ms" "convert ms" "x cp" target
for case in "${cases[@]}"; do
    IFS=: read -r -a parts <<<"$case"
    layout=${parts[0]}
    target=${parts[1]:-1.0}
    options=("${parts[@]:2}")
    input=$work/$layout.raw
    if [ ! -f "$input" ]; then
        # Any bytes are a valid dump; random ones keep the decoders honest.
        head -c $(( $(row_bytes "$layout") * height )) /dev/urandom >"$input"
    fi
    cat "$input" >/dev/null
    out=$work/out
    convert=("$converter" --quiet --layout "$layout" --width "$width" --height "$height" --pattern RGGB
             "${options[@]}")
    cp_times=()
    cv_times=()
    for (( i = 0; i < runs; i++ )); do
        rm -f "$work/copy" "$out"*
        cp_times+=("$(elapsed_us cp "$input" "$work/copy")") || exit 2
        cv_times+=("$(elapsed_us "${convert[@]}" --output "$out.out" "$input")") || exit 2
    done
    cp_median=$(printf '%s\n' "${cp_times[@]}" | median)
    cv_median=$(printf '%s\n' "${cv_times[@]}" | median)
    ratio=$(awk -v a="$cv_median" -v b="$cp_median" 'BEGIN { printf "%.2f", a / b }')
    printf '%-32s %10.1f %10s %10s %8s %7s\n' "$case" "$(awk -v b="$(stat -c %s "$input")" 'BEGIN { print b / 1e6 }')" \
        "$(ms "$cp_median")" "$(ms "$cv_median")" "$ratio" "$target"
    if awk -v r="$ratio" -v t="$target" 'BEGIN { exit !(r > t) }'; then
        echo "  SLOWER than the target"
        status=1
    fi
    [ -n "$first" ] || first=("${convert[@]}" --output "$out.peak" "$input")
done

# The memory of a few bands, the threads' stacks and the program itself.
limit_kb=$(( 16 * 1024 ))
peak_kb=$(/usr/bin/time -f '%M' "${first[@]}" 2>&1 >/dev/null | tail -1)
printf 'peak memory: %.1f MB (limit %.1f MB)\n' "$(awk -v v="$peak_kb" 'BEGIN { print v / 1024 }')" \
    "$(awk -v v="$limit_kb" 'BEGIN { print v / 1024 }')"
if [ "$peak_kb" -gt "$limit_kb" ]; then
    echo "MORE memory than the limit"
    status=1
fi
exit $status
