#!/usr/bin/env bash
# The native window under Wine, on a virtual display: kestrel_window_test.exe starts kestrel.exe
# and works it through window messages against two simulated modules on the Linux side, reached
# as COM7 (a normal module, also as COM51), COM8 (one that never answers "AT+NAME" nor
# "AT+CLEARADDR"), COM9 (one that hangs up after 15 commands, and is plugged back in when the
# driver asks) and COM10 (one that hangs up after 15 commands too, for the English checks). Their
# logs must not be named after the ports: Windows takes "com7.log" for the device COM7.
#
#   scripts/test-windows-window.sh [BUILD_DIR] [--shots]
#
# BUILD_DIR is the cross-build (default build-win; built when kestrel.exe is missing). --shots
# also captures docs/win32-port-dialog.png and docs/win32-main-dialog.png (ImageMagick), in
# English too (-en), and the three dialogs at 150 % (-150, -en-150). The simulator comes from
# KESTREL_SIM, else build/sim/kestrel-sim, else a small Linux build in build-sim.
# Last, the dialogs are opened at 96 and at 144 DPI (150 %), in both languages: each must be drawn
# at that DPI (the manifest asks for it) and show every label whole.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=build-win
shots=0
for arg in "$@"; do
    case "$arg" in
    --shots) shots=1 ;;
    *) build=$arg ;;
    esac
done
started=$(date +%s)

scripts/setup-deps.sh --wine
scripts/setup-deps.sh --wine-window
[ -x "$build/kestrel.exe" ] && [ -f "$build/tests/win32/kestrel_window_test.exe" ] &&
    [ -f "$build/tests/win32/status_label_win32_test.exe" ] ||
    scripts/build-windows.sh "$build"
# The replugging helper, when it ran, is stopped with the rest.
cleanup_more() { [ ! -f "$work/replug.pid" ] || pids+=("$(cat "$work/replug.pid")"); }
source scripts/wine-session.sh
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# One server for the whole stage, with its chatter kept out of the log.
mkdir -p "$WINEPREFIX"
wineserver -p >/dev/null 2>&1
wineboot -i </dev/null >/dev/null 2>&1
winpath() { winepath -w "$1" 2>/dev/null; }

# Dialog fonts to a CJK face, or the Chinese texts show as boxes. The name "宋体" survives only
# in a UTF-16LE registry file with a byte-order mark.
{
    printf 'Windows Registry Editor Version 5.00\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
    for face in SimSun 宋体 "MS Shell Dlg" "MS Shell Dlg 2" Tahoma; do
        printf '"%s"="WenQuanYi Micro Hei"\r\n' "$face"
    done
    # No window manager here: Wine draws the frames and captions itself.
    printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"Managed"="N"\r\n'
    # A program that crashes ends; no debugger waits for someone to look at it.
    printf '\r\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug]\r\n'
    printf '"Debugger"=""\r\n"Auto"="1"\r\n'
} | iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } >"$work/fonts.reg"
wine regedit "$(winpath "$work/fonts.reg")" </dev/null >/dev/null 2>&1

"$sim" --link "$work/com7" 2>"$work/sim-main.log" >/dev/null </dev/null &
pids+=($!)
"$sim" --link "$work/com8" --silent AT+NAME --silent AT+CLEARADDR 2>"$work/sim-silent.log" \
    >/dev/null </dev/null &
pids+=($!)
for port in com9 com10; do
    "$sim" --link "$work/$port" --hangup-after 15 2>/dev/null >/dev/null </dev/null &
    pids+=($!)
done
for _ in $(seq 50); do [ -e "$work/com7" ] && [ -e "$work/com8" ] && [ -e "$work/com9" ] &&
    [ -e "$work/com10" ] && break
    sleep 0.1; done
for port in com7 com8 com9 com10; do ln -sf "$work/$port" "$WINEPREFIX/dosdevices/$port"; done
# The main module again as COM51, a number past the fixed list, as Windows gives later adapters.
ln -sf "$work/com7" "$WINEPREFIX/dosdevices/com51"

# The driver's requests: NAME.shot (a window title inside) is captured into docs/NAME.png with
# --shots and skipped without; replug puts a new module behind COM9.
mkdir -p "$work/control"
(
    while :; do
        for request in "$work"/control/*; do
            [ -e "$request" ] || continue
            name=$(basename "$request")
            case "$name" in
            *.shot)
                if [ "$shots" = 1 ]; then
                    sleep 0.5 # the last repaint
                    id=$(xwininfo -root -children -int | grep -F "\"$(cat "$request")\"" |
                         awk '{print $1}' | head -1)
                    [ -n "$id" ] && import -window "$id" "$root/docs/${name%.shot}.png" &&
                        echo "wrote docs/${name%.shot}.png"
                fi
                ;;
            replug)
                "$sim" --link "$work/com9" 2>/dev/null >/dev/null </dev/null &
                echo $! >"$work/replug.pid"
                for _ in $(seq 50); do [ -e "$work/com9" ] && break; sleep 0.1; done
                ;;
            esac
            rm -f "$request"
        done
        sleep 0.1
    done
) &
pids+=($!)

status=0
# The status line's drawing, pixel by pixel; it needs the display as the window does.
timeout 120 wine "$build/tests/win32/status_label_win32_test.exe" --gtest_brief=1 </dev/null 2>/dev/null ||
    status=$?
driver_args=("$(winpath "$build/kestrel.exe")" "$(winpath "$work/sim-main.log")"
             "$(winpath "$work/sim-silent.log")" "$(winpath "$work/control")")
timeout 600 wine "$build/tests/win32/kestrel_window_test.exe" "${driver_args[@]}" \
    </dev/null 2>/dev/null || status=$?
# The display's DPI is the prefix's LogPixels, read by each program as it starts.
for dpi in 96 144; do
    {
        printf 'Windows Registry Editor Version 5.00\r\n\r\n'
        printf '[HKEY_CURRENT_USER\\Control Panel\\Desktop]\r\n"LogPixels"=dword:%08x\r\n' "$dpi"
        printf '\r\n[HKEY_CURRENT_CONFIG\\Software\\Fonts]\r\n"LogPixels"=dword:%08x\r\n' "$dpi"
    } >"$work/dpi.reg"
    wine regedit "$(winpath "$work/dpi.reg")" </dev/null >/dev/null 2>&1
    timeout 300 wine "$build/tests/win32/kestrel_window_test.exe" --labels "${driver_args[@]}" \
        </dev/null 2>/dev/null || status=$?
done
echo "Wine window stage: $(($(date +%s) - started)) s"
exit "$status"
