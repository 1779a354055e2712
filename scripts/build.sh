#!/usr/bin/env bash
# Configures and builds the program and everything else into build/release.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${KIV7_CMAKE_ARGS:-} >/dev/null
cmake --build build/release -j "$jobs"
