#!/usr/bin/env bash
# Captures the port dialog and the main window (after the first query filled it) against the
# simulated module, on a virtual display: in Chinese into docs/port-dialog.png and
# docs/main-dialog.png, in English into docs/port-dialog-en.png and docs/main-dialog-en.png, and
# the English window at 150 % into docs/main-dialog-en-150.png.
# KESTREL_AUTO_ACCEPT_PORT=N is a scripting aid: the port dialog accepts itself after N seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${KESTREL_BUILD_DIR:-build-run}
display=${KESTREL_DISPLAY:-:99}

if [ ! -x "$build/qt/kestrel" ]; then
    cmake -S . -B "$build" -G Ninja -DKESTREL_BUILD_TESTS=OFF -DKESTREL_BUILD_BENCH=OFF >/dev/null
    cmake --build "$build" --target kestrel -j 2
fi

Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp &
xvfb_pid=$!
profile=$(mktemp -d)
cleanup() {
    [ -n "${app_pid:-}" ] && kill "$app_pid" 2>/dev/null || true
    kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$profile"
}
trap cleanup EXIT
sleep 1

capture() {
    # The mapped top-level window whose title starts with $1, else the whole screen.
    local id
    id=$(DISPLAY=$display xwininfo -root -children -int | grep -F "\"$1" | awk '{print $1}' | head -1)
    if [ -n "$id" ]; then
        DISPLAY=$display import -window "$id" "$2"
    else
        DISPLAY=$display import -window root "$2"
    fi
}

# shoot LANG SCALE PORT_TITLE MAIN_TITLE PORT_PNG MAIN_PNG (an empty name: no picture)
shoot() {
    # A fresh profile, so the dialog shows its first-run choice and no language is kept.
    rm -rf "$profile" && mkdir -p "$profile"
    DISPLAY=$display XDG_CONFIG_HOME=$profile KESTREL_AUTO_ACCEPT_PORT=4 LANGUAGE= LC_ALL= \
        LC_MESSAGES= LANG=$1 QT_SCALE_FACTOR=$2 "$build/qt/kestrel" --simulate &
    app_pid=$!
    sleep 2.5
    [ -n "$5" ] && capture "$3" "$root/docs/$5"
    # Accepted at 4 s; the first query starts one second later and takes well under two.
    sleep 5
    capture "$4" "$root/docs/$6"
    kill "$app_pid" 2>/dev/null || true
    wait "$app_pid" 2>/dev/null || true
    app_pid=
}

mkdir -p docs
shoot C.UTF-8 1 "连接串口" "内嵌模块参数设置工具" port-dialog.png main-dialog.png
shoot en_US.UTF-8 1 "Connect serial port" "Embedded module parameter setting tool" \
    port-dialog-en.png main-dialog-en.png
shoot en_US.UTF-8 1.5 "Connect serial port" "Embedded module parameter setting tool" \
    "" main-dialog-en-150.png
echo "wrote docs/{port,main}-dialog{,-en}.png docs/main-dialog-en-150.png"
