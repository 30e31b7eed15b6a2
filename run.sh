#!/usr/bin/env bash
# Installs what is missing, builds Kestrava and runs it.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build
exec build/bin/kestrava-decode --list primitives data/Waveforms/sata-session.wfm "$@"
