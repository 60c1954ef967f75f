#!/usr/bin/env bash
# Opens the converter's DNGs in the raw developers people will use them with:
# LibRaw (raw-identify, dcraw_emu), dcraw, darktable-cli and rawtherapee-cli.
# Not part of scripts/test.sh: darktable and RawTherapee are large optional
# installs, so this runs by hand (it installs whatever is missing first).
#
# Three dumps, each converted with --type dng:
#   chart    the test chart, qcom10, 1000 x 600, RGGB, no black level
#   mipi12   the chart made sensor-like by scripts/sensor-dump.py, 640 x 400,
#            GRBG, black 256, converted with --black 256 --wb auto
#   plain16  the same at 16 bits, BGGR, black 4096
# (RawTherapee skips files under about 100 kB; these DNGs are 0.5 to 1.7 MB.)
#
# Each reader renders each DNG to a file. A render passes when the reader exits
# 0 and the picture has the frame's size, is not blank (standard deviation), and
# matches the converter's own --full PNG of the same dump roughly: normalised
# cross-correlation of both scaled down (the shapes and which colour is where,
# whatever each reader's tone curve) and the ratio of red and blue to green
# overall (the white balance and black level the DNG carries were applied).
# raw-identify renders nothing; it must report the size, pattern and black.
#
# One line per reader, ok or FAILED with the reasons; exit 1 on any failure.
# Renders and every reader's output stay in build/raw-developers/.
#
#   scripts/check-raw-developers.sh
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
root=$PWD
started=$(date +%s.%N)

# A blank or constant render has a deviation near 0; the charts' renders 0.4.
readonly MIN_DEVIATION=0.1
# Swapping red and blue gives about 0.6, a correct render of any reader 0.98.
readonly MIN_CORRELATION=0.9
# Readers' tone curves move the means by a few percent; the white balance left
# out (dcraw without -w on the mipi12 DNG) gives 0.3.
readonly MAX_CAST=0.2

packages=(libraw-bin dcraw darktable rawtherapee imagemagick)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# Any python3 will do, Debian's or another on the PATH.
command -v python3 >/dev/null || missing+=(python3)
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null || exit 1
fi

cmake --preset native >/dev/null || exit 1
cmake --build --preset native -j2 --target pixmora-convert pixmora-testchart >/dev/null || exit 1
bin=$root/build/native/bin

work=$root/build/raw-developers
rm -rf "$work"
mkdir -p "$work/logs" "$work/home"
cd "$work" || exit 1
# darktable and RawTherapee keep settings and caches under HOME; keep them here.
export HOME=$work/home

"$bin/pixmora-testchart" chart.raw 1000 600 RGGB || exit 1
"$bin/pixmora-testchart" small.raw 640 400 RGGB || exit 1
"$bin/pixmora-convert" -q --width 640 --height 400 --pattern RGGB --type png --output small.png small.raw || exit 1
# The qcom10 picture has one column more (rows decode in groups of 6 samples).
convert small.png -crop 320x200+0+0 +repage -depth 8 ppm:small.ppm || exit 1
python3 "$root/scripts/sensor-dump.py" small.ppm mipi12.raw --layout mipi12 --pattern GRBG --black 256 >/dev/null || exit 1
python3 "$root/scripts/sensor-dump.py" small.ppm plain16.raw --layout plain16 --pattern BGGR --black 4096 >/dev/null || exit 1

dumps=(chart mipi12 plain16)
declare -A geometry look width height pattern black
geometry[chart]="--width 1000 --height 600 --pattern RGGB"
look[chart]=""
geometry[mipi12]="--layout mipi12 --width 640 --height 400 --pattern GRBG"
look[mipi12]="--black 256 --wb auto"
geometry[plain16]="--layout plain16 --width 640 --height 400 --pattern BGGR"
look[plain16]="--black 4096 --wb auto"
width=([chart]=1000 [mipi12]=640 [plain16]=640)
height=([chart]=600 [mipi12]=400 [plain16]=400)
pattern=([chart]=RGGB [mipi12]=GRBG [plain16]=BGGR)
black=([chart]=0 [mipi12]=256 [plain16]=4096)

for d in "${dumps[@]}"; do
    # shellcheck disable=SC2086  # the option lists split on purpose
    "$bin/pixmora-convert" -q ${geometry[$d]} ${look[$d]} --type dng --output "$d.dng" "$d.raw" || exit 1
    # shellcheck disable=SC2086
    "$bin/pixmora-convert" -q ${geometry[$d]} ${look[$d]} --full --gamma srgb --type png \
        --output "$d-reference.png" "$d.raw" || exit 1
done

# RawTherapee trims a 4-pixel demosaicing border by default (a 1000 x 600 frame
# renders 992 x 592); without it the frame's own size must come out.
printf '[Version]\nAppVersion=5.9\nVersion=346\n\n[RAW Bayer]\nBorder=0\n' > no-border.pp3

