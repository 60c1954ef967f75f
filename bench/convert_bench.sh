#!/usr/bin/env bash
# Times pixmora-convert against cp of the same input on the largest panel
# geometry (7399 x 4999), each as a whole process, the two interleaved so that
# both see the same machine load, and reports the median ratio of each case
# against its target. Then measures the converter's peak memory on the first
# case, which must stay that of a few bands whatever the dump's size, and of
# --frame all from a pipe, which may add one frame; and times a batch of 200
# small dumps on every core against the same batch pinned to one.
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

# The memory of a few bands, the threads' stacks and the program itself; from
# a pipe, one frame more (qcom10 7399 x 4999: 49.4 MB).
limit_kb=$(( 16 * 1024 ))
peak() { /usr/bin/time -f '%M' "$@" 2>&1 >/dev/null | tail -1; }
report_peak() {
    printf '%-32s %.1f MB (limit %.1f MB)\n' "$1" "$(awk -v v="$2" 'BEGIN { print v / 1024 }')" \
        "$(awk -v v="$3" 'BEGIN { print v / 1024 }')"
    if [ "$2" -gt "$3" ]; then
        echo "  MORE memory than the limit"
        status=1
    fi
}
report_peak "peak memory, ${cases[0]}" "$(peak "${first[@]}")" "$limit_kb"
frame=$(( $(row_bytes qcom10) * height ))
rm -f "$out"*
report_peak "peak memory, 4 frames from a pipe" \
    "$(peak "$converter" --quiet --width "$width" --height "$height" --pattern RGGB --frame all \
        --output "$out.bmp" /dev/stdin < <(head -c $(( 4 * frame )) /dev/zero))" $(( limit_kb + frame / 1024 ))
rm -f "$out"*

# 200 qcom10 dumps of 1000 x 600 in one command, on every core against pinned
# to the first: the batch's inputs convert side by side.
batch=$work/batch
mkdir -p "$batch"
for (( i = 0; i < 200; i++ )); do
    head -c $(( 1336 * 600 )) /dev/urandom >"$batch/d$i.raw"
done
batch_run=("$converter" --quiet --width 1000 --height 600 --pattern RGGB "$batch"/*.raw)
one_times=()
all_times=()
for (( i = 0; i < runs; i++ )); do
    rm -f "$batch"/*.bmp
    one_times+=("$(elapsed_us taskset -c 0 "${batch_run[@]}")") || exit 2
    rm -f "$batch"/*.bmp
    all_times+=("$(elapsed_us "${batch_run[@]}")") || exit 2
done
one=$(printf '%s\n' "${one_times[@]}" | median)
all=$(printf '%s\n' "${all_times[@]}" | median)
speedup=$(awk -v a="$one" -v b="$all" 'BEGIN { printf "%.2f", a / b }')
printf '%-32s %s ms pinned to one core, %s ms on %s: %s x faster (target 1.7 x on 2 cores)\n' \
    "batch of 200 1000 x 600" "$(ms "$one")" "$(ms "$all")" "$(nproc)" "$speedup"
if [ "$(nproc)" -ge 2 ] && awk -v r="$speedup" 'BEGIN { exit !(r < 1.7) }'; then
    echo "  SLOWER than the target"
    status=1
fi
exit $status
