#!/usr/bin/env bash
# The setup program under Wine: installs silently (/S /D=...) into a folder of
# its own, then the installed velkctl.exe --version names the version, the
# installed screenup.exe opens its main window (on a virtual X display), the
# Start-menu entry is there, and the uninstaller removes every installed file.
#
# Usage: install-check.sh SETUP_EXE VERSION   Environment: WINEPREFIX (this
# check's own, made when missing).
set -uo pipefail
setup=$1
version=$2
: "${WINEPREFIX:?}"
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ -z "${VELK_WINE_LOCKED:-}" ]; then
    mkdir -p "$WINEPREFIX"
    VELK_WINE_LOCKED=1 exec flock -o "$WINEPREFIX.lock" "$0" "$@"
fi
xvfb= app=
cleanup() {
    [ -n "$app" ] && kill "$app" 2>/dev/null
    wineserver -k 2>/dev/null
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
}
trap cleanup EXIT
display=99
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
export DISPLAY=:$display
Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
wineserver -k 2>/dev/null
[ -f "$WINEPREFIX/system.reg" ] || wine wineboot -u </dev/null >/dev/null 2>&1

failed=0
ok() { echo "ok   $*"; }
fail() { echo "FAIL $*" >&2; failed=1; }
folder=$WINEPREFIX/drive_c/velklink-check
rm -rf "$folder"
name=$(basename "$setup")

timeout 120 wine "$setup" /S '/D=C:\velklink-check' </dev/null >/dev/null 2>&1
for file in bin/screenup.exe bin/velkctl.exe bin/velklink.dll include/velklink.h lib/libvelklink.dll.a README.md; do
    [ -f "$folder/$file" ] || fail "$name installed no $file"
done
[ "$failed" = 0 ] && ok "$name installs silently"
find "$WINEPREFIX/drive_c" -name 'Pictor2 Screen Uploader.lnk' | grep -q . && ok "the Start-menu entry" ||
    fail "no Start-menu entry for the window program"

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

# The uninstaller copies itself away and runs from there: wait for it.
timeout 60 wine 'C:\velklink-check\Uninstall.exe' /S </dev/null >/dev/null 2>&1
for _ in $(seq 300); do
    [ -e "$folder/bin/velkctl.exe" ] || [ -e "$folder/Uninstall.exe" ] || break
    sleep 0.2
done
left=$(find "$folder" -type f 2>/dev/null)
[ -z "$left" ] && ok "the uninstaller removes the installed files" || fail "left after uninstalling: $left"
exit $failed
