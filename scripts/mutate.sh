#!/usr/bin/env bash
# Mutation check: applies each one-line mutant listed in tests/mutants.txt to a
# scratch copy of the tree, builds, runs the tests and prints whether a test
# failed (killed) or none did (survived). Mutants of sources the native build
# compiles run the native tests; the others (the window's) build the Windows
# preset and run the window tests under Wine on a virtual display; a mutant
# noted 'sanitize:' builds the sanitize preset and runs its tests, for a fault
# (a read past a buffer) that changes no byte and only the sanitizers see. The
# tree itself is never touched. Takes minutes, so it is not part of CI.
#
#   scripts/mutate.sh [TEXT]    only the mutants whose line holds TEXT
#
# tests/mutants.txt holds one mutant a line, fields separated by tabs:
#
#   path<TAB>the line's text without its indentation<TAB>its replacement[<TAB>note]
#
# where the note is 'equivalent: why' or 'sanitize: what the sanitizers see'.
# '#' starts a comment line. The text must match exactly one line of the file.
# A mutant marked equivalent changes nothing a user can observe; it is run all
# the same, and one that a test kills after all is reported so the mark goes.
#
# Prints one line per mutant and ends with "mutate: K of M mutants killed, E
# equivalent". Exits non-zero when a mutant not marked equivalent survives, or
# when a listed line no longer matches.
set -euo pipefail
cd "$(dirname "$0")/.."
tree=$PWD
only="${1:-}"
# One scratch copy per tree, kept between runs so that only what changed is rebuilt.
scratch="${PIXMORA_MUTATE_DIR:-${TMPDIR:-/tmp}/pixmora-mutate-$(printf '%s' "$tree" | cksum | cut -d' ' -f1)}"
src="$scratch/src"
log="$scratch/last.log"
jobs=2
test_timeout=300

scripts/install-deps.sh

# The scratch copy: tracked and new files of the tree; a file is copied only
# when its contents differ, so unchanged sources are not rebuilt.
mkdir -p "$src"
mapfile -t files < <(git ls-files -co --exclude-standard)
for f in "${files[@]}"; do
    [ -f "$f" ] || continue
    if ! cmp -s "$f" "$src/$f"; then
        mkdir -p "$src/$(dirname "$f")"
        cp "$f" "$src/$f"
    fi
done
(cd "$src" && find . -path ./build -prune -o -type f -print | sed 's|^\./||' | sort) >"$scratch/copied"
printf '%s\n' "${files[@]}" | sort >"$scratch/wanted"
comm -23 "$scratch/copied" "$scratch/wanted" | while IFS= read -r stale; do rm -f "$src/$stale"; done

mutants=()
while IFS= read -r line || [ -n "$line" ]; do
    case "$line" in '' | '#'*) continue ;; esac
    if [ -n "$only" ] && [[ "$line" != *"$only"* ]]; then
        continue
    fi
    mutants+=("$line")
done <tests/mutants.txt
[ ${#mutants[@]} -gt 0 ] || { echo "mutate: no mutants selected" >&2; exit 2; }

native_ready=0
windows_ready=0
sanitize_ready=0

build_native() {
    if [ $native_ready -eq 0 ]; then
        cmake -S "$src" --preset native -DPIXMORA_BENCH=OFF -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >"$log" 2>&1
        native_ready=1
    fi
    cmake --build "$src/build/native" -j "$jobs" >>"$log" 2>&1
}

test_native() {
    (cd "$src" && ctest --preset native -j "$jobs" --timeout "$test_timeout" --stop-on-failure) >>"$log" 2>&1
}

build_windows() {
    if [ $windows_ready -eq 0 ]; then
        cmake -S "$src" --preset windows >>"$log" 2>&1
        "$src/scripts/wine-prefix.sh" >>"$log" 2>&1
        windows_ready=1
    fi
    cmake --build "$src/build/windows" -j "$jobs" --target pixmora_app_tests >>"$log" 2>&1
}

test_windows() {
    WINEPREFIX="$src/build/windows/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
        timeout "$test_timeout" xvfb-run -a -s "-screen 0 1280x1024x24" \
        wine "$src/build/windows/bin/pixmora_app_tests.exe" >>"$log" 2>&1
}

build_sanitize() {
    if [ $sanitize_ready -eq 0 ]; then
        cmake -S "$src" --preset sanitize >>"$log" 2>&1
        sanitize_ready=1
    fi
    cmake --build "$src/build/sanitize" -j "$jobs" >>"$log" 2>&1
}

test_sanitize() {
    (cd "$src" && ctest --preset sanitize -j "$jobs" --timeout "$test_timeout" --stop-on-failure) >>"$log" 2>&1
}

# Whether the native build compiles the file; headers count as native.
native_source() {
    case "$1" in *.cpp) ;; *) return 0 ;; esac
    [ -f "$src/build/native/compile_commands.json" ] || build_native
    grep -qF "\"file\": \"$src/$1\"" "$src/build/native/compile_commands.json"
}

