#!/usr/bin/env bash
# Static analysis: clang-tidy, with the checks .clang-tidy lists, over every
# translation unit of the project in a build's compile_commands.json (generated
# moc and resource files apart). Any finding fails.
#   $1  the build folder (default: build), configured by scripts/test.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
[ -f "$build/compile_commands.json" ] || { echo "tidy: no $build/compile_commands.json" >&2; exit 1; }
folders="app|bench|dashboard|device|dialogs|fuzz|hid|ice|platform|res|sim|tests|views"
run-clang-tidy -p "$build" -quiet -j "$(nproc)" "^$PWD/($folders)/"
