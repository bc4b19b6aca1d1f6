#!/usr/bin/env bash
# The main job on a machine without a board: builds Keyscope and runs the
# serial link end to end through a pseudo-terminal.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)"
ctest --test-dir build -R SerialEndToEnd --output-on-failure
