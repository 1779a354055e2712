#!/usr/bin/env bash
# Installs what KIV7 needs, builds it and starts the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
exec ./build/release/app/kiv7 "$@"
