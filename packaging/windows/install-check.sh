#!/usr/bin/env bash
# The Windows package under Wine, in a folder of its own:
# - a setup program (SETUP.exe) installs silently (/S /D=...); its Start-menu
#   entry is made; afterwards its uninstaller removes every installed file;
# - a .zip (for machines that cannot run the setup programs, which are 32-bit
#   programs) is unpacked into the prefix instead.
# Either way the installed tree holds the Python package's wheel for its
# architecture (and no folder of modules), the installed velkctl.exe --version
# names the version and the installed screenup.exe opens its main window (on a
# virtual X display).
# Every check says ok only after what it checks was seen.
#
# Usage: install-check.sh SETUP_EXE|ZIP VERSION   Environment: WINEPREFIX
# (this check's own, made when missing).
set -uo pipefail
package=$1
version=$2
: "${WINEPREFIX:?}"
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ -z "${VELK_WINE_LOCKED:-}" ]; then
    mkdir -p "$WINEPREFIX"
    VELK_WINE_LOCKED=1 exec flock -o "$WINEPREFIX.lock" "$0" "$@"
fi
case "$package" in
*.exe) kind=setup ;;
*.zip) kind=zip ;;
*) echo "install-check: $package is neither a setup program (.exe) nor a .zip" >&2; exit 2 ;;
esac
. "$(dirname "$0")/../../tools/display.sh"
app=
cleanup() {
    [ -n "$app" ] && kill "$app" 2>/dev/null
    wineserver -k 2>/dev/null
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
}
trap cleanup EXIT
xvfbout=$(mktemp)
start_display "$xvfbout" -screen 0 1024x768x24 || { echo "FAIL the virtual display" >&2; exit 1; }
rm -f "$xvfbout"
export DISPLAY=:$DISPLAY_NUMBER
wineserver -k 2>/dev/null
[ -f "$WINEPREFIX/system.reg" ] || wine wineboot -u </dev/null >/dev/null 2>&1

failed=0
ok() { echo "ok   $*"; }
fail() { echo "FAIL $*" >&2; failed=1; }
folder=$WINEPREFIX/drive_c/velklink-check
rm -rf "$folder"
name=$(basename "$package")
case "$name" in
*-win64.*) platform=win_amd64 ;;
*) platform=win32 ;;
esac
expected=(bin/screenup.exe bin/velkctl.exe bin/velklink.dll include/velklink.h lib/libvelklink.dll.a README.md
    "python/velklink-$version-py3-none-$platform.whl")

if [ "$kind" = setup ]; then
    timeout 120 wine "$package" /S '/D=C:\velklink-check' </dev/null >/dev/null 2>&1
else
    # The .zip holds one folder named after the package; its content is the
    # installed tree.
    unpacked=$(mktemp -d)
    unzip -q "$package" -d "$unpacked" && mkdir -p "$folder" && cp -r "$unpacked"/*/. "$folder"/
    rm -rf "$unpacked"
fi
missing=0
for file in "${expected[@]}"; do
    [ -f "$folder/$file" ] || { fail "$name installed no $file"; missing=1; }
done
[ "$missing" = 0 ] && ok "$name $([ "$kind" = setup ] && echo "installs silently" || echo "unpacks"): ${expected[*]}"
# The Python package comes as the wheel only, not as a folder of modules.
[ -e "$folder/lib/python3" ] && fail "$name installed lib/python3 beside its wheel"
if [ "$kind" = setup ]; then
    find "$WINEPREFIX/drive_c" -name 'Pictor2 Screen Uploader.lnk' | grep -q . && ok "the Start-menu entry" ||
        fail "no Start-menu entry for the window program"
fi

out=$(timeout 60 wine 'C:\velklink-check\bin\velkctl.exe' --version </dev/null 2>&1)
case "$out" in *"$version"*) ok "the installed velkctl.exe --version: $(echo "$out" | head -n 1 | tr -d '\r')" ;;
*) fail "the installed velkctl.exe --version said: $out" ;; esac

wine 'C:\velklink-check\bin\screenup.exe' </dev/null >/dev/null 2>&1 &
app=$!
shown=
for _ in $(seq 300); do
    xdotool search --name '^Pictor2 Screen Uploader$' >/dev/null 2>&1 && { shown=1; break; }
    sleep 0.1
done
[ -n "$shown" ] && ok "the installed screenup.exe opens its main window" || fail "the installed screenup.exe showed no window"
kill "$app" 2>/dev/null
wait "$app" 2>/dev/null
app=

if [ "$kind" = setup ]; then
    # The uninstaller can only be judged on a tree that was installed.
    if [ "$missing" = 0 ] && [ -f "$folder/Uninstall.exe" ]; then
        # The uninstaller copies itself away and runs from there: wait for it.
        timeout 60 wine 'C:\velklink-check\Uninstall.exe' /S </dev/null >/dev/null 2>&1
        for _ in $(seq 300); do
            [ -e "$folder/bin/velkctl.exe" ] || [ -e "$folder/Uninstall.exe" ] || break
            sleep 0.2
        done
        left=$(find "$folder" -type f 2>/dev/null)
        [ -z "$left" ] && ok "the uninstaller removes the installed files" || fail "left after uninstalling: $left"
    else
        fail "the uninstaller not checked: $name installed no complete tree with an Uninstall.exe"
    fi
fi
exit $failed