# render READER DNG OUT LOG: the reader's command line for one render.
render() {
    local reader=$1 dng=$2 out=$3 log=$4
    case $reader in
        dcraw_emu) dcraw_emu -w -T -Z "$out" "$dng" >"$log" 2>&1 ;;
        dcraw) dcraw -w -T -c "$dng" >"$out" 2>"$log" ;;
        darktable-cli)
            # It would write beside an existing output as OUT_01.png.
            rm -f "$out"
            darktable-cli "$dng" "$out" --core --configdir "$work/darktable" \
                --cachedir "$work/darktable-cache" --library :memory: >"$log" 2>&1 ;;
        rawtherapee-cli) rawtherapee-cli -q -Y -n -b8 -p no-border.pp3 -o "$out" -c "$dng" >"$log" 2>&1 ;;
    esac
}

extension() { case $1 in dcraw_emu | dcraw) echo tiff ;; *) echo png ;; esac; }

# above A B: both are numbers and A >= B; anything unreadable fails.
above() {
    awk -v a="$1" -v b="$2" 'BEGIN {
        n = "^[-+]?[0-9]*[.]?[0-9]+([eE][-+]?[0-9]+)?$"
        exit !(a ~ n && b ~ n && a + 0 >= b + 0) }'
}

# Channel means of a picture scaled to W x H, as "r g b".
means() { convert "$1" -scale "$2x$3!" -format '%[fx:mean.r] %[fx:mean.g] %[fx:mean.b]' info:; }

# check_render DUMP OUT: sets `why` (empty when the render passes, else the
# reasons) and `measured`.
check_render() {
    local d=$1 out=$2 w=${width[$1]} h=${height[$1]} size deviation correlation cast
    [ -s "$out" ] || { why="no output"; return; }
    size=$(identify -format '%wx%h' "$out" 2>/dev/null) || { why="identify cannot read it"; return; }
    deviation=$(convert "$out" -format '%[fx:standard_deviation]' info:)
    # A quarter of the size: demosaicing differences along edges average out.
    convert "$out" -scale "$((w / 4))x$((h / 4))!" small-render.png
    convert "$d-reference.png" -scale "$((w / 4))x$((h / 4))!" small-reference.png
    correlation=$(compare -metric NCC small-render.png small-reference.png null: 2>&1)
    cast=$(echo "$(means "$out" 64 64) $(means "$d-reference.png" 64 64)" | awk '
        function off(x) { return x > 1 ? x - 1 : 1 - x }
        NF == 6 && $2 > 0 && $5 > 0 && $4 > 0 && $6 > 0 {
            r = off(($1 / $2) / ($4 / $5)); b = off(($3 / $2) / ($6 / $5))
            printf "%.3f", (r > b ? r : b) }')
    measured="$size sd $(printf %.2f "$deviation") ncc $(printf %.3f "$correlation") cast $cast"
    local reasons=()
    [ "$size" = "${w}x$h" ] || reasons+=("size $size, not ${w}x$h")
    above "$deviation" "$MIN_DEVIATION" || reasons+=("blank (sd '$deviation')")
    above "$correlation" "$MIN_CORRELATION" || reasons+=("unlike the converter's picture (ncc '$correlation')")
    above "$MAX_CAST" "$cast" || reasons+=("colour cast '$cast' against the converter's picture")
    why=$(IFS=';'; echo "${reasons[*]}")
}

# check_identify DUMP: sets `why` (empty when raw-identify reports the frame as
# written) and `measured`.
check_identify() {
    local d=$1 log=logs/raw-identify-$1.log info got_size got_pattern got_black
    raw-identify -v "$d.dng" >"$log" 2>&1 || { why="exit $?"; return; }
    info=$(cat "$log")
    got_size=$(sed -n 's/^Image size: *\([0-9]*\) x \([0-9]*\).*/\1x\2/p' <<<"$info")
    got_pattern=$(sed -n 's/^Filter pattern: *\(....\).*/\1/p' <<<"$info")
    got_black=$(sed -n 's/^black: *\([0-9]*\).*/\1/p' <<<"$info")
    measured="$got_size $got_pattern black ${got_black:-0}"
    local reasons=()
    [ "$got_size" = "${width[$d]}x${height[$d]}" ] || reasons+=("size '$got_size'")
    [ "$got_pattern" = "${pattern[$d]}" ] || reasons+=("pattern '$got_pattern'")
    [ "${got_black:-0}" = "${black[$d]}" ] || reasons+=("black '${got_black:-0}'")
    why=$(IFS=';'; echo "${reasons[*]}")
}

failures=0
for reader in raw-identify dcraw_emu dcraw darktable-cli rawtherapee-cli; do
    t0=$(date +%s.%N)
    verdict=ok
    details=()
    for d in "${dumps[@]}"; do
        measured=""
        why=""
        if [ "$reader" = raw-identify ]; then
            check_identify "$d"
        else
            out=$d-$reader.$(extension "$reader")
            log=logs/$reader-$d.log
            if render "$reader" "$d.dng" "$out" "$log"; then
                check_render "$d" "$out"
            else
                why="exit $?: $(tail -n 1 "$log")"
            fi
        fi
        if [ -n "$why" ]; then
            verdict=FAILED
            details+=("$d: $why")
        else
            details+=("$d: $measured")
        fi
    done
    seconds=$(awk -v a="$t0" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')
    [ "$verdict" = ok ] || failures=$((failures + 1))
    joined=$(printf ' | %s' "${details[@]}")
    printf '%-16s %-6s %5ss  %s\n' "$reader" "$verdict" "$seconds" "${joined:3}"
done

total=$(awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')
echo "renders and logs: $work ($total s in all)"
[ "$failures" -eq 0 ]
