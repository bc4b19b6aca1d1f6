#!/usr/bin/env bash
# Builds Keyscope and runs the whole test suite.
#   BUILD_DIR      build folder (default: build)
#   CMAKE_ARGS     extra configure arguments (e.g. -DKEYSCOPE_SANITIZE=ON)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
build=${BUILD_DIR:-build}
# shellcheck disable=SC2086
cmake -S . -B "$build" -G Ninja ${CMAKE_ARGS:-}
cmake --build "$build" -j "$(nproc)"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 300
