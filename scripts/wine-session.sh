# Sourced by the Wine stages that need a window (test-windows-window.sh, test-windows-installer.sh),
# from the project's root with $root set: finds the simulated module ($sim), makes a work folder
# ($work, removed at exit with the prefix's server, the programs in $pids and the display) and a
# virtual display of its own (DISPLAY). A stage that starts more may define cleanup_more.

sim=${KESTREL_SIM:-$root/build/sim/kestrel-sim}
if [ ! -x "$sim" ]; then
    cmake -S . -B build-sim -G Ninja -DKESTREL_BUILD_GUI=OFF -DKESTREL_BUILD_TESTS=OFF \
          -DKESTREL_BUILD_BENCH=OFF >/dev/null
    cmake --build build-sim --target kestrel-sim -j 2 >/dev/null
    sim=$root/build-sim/sim/kestrel-sim
fi

work=$(mktemp -d)
pids=()
cleanup() {
    declare -F cleanup_more >/dev/null && cleanup_more
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    WINEPREFIX=$work/prefix wineserver -k >/dev/null 2>&1 || true
    [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
trap "exit 130" INT TERM

# A display of our own: Xvfb picks a free number and tells it. Room for the main window at 150 %.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$work/display")
