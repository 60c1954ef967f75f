#!/usr/bin/env bash
# Installs what is missing, builds Pixmora.exe, writes the sample raw file (a test
# chart, 1000 x 600, RGGB) if it is not there yet, and starts the window: under
# Wine on Linux. Without a display it shows the window working on a virtual
# display instead (settings typed, the sample chosen and viewed) and saves a
# screenshot.
#
#   scripts/run.sh                    start the window
#   scripts/run.sh --screenshot FILE [FOLDED]
#                                     the virtual-display run, screenshot to FILE
#                                     and, with the panel folded, to FOLDED
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
export WINEPREFIX="${WINEPREFIX:-$root/build/windows/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"

bin=$root/build/windows/bin
sample=$root/build/windows/samples/chart-1000x600-RGGB.raw

# Plays the user's part on the current display: width, height, pattern, Browser
# to the sample, View; then saves the window's picture, and with a second name
# folds the panel away with "<" and saves it again. Positions are client
# coordinates of the panel plus the window frame.
demo() {
    local shot=$1 folded=${2:-} window="" i
    scripts/wine-run.sh "$bin/Pixmora.exe" 2>/dev/null &
    local app=$!
    for i in $(seq 300); do
        window=$(xdotool search --name '^Pixmora$' 2>/dev/null | head -1) || true
        [ -n "$window" ] && break
        sleep 0.2
    done
    [ -n "$window" ] || { echo "the window did not appear" >&2; kill "$app"; return 1; }
    sleep 1
    click() { xdotool mousemove --window "$window" $(($1 + 6)) $(($2 + 25)) click 1; sleep 0.3; }
    click 120 22 && xdotool type 1000
    click 120 52 && xdotool type 600
    click 120 82 && xdotool key Down Return
    click 50 142
    for i in $(seq 50); do
        xdotool search --name '^Open$' >/dev/null 2>&1 && break
        sleep 0.2
    done
    sleep 0.5
    xdotool type --delay 10 "$(winepath -w "$sample" 2>/dev/null)"
    xdotool key Return
    sleep 1
    click 145 142
    sleep 1
    import -window "$window" "$shot"
    if [ -n "$folded" ]; then
        click 467 22
        sleep 1
        import -window "$window" "$folded"
    fi
    wineserver -k
    wait "$app" 2>/dev/null || true
}

if [ "${1:-}" = "--screenshot" ]; then
    [ -n "${DISPLAY:-}" ] || { echo "--screenshot needs a display (run it under xvfb-run)" >&2; exit 2; }
    demo "$(realpath -m "$2")" ${3:+"$(realpath -m "$3")"}
    exit 0
fi

scripts/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$(nproc)" --target Pixmora pixmora-testchart
scripts/wine-prefix.sh

if [ ! -f "$sample" ]; then
    mkdir -p "$(dirname "$sample")"
    scripts/wine-run.sh "$bin/pixmora-testchart.exe" "$(winepath -w "$sample" 2>/dev/null)" 1000 600 RGGB
fi

echo "Type width 1000, height 600, pick RGGB, press Browser, choose the sample and press View (or drop it on the window)."
echo "Sample: $sample (in the dialog: $(winepath -w "$sample" 2>/dev/null))"

if [ -n "${DISPLAY:-}" ]; then
    exec scripts/wine-run.sh "$bin/Pixmora.exe"
fi

shot=$root/build/windows/samples/window.png
echo "No display: running the window on a virtual display instead."
# A Wine session outlives its programs for a few seconds and keeps the display
# it started with (none here); the window must start one on the virtual display.
wineserver -w
xvfb-run -a -s "-screen 0 1024x768x24" "$0" --screenshot "$shot" "${shot%.png}-folded.png"
echo "Screenshots of the window with the sample viewed: $shot, and with the panel folded: ${shot%.png}-folded.png"
