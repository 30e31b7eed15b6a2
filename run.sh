#!/usr/bin/env bash
# Installs what is missing, builds Kestrava, starts the oscilloscope simulator and opens
# the window on a bundled SATA capture. Without a display the window runs under a virtual
# X server and a picture of it is saved to docs/window-run.png.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh --window
cmake -S . -B build -G Ninja >/dev/null
cmake --build build

# The simulator stands in for the oscilloscope at localhost:4000 unless one answers there.
if ! (exec 3<>/dev/tcp/127.0.0.1/4000) 2>/dev/null; then
    build/bin/kestrava-scopesim --port 4000 >/dev/null 2>&1 &
    simulator=$!
    trap 'kill $simulator 2>/dev/null' EXIT
fi
scripts/run-window.sh --open data/Waveforms/sata-session.wfm "$@"
