#!/usr/bin/env bash
# The main job: builds Keyscope and starts the dashboard on the simulated board.
# With a display it opens the window and waits for Connect. Without one it runs
# the dashboard under Xvfb as an ICE viewer (the command line below), lets it
# poll for a few seconds and saves a screenshot.
#
#   KEYSCOPE_BUILD_DIR   build folder (default: build)
#   KEYSCOPE_SCREENSHOT  where the screenshot goes (default: <build>/dashboard.png)
#   KEYSCOPE_RUN_SECONDS how long to poll before the screenshot (default: 4)
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${KEYSCOPE_SKIP_SETUP:-}" ]; then
    scripts/setup-deps.sh
fi
build=${KEYSCOPE_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j "$(nproc)" --target keyscope keyscope-simhid
export KEYSCOPE_SIMULATE=1

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    echo "Starting the dashboard on the simulated board; use Device > Connect (HID) or"
    echo "Device > Connect Serial Port."
    exec "$build/bin/keyscope" "$@"
fi

shot=${KEYSCOPE_SCREENSHOT:-$PWD/$build/dashboard.png}
seconds=${KEYSCOPE_RUN_SECONDS:-4}
# Chip 6620, target address 0x30, 16 keys in internal RAM, two bytes per key.
target=(6620 0x30 16 IRAM 2)

display=""
for n in $(seq 90 120); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
        display=":$n"
        break
    fi
done
[ -n "$display" ] || { echo "no free X display number" >&2; exit 1; }

pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
}
trap cleanup EXIT

Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
pids=($!)
for _ in $(seq 50); do
    DISPLAY=$display xdpyinfo >/dev/null 2>&1 && break
    sleep 0.1
done
export DISPLAY=$display

echo "No display: running the dashboard under Xvfb ($display) as a viewer of the"
echo "simulated ICE board: keyscope ${target[*]}"
QT_QPA_PLATFORM=xcb "$build/bin/keyscope" "${target[@]}" &
pids=($! "${pids[@]}")
sleep "$seconds"
if ! kill -0 "${pids[0]}" 2>/dev/null; then
    echo "the dashboard ended early" >&2
    exit 1
fi
import -window root "$shot"
echo "Screenshot after ${seconds} s of polling: $shot"
