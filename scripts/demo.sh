#!/usr/bin/env bash
# The main job: builds Keyscope and starts the dashboard on the simulated board.
# With a display it opens the window and waits for Connect. Without one it runs
# the dashboard under Xvfb as an ICE viewer (the command line below), lets it
# poll for a few seconds and saves a screenshot; then it opens Device > Key
# Statistics, lets the simulated board press every key once and saves a
# second screenshot with the statistics window open.
#
#   KEYSCOPE_BUILD_DIR         build folder (default: build)
#   KEYSCOPE_SCREENSHOT        where the screenshot goes (default: <build>/dashboard.png)
#   KEYSCOPE_STATS_SCREENSHOT  the second one (default: <build>/dashboard-stats.png)
#   KEYSCOPE_RUN_SECONDS       how long to poll before the first screenshot (default: 4)
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
stats_shot=${KEYSCOPE_STATS_SCREENSHOT:-$PWD/$build/dashboard-stats.png}
seconds=${KEYSCOPE_RUN_SECONDS:-4}
# Chip 6620, target address 0x30, 16 keys in internal RAM, two bytes per key,
# no window to notify, trigger level 30: over ICE the key code names no key, so
# the statistics count a reading as touched from a difference of 30.
target=(6620 0x30 16 IRAM 2 0 0 0 30)

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

# -noreset: the readiness probe below is the last client to leave, and a
# reset then would refuse the dashboard's connection.
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp -noreset >/dev/null 2>&1 &
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

# Device > Key Statistics: a click on Device, the first title on the menu bar,
# opens its popup; over ICE the first item the keys reach is Key Statistics.
main=$(xdotool search --onlyvisible --name '^Keyscope - KR48' | head -1)
xdotool mousemove --window "$main" 20 8 click 1
sleep 0.6
xdotool key Down Return
for _ in $(seq 50); do
    xdotool search --onlyvisible --name '^Keyscope - Key Statistics$' >/dev/null && break
    sleep 0.1
done
xdotool search --onlyvisible --name '^Keyscope - Key Statistics$' >/dev/null || {
    echo "the Key Statistics window did not open" >&2
    exit 1
}
xdotool mousemove 1270 790  # no hover readout in the picture
# The simulated board presses every key once in about twelve seconds.
sleep $((seconds >= 13 ? 1 : 13 - seconds))
import -window root "$stats_shot"
echo "Screenshot with Device > Key Statistics open: $stats_shot"
