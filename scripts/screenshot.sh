#!/usr/bin/env bash
# Opens the sample capture in the window under a virtual X server and saves docs/window.png.
set -euo pipefail
cd "$(dirname "$0")/.."
program=${KESTRAVA_PROGRAM:-build/bin/kestrava}
capture=${1:-data/Waveforms/sata-session.wfm}
shot=${2:-docs/window.png}
[ -x "$program" ] || { echo "screenshot: $program is not built" >&2; exit 1; }
command -v xvfb-run >/dev/null || { echo "screenshot: xvfb-run missing (package xvfb)" >&2; exit 1; }
mkdir -p "$(dirname "$shot")"
# Private data and log folders, so the picture does not depend on the user's settings.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
XDG_DATA_HOME="$scratch/data" XDG_CONFIG_HOME="$scratch/config" TMPDIR="$scratch/tmp" XDG_RUNTIME_DIR="$scratch/run" \
    bash -c 'mkdir -p "$TMPDIR" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR" &&
             exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" --open "$1" --screenshot "$2"' \
    "$program" "$capture" "$(realpath -m "$shot")"
echo "screenshot: saved $shot"
