#!/usr/bin/env bash
# Makes the README's pair of pictures of one sensor-like dump: docs/plain.png,
# the converter's plain half-size output, and docs/preview.png, the same with
# --preview --black 64. The test chart alone would not do: it stores display
# values straight in its samples, so its plain output already looks right.
# scripts/sensor-dump.py turns the chart into what a phone sensor would give
# (linear light, green twice as sensitive as red and blue, a black level of 64
# on 10 bits, a little noise, mipi10), with a fixed noise seed so the pictures
# only change when the converter does.
#
#   scripts/make-doc-pictures.sh [OUTDIR]     (default: docs)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=${1:-$root/docs}

# Both are everyday tools, but a bare Debian lacks them.
missing=()
command -v python3 >/dev/null || missing+=(python3)
command -v convert >/dev/null || missing+=(imagemagick)
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi

cmake --preset native >/dev/null
cmake --build --preset native -j2 --target pixmora-convert pixmora-testchart >/dev/null
bin=$root/build/native/bin

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The chart's half-size picture, cropped to 500 x 300: the qcom10 chart's
# picture has one column more (its rows decode in groups of 6 samples) and each
# pixel becomes a whole cell, so the dump is 1000 x 600 again.
"$bin/pixmora-testchart" "$work/chart.raw" 1000 600 RGGB
"$bin/pixmora-convert" -q --width 1000 --height 600 --pattern RGGB --type png \
    --output "$work/chart.png" "$work/chart.raw"
convert "$work/chart.png" -crop 500x300+0+0 +repage -depth 8 "ppm:$work/chart.ppm"
read -r width height < <(python3 scripts/sensor-dump.py "$work/chart.ppm" "$work/sensor.raw" \
    --layout mipi10 --pattern RGGB --black 64)

geometry=(--layout mipi10 --width "$width" --height "$height" --pattern RGGB --type png)
"$bin/pixmora-convert" -q "${geometry[@]}" --output "$work/plain.png" "$work/sensor.raw"
"$bin/pixmora-convert" -q "${geometry[@]}" --preview --black 64 --output "$work/preview.png" "$work/sensor.raw"

# -strip and no time chunks, so an unchanged picture gives unchanged bytes.
mkdir -p "$out"
for name in plain preview; do
    convert "$work/$name.png" -resize 320x -strip -define png:exclude-chunks=date,time "$out/$name.png"
    echo "$out/$name.png $(identify -format '%wx%h, mean %[fx:mean]' "$out/$name.png")"
done
