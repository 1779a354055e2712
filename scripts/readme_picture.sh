#!/usr/bin/env bash
# Draws the README's picture of the main window, docs/main-window.png: the
# program's own window, driven offscreen by kiv7_drive, showing a table the
# instrument simulator sent. Run it after a build (BUILD=build/dev for another
# build folder) whenever the window changes.
set -euo pipefail
cd "$(dirname "$0")/.."
tools=${BUILD:-build/release}/tools
work=$(mktemp -d)
trap 'kill "$sim" 2>/dev/null || true; rm -rf "$work"' EXIT
"$tools/instrument_sim/instrument_sim" --link "$work/instrument" --acoustic 8 --bending 2 >/dev/null &
sim=$!
for _ in $(seq 50); do [ -e "$work/instrument" ] && break; sleep 0.1; done
printf 'save-as %s\nmenu Создать\nselect 2 3 4\npng %s\nclose-window\n' "$work/demo.dbf" "$PWD/docs/main-window.png" |
  KIV7_PORTS="COM1=$work/instrument" QT_QPA_PLATFORM=offscreen \
    "$tools/kiv7_drive/kiv7_drive" --settings "$work/kiv7.ini" 2>/dev/null
echo "docs/main-window.png"
