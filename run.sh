#!/usr/bin/env bash
# Installs what is missing, builds Kestrava, starts the oscilloscope simulator and opens
# the window on a bundled SATA capture. Without a display the window runs under a virtual
# X server and a picture of it is saved to docs/window-run.png.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh --window
cmake -S . -B build -G Ninja >/dev/null
cmake --build build

answers() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# The simulator stands in for the oscilloscope at localhost:4000 unless one answers there.
# It also answers HiSLIP (TCPIP::localhost::hislip0::INSTR) and VXI-11
# (TCPIP::localhost::INSTR); VXI-11 clients find it through the portmapper on port 111,
# Debian's rpcbind, started here for the run when none answers and this runs as root.
if ! answers 4000; then
    started=()
    if ! answers 111 && [ "$(id -u)" -eq 0 ] && command -v rpcbind >/dev/null 2>&1; then
        setsid rpcbind -f </dev/null >/dev/null 2>&1 &
        started+=($!)
        for _ in $(seq 20); do answers 111 && break; sleep 0.1; done
    fi
    lxi=()
    if answers 111; then
        lxi+=(--vxi11 0)
    else
        echo "No portmapper on port 111 (Debian: rpcbind, as root): the simulator answers no VXI-11." >&2
    fi
    answers 4880 || lxi+=(--hislip 4880)
    build/bin/kestrava-scopesim --port 4000 "${lxi[@]}" >/dev/null 2>&1 &
    started=($! "${started[@]}")
    trap 'kill "${started[@]}" 2>/dev/null' EXIT
fi
scripts/run-window.sh --open data/Waveforms/sata-session.wfm "$@"
