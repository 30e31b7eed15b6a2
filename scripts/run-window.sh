#!/usr/bin/env bash
# Opens the Kestrava window. Without a display it runs under a virtual X server for a
# few seconds and saves a picture of the window instead (docs/window-run.png by default).
set -euo pipefail
cd "$(dirname "$0")/.."
program=build/bin/kestrava
[ -x "$program" ] || { echo "run-window: $program is not built" >&2; exit 1; }
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec "$program" "$@"
fi
command -v xvfb-run >/dev/null || { echo "run-window: no display and no xvfb-run (package xvfb)" >&2; exit 1; }
shot=${KESTRAVA_SCREENSHOT:-docs/window-run.png}
mkdir -p "$(dirname "$shot")"
xvfb-run -a -s "-screen 0 1280x1024x24" "$program" --screenshot "$shot" "$@"
echo "run-window: no display; saved a picture of the window to $shot"
