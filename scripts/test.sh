#!/usr/bin/env bash
# Installs what KIV7 needs and builds the program with warnings as errors; then
# builds the Qt-free libraries with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs their tests; then the same for the GUI
# half (graphics, windows, grid, report, the program's windows).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc 2>/dev/null || echo 2)
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

echo "== includes against the layers (cmake/layers.cmake)"
python3 scripts/check_layers.py

# The program, the harnesses and the benchmarks as they ship. The tests run in
# the sanitizer builds below, which see every fault an optimised run would
# and more; building them a third time would cost a third of the command.
echo "== build (warnings as errors)"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKIV7_WERROR=ON -DKIV7_TESTS=OFF >/dev/null
cmake --build build/release -j "$jobs"

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

# The fuzz targets as the README builds them for open-ended runs: clang with
# libFuzzer. Only compiled and linked here (the sanitizer passes above run
# them); -O1 and no tests or benchmarks keep the step short.
echo "== libFuzzer build of the fuzz targets (clang; built, not run)"
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=None -DCMAKE_C_FLAGS=-O1 \
  -DCMAKE_CXX_FLAGS=-O1 -DKIV7_LIBFUZZER=ON -DKIV7_BENCH=OFF >/dev/null
cmake --build build/fuzz -j "$jobs" --target fuzz_targets
