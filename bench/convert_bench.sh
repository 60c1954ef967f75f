#!/usr/bin/env bash
# Times pixmora-convert against cp on the largest panel geometry (7399 x 4999,
# a 49 MB dump already in the page cache), each as a whole process, the two
# interleaved so that both see the same machine load, and reports the median
# ratio against the target of 1.5 x cp. Then measures the converter's peak
# memory against input size + picture size + 8 MB.
#
#   bench/convert_bench.sh [RUNS]       (RUNS >= 7, default 11)
#
# CONVERTER=path overrides the executable (default build/native/bin/pixmora-
# convert, built when missing). Every timed run writes a file that does not
# exist yet, for cp and the converter alike, so neither pays for truncating or
# replacing an older file (on ext4, replacing a file also starts its
# write-back); the figures with older files in place follow as a second line.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-11}
if ! [[ "$runs" =~ ^[0-9]+$ ]] || [ "$runs" -lt 7 ]; then
    echo "convert_bench.sh: RUNS must be a whole number of at least 7, not '$runs'" >&2
    exit 2
fi

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
aligned=$(( (width + 5) / 6 * 6 ))
input_bytes=$(( aligned / 6 * 8 * height ))
picture_width=$(( aligned / 2 ))
picture_height=$(( height / 2 ))
stride=$(( (3 * picture_width + 3) / 4 * 4 ))
picture_bytes=$(( stride * picture_height ))
limit_bytes=$(( input_bytes + picture_bytes + 8 * 1024 * 1024 ))

work=$(mktemp -d "${TMPDIR:-/tmp}/pixmora-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
# Any bytes are a valid dump; random ones keep the decoder honest.
head -c "$input_bytes" /dev/urandom >"$work/frame.raw"
cat "$work/frame.raw" >/dev/null
convert=("$converter" --quiet --width "$width" --height "$height" --pattern RGGB)

# Microseconds taken by one run of the command.
elapsed_us() {
    local start end
    start=$EPOCHREALTIME
    "$@" >/dev/null
    end=$EPOCHREALTIME
    echo $(( (${end/./} - ${start/./}) ))
}

median() {
    sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : int((v[NR / 2] + v[NR / 2 + 1]) / 2) }'
}

# One round: cp then convert, interleaved RUNS times. $1 = fresh | replace.
measure() {
    local mode=$1 cp_times=() cv_times=() i
    cp "$work/frame.raw" "$work/copy.raw"
    "${convert[@]}" --output "$work/frame.bmp" "$work/frame.raw"
    for (( i = 0; i < runs; i++ )); do
        if [ "$mode" = fresh ]; then
            rm -f "$work/copy.raw" "$work/frame.bmp"
        fi
        cp_times+=("$(elapsed_us cp "$work/frame.raw" "$work/copy.raw")")
        cv_times+=("$(elapsed_us "${convert[@]}" --output "$work/frame.bmp" "$work/frame.raw")")
    done
    cp_median=$(printf '%s\n' "${cp_times[@]}" | median)
    cv_median=$(printf '%s\n' "${cv_times[@]}" | median)
    ratio=$(awk -v a="$cv_median" -v b="$cp_median" 'BEGIN { printf "%.2f", a / b }')
}

echo "pixmora-convert ${width}x${height} RGGB, $input_bytes bytes in, $(( 54 + picture_bytes )) bytes out, median of $runs"
measure fresh
fresh_ratio=$ratio
printf 'new outputs:      cp %6.1f ms  convert %6.1f ms  ratio %s x cp (target <= 1.5)\n' \
    "$(awk -v v="$cp_median" 'BEGIN { print v / 1000 }')" "$(awk -v v="$cv_median" 'BEGIN { print v / 1000 }')" "$ratio"
measure replace
printf 'replacing older:  cp %6.1f ms  convert %6.1f ms  ratio %s x cp\n' \
    "$(awk -v v="$cp_median" 'BEGIN { print v / 1000 }')" "$(awk -v v="$cv_median" 'BEGIN { print v / 1000 }')" "$ratio"

peak_kb=$(/usr/bin/time -f '%M' "${convert[@]}" --output "$work/frame.bmp" "$work/frame.raw" 2>&1 >/dev/null | tail -1)
peak_bytes=$(( peak_kb * 1024 ))
printf 'peak memory:      %.1f MB (limit %.1f MB = input + picture + 8 MB)\n' \
    "$(awk -v v="$peak_bytes" 'BEGIN { print v / 1e6 }')" "$(awk -v v="$limit_bytes" 'BEGIN { print v / 1e6 }')"

status=0
if awk -v r="$fresh_ratio" 'BEGIN { exit !(r > 1.5) }'; then
    echo "SLOWER than the target of 1.5 x cp"
    status=1
fi
if [ "$peak_bytes" -gt "$limit_bytes" ]; then
    echo "MORE memory than the limit"
    status=1
fi
exit $status
