#!/usr/bin/env bash
# Installs what KIV7 needs, builds everything with warnings as errors and runs
# every test; then builds the Qt-free libraries with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs their tests again; then the same for the
# GUI half (graphics, windows, grid, report, the program's windows).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc 2>/dev/null || echo 2)
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

echo "== includes against the layers (cmake/layers.cmake)"
python3 scripts/check_layers.py

echo "== build (warnings as errors)"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKIV7_WERROR=ON >/dev/null
cmake --build build/release -j "$jobs"
echo "== tests"
ctest --test-dir build/release -j "$jobs" --output-on-failure --timeout 600

# The two sanitizer builds compile the Qt-free libraries with the same flags;
# compiler cache entries named relative to the tree let the second reuse them.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true
echo "== sanitizer build of the Qt-free libraries"
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKIV7_WERROR=ON \
  -DKIV7_SANITIZE=ON -DKIV7_WITH_GUI=OFF -DKIV7_BENCH=OFF -DKIV7_TEST_SHARDS=4 >/dev/null
cmake --build build/asan -j "$jobs"
echo "== tests under the sanitizers"
ctest --test-dir build/asan -j "$jobs" --output-on-failure --timeout 900

# Only what the GUI half's tests and fuzz targets need: the Qt-free tests ran
# above. The system's font libraries keep caches to the end of the process;
# their leaks alone are suppressed (tests/support/lsan_gui.supp).
echo "== sanitizer build of the GUI half"
cmake -S . -B build/asan-gui -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKIV7_WERROR=ON \
  -DKIV7_SANITIZE=ON -DKIV7_WITH_GUI=ON -DKIV7_BENCH=OFF -DKIV7_TEST_SHARDS=4 >/dev/null
cmake --build build/asan-gui -j "$jobs" --target check_gui
echo "== GUI tests under the sanitizers"
LSAN_OPTIONS="suppressions=$PWD/tests/support/lsan_gui.supp" \
  ctest --test-dir build/asan-gui -j "$jobs" --output-on-failure --timeout 900 \
  -L '^(toolkit/gfx|toolkit/ui|grid|report|appgui|fuzz-gui)$'
