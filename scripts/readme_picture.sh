#!/usr/bin/env bash
# Draws the README's picture of the main window, docs/main-window.png: the
# program's own window, driven offscreen by kiv7_drive, showing a table the
# simulated press instrument sent, three rows selected by real clicks. Run it
# after a build (BUILD=build/dev for another build folder) whenever the window
# changes.
set -euo pipefail
cd "$(dirname "$0")/.."
tools=${BUILD:-build/release}/tools
work=$(mktemp -d)
trap 'kill "$sim" 2>/dev/null || true; rm -rf "$work"' EXIT
"$tools/instrument_sim/instrument_sim" --link "$work/instrument" --press 8 --subtype 3 >/dev/null &
sim=$!
for _ in $(seq 50); do [ -e "$work/instrument" ] && break; sleep 0.1; done
# Three rows selected as a user does: a click on one, a Shift+click on another.
printf 'save-as %s\nmenu Создать\nclick 2 P\nshift-click 4 P\npng %s\nclose-window\n' "$work/demo.dbf" \
  "$PWD/docs/main-window.png" |
  KIV7_PORTS="COM1=$work/instrument" QT_QPA_PLATFORM=offscreen \
    "$tools/kiv7_drive/kiv7_drive" --settings "$work/kiv7.ini" 2>/dev/null
echo "docs/main-window.png"
