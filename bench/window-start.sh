#!/usr/bin/env bash
# Times the window's start with an instrument that connects and never answers: the
# simulator runs with --fault no-answer, the program under a virtual X server, and the time
# from launching the program to its window being mapped is printed for each of a few runs.
# Private data and configuration folders keep the user's own alone.
set -euo pipefail
cd "$(dirname "$0")/.."
program=build/bin/kestrava
simulator=build/bin/kestrava-scopesim
runs=${1:-5}
for tool in Xvfb xwininfo "$program" "$simulator"; do
    command -v "$tool" >/dev/null || { echo "window-start: $tool is missing" >&2; exit 1; }
done

work=$(mktemp -d)
port=$((20000 + RANDOM % 20000))
display=:$((100 + RANDOM % 100))
mkdir -p "$work/config/kestrava" "$work/data" "$work/run"
chmod 700 "$work/run"
echo "GPIB8::1::INSTR = TCPIP0::127.0.0.1::$port::SOCKET" >"$work/config/kestrava/visa.conf"

Xvfb "$display" -screen 0 1280x1024x24 >/dev/null 2>&1 &
xserver=$!
"$simulator" --port "$port" --fault no-answer >/dev/null 2>&1 &
sim=$!
trap 'kill $sim $xserver 2>/dev/null; rm -rf "$work"' EXIT
sleep 1

export DISPLAY=$display XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/run
for ((i = 1; i <= runs; i++)); do
    start=$(date +%s%N)
    "$program" >/dev/null 2>&1 &
    window=$!
    until xwininfo -root -children 2>/dev/null | grep -q '("kestrava" "Veltrace")'; do
        sleep 0.01
    done
    end=$(date +%s%N)
    echo "run $i: window mapped $(((end - start) / 1000000)) ms after launch"
    kill "$window"
    wait "$window" 2>/dev/null || true
done
