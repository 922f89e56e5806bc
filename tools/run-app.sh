#!/usr/bin/env bash
# Installs what is missing, builds, and runs VARNO Device Manager. When no monitor is plugged in, a
# simulated one is attached first so there is something to look at. Without a display the program
# runs under Xvfb and a screenshot of its window is saved once the monitor has appeared.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh

cmake -S . -B build-app -G Ninja -DVARNO_TESTS=OFF -DVARNO_BENCH=OFF >/dev/null
cmake --build build-app -j"$(nproc)"

export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-/tmp/varno-runtime-$(id -u)}"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
}
trap cleanup EXIT

# A monitor is a tty whose USB ids are 27e9:b403.
monitor_present() {
    for dev in /sys/class/tty/*/device; do
        [ -e "$dev" ] || continue
        local usb
        usb=$(readlink -f "$dev/..")
        if [ "$(cat "$usb/idVendor" 2>/dev/null)" = "27e9" ] && [ "$(cat "$usb/idProduct" 2>/dev/null)" = "b403" ]; then
            return 0
        fi
    done
    return 1
}

if ! monitor_present; then
    echo "No monitor plugged in: attaching the device simulator."
    build-app/tools/devsim/varno-devsim --attach > "$XDG_RUNTIME_DIR/varno-devsim.out" &
    pids+=($!)
    for _ in $(seq 50); do [ -s "$XDG_RUNTIME_DIR/varno-devsim.out" ] && break; sleep 0.1; done
    echo "Simulated monitor on $(head -n1 "$XDG_RUNTIME_DIR/varno-devsim.out")"
fi

if [ -x build-app/varnodevm ]; then
    if [ -n "${DISPLAY:-}" ]; then
        build-app/varnodevm
        exit
    fi
    # No display: run under Xvfb, wait for the window and the device, save a screenshot.
    export DISPLAY=:57
    Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp &
    pids+=($!)
    sleep 1
    build-app/varnodevm &
    app=$!
    pids+=($app)
    sleep "${VARNO_SCREENSHOT_DELAY:-6}"
    shot="$PWD/build-app/varnodevm-screenshot.png"
    xwd -root -silent | convert xwd:- "$shot"
    echo "Screenshot of the running program: $shot"
    echo "The program keeps running on the virtual display $DISPLAY; press Ctrl+C to stop it."
    wait "$app"
else
    # Until the window exists, show the link at work from the command line.
    port=$(head -n1 "$XDG_RUNTIME_DIR/varno-devsim.out" 2>/dev/null || true)
    if [ -x build-app/tools/varnoctl/varnoctl ]; then
        build-app/tools/varnoctl/varnoctl ${port:+--port "$port"} info
    else
        echo "Simulator ready on $port"
    fi
fi
