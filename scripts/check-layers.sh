#!/usr/bin/env bash
# Fails on an include that runs against the layers' arrows. Each folder may
# include its own headers and those of the folders listed for it, never one
# above it; the build enforces the same through each library's exported
# headers, and this check names the offending line.
set -euo pipefail
cd "$(dirname "$0")/.."

pure="platform text raw decode picture encode chart"
declare -A allowed=(
    [platform]="platform"
    [text]="text"
    [raw]="raw platform text"
    [decode]="decode raw platform text"
    [picture]="picture raw platform text"
    [encode]="encode picture raw platform text"
    [chart]="chart raw platform text"
    [window]="window $pure"
    [cli]="cli $pure"
    [app]="app window $pure"
)

status=0
while IFS= read -r file; do
    case "$file" in
    core/*/*) layer=${file#core/}; layer=${layer%%/*} ;;
    app/* | cli/*) layer=${file%%/*} ;;
    *) continue ;;
    esac
    if [ -z "${allowed[$layer]+set}" ]; then
        echo "$file: the folder $layer has no place among the layers" >&2
        status=1
        continue
    fi
    while IFS=: read -r line folder; do
        if [[ " ${allowed[$layer]} " != *" $folder "* ]]; then
            echo "$file:$line: $layer may not include $folder/" >&2
            status=1
        fi
    done < <(awk -F'"' '/^#include "[a-z_]+\// { split($2, part, "/"); print FNR ":" part[1] }' "$file")
done < <(git ls-files 'core/*.h' 'core/*.cpp' 'app/*.h' 'app/*.cpp' 'cli/*.h' 'cli/*.cpp')
[ $status -eq 0 ] && echo "layers: every include follows the arrows"
exit $status
