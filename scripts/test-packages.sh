#!/usr/bin/env bash
# Makes the release packages (scripts/package.sh) and checks them as a user gets
# them; scripts/test.sh runs it. Every check runs, then the script exits
# non-zero if any failed.
#
#   zip        unpacked into a fresh folder: exactly the six files, executables
#              stripped, importing system DLLs only, with their version resource;
#              LICENSE.txt and THIRD_PARTY.txt are the repository's; the converter
#              run there under Wine names the licence of LICENSE in --version and
#              gives the build's BMP
#   installer  in a fresh Wine prefix on a virtual display: a 64-bit installer;
#              /S installs the zip's files (the licence among them), Start-menu
#              links and the Add/Remove entry; the Start-menu link starts the
#              installed window; the installed converter gives the build's BMP; the
#              uninstaller from the registry removes all it installed and keeps the
#              picture the user made
#   deb        lintian clean, its control fields; unpacked with dpkg-deb -x: its
#              copyright file, read as deb822 by dpkg's parser, is machine-readable
#              (DEP-5) and gives every file the MIT licence with LICENSE's holder and
#              text; the converter names the licence in --version and gives the
#              build's BMP, man -l renders the page without a warning and the page
#              has an entry for every option of --help
#
# "The build's BMP": the sample chart made by pixmora-testchart and converted by
# the converter of the same preset's build (build/windows or build/native).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
chart=chart-1000x600-RGGB
# "Copyright (c) <year> <holder>", as LICENSE states it.
copyright=$(grep -m1 '^Copyright (c) ' LICENSE)

failures=0
pass() { echo "  ok    $1"; }
fail() { echo "  FAIL  $1"; failures=$((failures + 1)); }
check() {
    local what=$1
    shift
    if "$@"; then pass "$what"; else fail "$what"; fi
}

# Sorted relative paths of the files under a folder.
files_under() { (cd "$1" 2>/dev/null && find . -type f -printf '%P\n' | LC_ALL=C sort); }

# Usage: same_lines WHAT ACTUAL EXPECTED; shows both when they differ.
same_lines() {
    [ "$2" = "$3" ] && return 0
    printf '    %s: expected\n%s\n    got\n%s\n' "$1" "$(sed 's/^/      /' <<<"$3")" \
        "$(sed 's/^/      /' <<<"$2")"
    return 1
}

# ---------------------------------------------------------------- Windows side
# Runs on the virtual display: a Wine session keeps the display it started with,
# so every Wine call of the test shares one.

# DLLs that come with every Windows installation; anything else would have to
# be shipped beside the executables.
system_dll() {
    case "${1,,}" in
    kernel32.dll | user32.dll | gdi32.dll | comdlg32.dll | shell32.dll | msvcrt.dll | \
        advapi32.dll | ole32.dll | comctl32.dll | shlwapi.dll) return 0 ;;
    *) return 1 ;;
    esac
}

