#!/usr/bin/env bash
# Installs what is missing, builds, and runs VARNO Device Manager. When no monitor is plugged in, a
# simulated one is attached first so there is something to look at. Without a display the program
# runs under Xvfb and a screenshot of its window is saved once the monitor is shown; the script then
# fails if the monitor never showed, the program died, or no screenshot came out (CI relies on it).
set -euo pipefail
cd "$(dirname "$0")/.."
# Paths relative to the checkout, so the compiler cache serves a clone in another folder too.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}"
bash tools/setup.sh

cmake -S . -B build-app -G Ninja -DVARNO_TESTS=OFF -DVARNO_BENCH=OFF >/dev/null
cmake --build build-app -j"$(nproc)"

# The program looks for attached simulators only when asked. They meet in the user's runtime folder
# ($XDG_RUNTIME_DIR, or a private folder under ~/.cache without one), never in the shared /tmp.
export VARNO_SIMULATORS=1

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
    build-app/tools/devsim/varno-devsim --attach > build-app/varno-devsim.out &
    pids+=($!)
    for _ in $(seq 50); do [ -s build-app/varno-devsim.out ] && break; sleep 0.1; done
    echo "Simulated monitor on $(head -n1 build-app/varno-devsim.out)"
fi

if [ -n "${DISPLAY:-}" ]; then
    build-app/varnodevm
    exit
fi

# No display: run under Xvfb, wait until the monitor is shown, save a screenshot.
display=:57
while [ -e "/tmp/.X${display#:}-lock" ]; do display=":$(( ${display#:} + 1 ))"; done
Xvfb "$display" -screen 0 1024x700x24 -nolisten tcp &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
log="$PWD/build-app/varnodevm.log"
# --verbose: the log lines this check waits for are debug lines.
QT_QPA_PLATFORM=xcb build-app/varnodevm --verbose > "$log" 2>&1 &
app=$!
pids+=($app)
# Generous: on a loaded machine the first start (fonts, settings, identifying the monitor) is slow.
shown=0
deadline=$((SECONDS + 60))
while [ "$SECONDS" -lt "$deadline" ]; do
    grep -q "Current device changed to" "$log" 2>/dev/null && { shown=1; break; }
    kill -0 "$app" 2>/dev/null || break
    sleep 0.1
done
if [ "$shown" != 1 ]; then
    if kill -0 "$app" 2>/dev/null; then
        echo "The program did not show the monitor within a minute. Its log ($log) ends:" >&2
    else
        echo "The program ended before it showed the monitor. Its log ($log) ends:" >&2
    fi
    tail -n 20 "$log" >&2
    exit 1
fi
sleep 3 # let the page fill in with the first readings
if ! kill -0 "$app" 2>/dev/null; then
    echo "The program ended just after it showed the monitor. Its log ($log) ends:" >&2
    tail -n 20 "$log" >&2
    exit 1
fi
shot="$PWD/build-app/varnodevm-screenshot.png"
rm -f "$shot"
# The window as large as it really is, at its place on the display, not a fixed 800x600. It is
# found by its class, since the title is translated: the largest of the program's windows.
window=$(xwininfo -root -children | awk '/\("varnodevm" / { split($(NF-1), g, /[x+]/)
    if (g[1] * g[2] > best) { best = g[1] * g[2]; id = $1 } } END { print id }')
geometry=""
if [ -n "$window" ]; then
    geometry=$(xwininfo -id "$window" | awk '/Absolute upper-left X/ { x = $4 } /Absolute upper-left Y/ { y = $4 }
        /^ *Width:/ { w = $2 } /^ *Height:/ { h = $2 } END { if (w && h) printf "%dx%d+%d+%d", w, h, x, y }')
fi
if [ -n "$geometry" ]; then
    xwd -root -silent | convert xwd:- -crop "$geometry" +repage "$shot"
else
    xwd -root -silent | convert xwd:- "$shot"
fi
if [ ! -s "$shot" ]; then
    echo "No screenshot was saved to $shot." >&2
    exit 1
fi
echo "The program runs on the virtual display $display; its log is $log."
echo "Screenshot of the window with the monitor shown: $shot"
if [ "${VARNO_KEEP_RUNNING:-0}" = "1" ]; then
    echo "Press Ctrl+C to stop it."
    wait "$app"
fi