# Replaces the one line of $1 whose text, without indentation, is $2 by $3
# with the same indentation. Fails unless exactly one line matches.
apply_mutant() {
    local out="$scratch/mutated"
    MUTANT_TEXT="$2" MUTANT_NEW="$3" awk '
        BEGIN { text = ENVIRON["MUTANT_TEXT"]; repl = ENVIRON["MUTANT_NEW"] }
        {
            body = $0; sub(/^[ \t]+/, "", body); sub(/[ \t\r]+$/, "", body)
            if (body == text) { match($0, /^[ \t]*/); print substr($0, 1, RLENGTH) repl; n++ } else print
        }
        END { exit n == 1 ? 0 : 1 }' "$src/$1" >"$out" || return 1
    cp "$out" "$src/$1"
}

echo "== baseline: the unmutated tree must pass"
build_native && test_native || { echo "mutate: the native baseline fails, see $log" >&2; exit 1; }
for m in "${mutants[@]}"; do
    IFS=$'\t' read -r path _ <<<"$m"
    if ! native_source "$path"; then
        build_windows && test_windows || { echo "mutate: the window baseline fails, see $log" >&2; exit 1; }
        break
    fi
done
for m in "${mutants[@]}"; do
    IFS=$'\t' read -r _ _ _ note <<<"$m"
    if [[ "$note" == sanitize:* ]]; then
        build_sanitize && test_sanitize || { echo "mutate: the sanitize baseline fails, see $log" >&2; exit 1; }
        break
    fi
done

total=0
killed=0
equivalent=0
problems=0
for m in "${mutants[@]}"; do
    IFS=$'\t' read -r path text replacement note <<<"$m"
    total=$((total + 1))
    label="$path: $text  ->  $replacement"
    if ! apply_mutant "$path" "$text" "$replacement"; then
        echo "STALE     $label (the line is not in the file exactly once)"
        problems=$((problems + 1))
        continue
    fi
    : >"$log"
    if [[ "$note" == sanitize:* ]]; then
        build=build_sanitize
        run=test_sanitize
    elif native_source "$path"; then
        build=build_native
        run=test_native
    else
        build=build_windows
        run=test_windows
    fi
    if ! $build; then
        result="INVALID"  # a mutant must build
        problems=$((problems + 1))
    elif $run; then
        result="survived"
    else
        result="killed"
    fi
    # The original back, newer than anything built from the mutant.
    cp "$tree/$path" "$src/$path"

    case "$result:$note" in
    killed:equivalent*)
        killed=$((killed + 1))
        echo "killed    $label (marked equivalent: unmark it)"
        problems=$((problems + 1))
        ;;
    killed:*)
        killed=$((killed + 1))
        echo "killed    $label"
        ;;
    survived:equivalent*)
        equivalent=$((equivalent + 1))
        echo "equivalent $label (${note#equivalent: })"
        ;;
    survived:*)
        echo "SURVIVED  $label"
        problems=$((problems + 1))
        ;;
    *)
        echo "INVALID   $label (does not build; see $log)"
        ;;
    esac
done
echo "mutate: $killed of $total mutants killed, $equivalent equivalent"
[ $problems -eq 0 ]