imports_system_dlls_only() {
    local dlls dll
    dlls=$(x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p') || return 1
    grep -qix kernel32.dll <<<"$dlls" || { echo "    $1: no import table read"; return 1; }
    for dll in $dlls; do
        system_dll "$dll" || { echo "    $(basename "$1") imports $dll"; return 1; }
    done
}

stripped() {
    local sections
    sections=$(x86_64-w64-mingw32-objdump -h "$1") || return 1
    grep -q ' \.text ' <<<"$sections" && ! grep -q '\.debug_' <<<"$sections"
}

version_resource() {
    same_lines "$(basename "$1") FileVersion, ProductVersion, OriginalFilename" \
        "$(exiftool -s3 -FileVersion -ProductVersion -OriginalFileName "$1")" \
        "$(printf '%s\n%s\n%s' "$version" "$version" "$(basename "$1")")"
}

utf8_manifest() { grep -aqF '>UTF-8</activeCodePage>' "$1"; }

# Converts the chart beside the converter, in its own folder, as a user would.
converts_in_place() {
    (cd "$1" && wine ./pixmora-convert.exe --quiet "$chart.raw") && cmp "$1/$chart.bmp" "$work/windows.bmp"
}

# The version line names the licence and its holder as LICENSE does.
version_line() { echo "pixmora-convert $version (MIT licence, $copyright)"; }

reports_version() {
    same_lines "--version" "$(cd "$1" && wine ./pixmora-convert.exe --version | tr -d '\r')" \
        "$(version_line)"
}

uninstall_value() {
    wine reg query "$uninstall_key" /v "$1" 2>/dev/null | tr -d '\r' |
        sed -n "s/^ *$1 *REG_[A-Z_]* *//p"
}

add_remove_entry() {
    same_lines "Add/Remove entry" \
        "$(for v in DisplayName DisplayVersion UninstallString; do uninstall_value "$v"; done)" \
        "$(printf 'Pixmora\n%s\n"C:\\Program Files\\Pixmora\\Uninstall.exe"' "$version")"
}

# The link names its target in its Windows form.
links_to() { grep -aqF "$2" "$1"; }

# Starts Pixmora the way a user does, from its Start-menu link, waits for the
# main window (caption "Pixmora") and checks which executable shows it.
window_from_start_menu() {
    local window="" pid command i
    wine start 'C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Pixmora\Pixmora.lnk'
    for i in $(seq 150); do
        window=$(xdotool search --name '^Pixmora$' 2>/dev/null | head -1) || true
        [ -n "$window" ] && break
        sleep 0.2
    done
    [ -n "$window" ] || { echo "    no window captioned Pixmora appeared"; return 1; }
    pid=$(xdotool getwindowpid "$window")
    command=$(tr '\0' ' ' <"/proc/$pid/cmdline")
    wineserver -k
    [[ "$command" == 'C:\Program Files\Pixmora\Pixmora.exe'* ]] ||
        { echo "    the window belongs to: $command"; return 1; }
}

is_64_bit() { x86_64-w64-mingw32-objdump -f "$1" | grep -q 'file format pei-x86-64'; }

# Wine may report success for an installer it could not start: the uninstaller,
# written last, shows the installer ran to its end.
installs() { wine "$1" /S && wineserver -w && [ -f "$2/Uninstall.exe" ]; }

no_add_remove_entry() { ! wine reg query "$uninstall_key" >/dev/null 2>&1; }

uninstalls() {
    local program
    program=$(uninstall_value UninstallString | tr -d '"')
    [ -n "$program" ] || return 1
    # The uninstaller copies itself to a temporary folder and returns at once;
    # the copy does the work.
    wine "$program" /S && wineserver -w
}

windows_checks() {
    export WINEPREFIX=$work/wineprefix WINEDEBUG=-all
    # No Linux desktop menu entries for the test's Start-menu links.
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    scripts/wine-prefix.sh
    (cd "$work" && wine "$root/build/windows/bin/pixmora-convert.exe" --quiet --output windows.bmp \
        --width 1000 --height 600 --pattern RGGB chart.raw)

    echo "== zip"
    local zip=$work/zip top exe
    mkdir "$zip"
    (cd "$zip" && cmake -E tar xf "$root/build/packages/Pixmora-$version-win64.zip")
    top=$zip/Pixmora-$version-win64
    local shipped
    shipped=$(printf '%s\n' Pixmora.exe README.txt LICENSE.txt THIRD_PARTY.txt "$chart.raw" \
        pixmora-convert.exe | LC_ALL=C sort)
    check "holds Pixmora.exe, pixmora-convert.exe, README.txt, LICENSE.txt, THIRD_PARTY.txt and the sample chart" \
        same_lines "zip" "$(files_under "$top")" "$shipped"
    for exe in Pixmora.exe pixmora-convert.exe; do
        check "$exe imports system DLLs only" imports_system_dlls_only "$top/$exe"
        check "$exe is stripped" stripped "$top/$exe"
        check "$exe carries version $version in its file properties" version_resource "$top/$exe"
        check "$exe runs in UTF-8 (its manifest's active code page)" utf8_manifest "$top/$exe"
    done
    check "README.txt is the README" cmp "$top/README.txt" README.md
    check "LICENSE.txt is the MIT licence of LICENSE" cmp "$top/LICENSE.txt" LICENSE
    check "THIRD_PARTY.txt is the third-party notices of THIRD_PARTY.md" \
        cmp "$top/THIRD_PARTY.txt" THIRD_PARTY.md
    check "the sample chart is pixmora-testchart's" cmp "$top/$chart.raw" "$work/chart.raw"
    check "its converter reports version $version and the MIT licence" reports_version "$top"
    check "its converter, run in the unpacked folder, gives the build's BMP" converts_in_place "$top"

    echo "== installer"
    local installer=$root/build/packages/Pixmora-$version-win64.exe
    local programs="$WINEPREFIX/drive_c/Program Files/Pixmora"
    local menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Pixmora"
    uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Pixmora'
    check "is a 64-bit Windows program" is_64_bit "$installer"
    check "installs silently with /S" installs "$installer" "$programs"
    check "installs the zip's files and Uninstall.exe into Program Files\\Pixmora" \
        same_lines "Program Files\\Pixmora" "$(files_under "$programs")" \
        "$(printf '%s\nUninstall.exe' "$shipped" | LC_ALL=C sort)"
    for file in $shipped; do
        check "installed $file is the zip's" cmp "$programs/$file" "$top/$file"
    done
    check "adds the Start-menu links Pixmora and README" \
        same_lines "Start menu" "$(files_under "$menu")" "$(printf 'Pixmora.lnk\nREADME.lnk')"
    check "the README link opens the installed README.txt" \
        links_to "$menu/README.lnk" 'C:\Program Files\Pixmora\README.txt'
    check "registers Pixmora $version and its uninstaller in Add/Remove Programs" add_remove_entry
    check "the Start-menu link starts the installed Pixmora.exe and its window shows" \
        window_from_start_menu
    check "the installed converter turns the installed chart into the build's BMP" \
        converts_in_place "$programs"
    check "the registered uninstaller runs silently with /S" uninstalls
    check "uninstalling removes every installed file and keeps the user's BMP" \
        same_lines "Program Files\\Pixmora" "$(files_under "$programs")" "$chart.bmp"
    check "uninstalling removes the Start-menu folder" test ! -e "$menu"
    check "uninstalling removes the Add/Remove entry" no_add_remove_entry
    wineserver -k || true
}

if [ "${1:-}" = --windows ]; then
    work=$2
    version=$3
    windows_checks
    exit $((failures > 0))
fi

# ----------------------------------------------------------------- Debian side

lintian_clean() {
    local status=0
    lintian --fail-on error,warning "$1" >"$work/lintian.log" 2>&1 || status=$?
    grep -v 'running with root privileges' "$work/lintian.log" | sed 's/^/    /' || true
    return $status
}

control_fields() {
    local fields
    fields=$(dpkg-deb -f "$1" Package Version Architecture Section Priority)
    same_lines "control" "$fields" "$(printf 'Package: pixmora-convert\nVersion: %s\nArchitecture: amd64\nSection: graphics\nPriority: optional' "$version")" &&
        dpkg-deb -f "$1" Depends | grep -q 'libc6 (>= '
}

renders_manual_page() {
    MANWIDTH=80 LC_ALL=C.UTF-8 man --warnings -E UTF-8 -l "$1" >"$work/man.txt" 2>"$work/man.err"
    sed 's/^/    /' "$work/man.err"
    [ ! -s "$work/man.err" ] && grep -q '^NAME' "$work/man.txt" &&
        grep -qE 'pixmora-convert +- +convert' "$work/man.txt"
}

# Every option --help lists has its own entry under OPTIONS in the page.
documents_every_option() {
    local options option missing=0
    options=$("$1" --help | awk '/^  -/ { print $1; if ($1 ~ /,$/) print $2 }' | tr -d ,)
    [ -n "$options" ] || { echo "    no options read from --help"; return 1; }
    MANWIDTH=200 man -E ascii -l "$2" 2>/dev/null | sed -n '/^OPTIONS/,/^[A-Z]/p' >"$work/options.txt"
    for option in $options; do
        grep -qE -- "^ {7}([^ ]+, )*$option( |,|$)" "$work/options.txt" ||
            { echo "    no OPTIONS entry for $option"; missing=1; }
    done
    return $missing
}

# The header paragraph's Format and every "Files: *" paragraph, as dpkg's deb822
# parser reads them: continuation lines unfolded, " ." as an empty line.
dep5_summary() {
    perl -MDpkg::Control::HashCore -e '
        open(my $fh, "<", $ARGV[0]) or die "$ARGV[0]: $!\n";
        for (my $n = 0;; $n++) {
            my $paragraph = Dpkg::Control::HashCore->new;
            last unless $paragraph->parse($fh, $ARGV[0]);
            if ($n == 0) { print "Format: ", $paragraph->{Format} // "", "\n"; next }
            next unless ($paragraph->{Files} // "") eq "*";
            print "Files: *\nCopyright: $paragraph->{Copyright}\nLicense: $paragraph->{License}\n";
        }' "$1"
}

copyright_is_dep5_mit() {
    same_lines "copyright (DEP-5)" "$(dep5_summary "$1")" "$(
        printf 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n'
        printf 'Files: *\nCopyright: %s\nLicense: MIT\n' "${copyright#Copyright (c) }"
        sed -n '/^Permission is hereby granted/,$p' LICENSE
    )"
}

converts_like_build() {
    "$1" --quiet --output "$work/deb.bmp" --width 1000 --height 600 --pattern RGGB "$work/chart.raw" &&
        cmp "$work/deb.bmp" "$work/native.bmp"
}

scripts/package.sh
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/native/CMakeCache.txt)
mkdir -p build/package-test
work=$(mktemp -d "$root/build/package-test/run.XXXXXX")
trap 'WINEPREFIX=$work/wineprefix wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT

build/native/bin/pixmora-testchart "$work/chart.raw" 1000 600 RGGB
build/native/bin/pixmora-convert --quiet --output "$work/native.bmp" \
    --width 1000 --height 600 --pattern RGGB "$work/chart.raw"

echo "== deb"
deb=build/packages/pixmora-convert_${version}_amd64.deb
check "lintian: no errors or warnings" lintian_clean "$deb"
check "control: name, version, amd64, graphics, optional, libc6 from dpkg-shlibdeps" control_fields "$deb"
dpkg-deb -x "$deb" "$work/deb"
check "holds the converter, its manual page, copyright and changelog" \
    same_lines "deb" "$(files_under "$work/deb")" "$(printf '%s\n' usr/bin/pixmora-convert \
        usr/share/doc/pixmora-convert/changelog.gz usr/share/doc/pixmora-convert/copyright \
        usr/share/man/man1/pixmora-convert.1.gz)"
converter=$work/deb/usr/bin/pixmora-convert
page=$work/deb/usr/share/man/man1/pixmora-convert.1.gz
check "copyright is DEP-5 and gives every file the MIT licence of LICENSE" \
    copyright_is_dep5_mit "$work/deb/usr/share/doc/pixmora-convert/copyright"
check "its converter reports version $version and the MIT licence" \
    same_lines "--version" "$("$converter" --version)" "$(version_line)"
check "its converter gives the build's BMP" converts_like_build "$converter"
check "man -l renders pixmora-convert(1) without warnings" renders_manual_page "$page"
check "the page has an OPTIONS entry for every option of --help" \
    documents_every_option "$converter" "$page"

# The Windows checks print their own lines; their status counts as one failure.
if ! xvfb-run -a -s "-screen 0 1024x768x24" "$0" --windows "$work" "$version"; then
    failures=$((failures + 1))
fi

if [ "$failures" -gt 0 ]; then
    echo "test-packages: FAILED"
    exit 1
fi
echo "test-packages: every check passed"
