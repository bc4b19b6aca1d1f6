#!/usr/bin/env bash
# The main job on a machine without a board: builds Keyscope and records the
# simulated board's sixteen keys for a few seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)" --target keyscope-record keyscope-simhid
out=${KEYSCOPE_DEMO_CSV:-$PWD/build/demo-recording.csv}
echo "Recording the simulated board for 4 seconds into $out"
KEYSCOPE_SIMULATE=1 build/bin/keyscope-record --hid --seconds 4 --output "$out"
echo
echo "First rows:"
head -n 6 "$out" | column -t -s, || head -n 6 "$out"
