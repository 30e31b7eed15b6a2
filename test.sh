#!/usr/bin/env bash
# Installs what is missing, builds Kestrava and runs every test.
#   ./test.sh             the ordinary build in build/
#   ./test.sh --sanitize  a second build in build-sanitize/ with ASan and UBSan
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh

dir=build
flags=()
if [ "${1:-}" = "--sanitize" ]; then
    dir=build-sanitize
    flags=(-DKESTRAVA_SANITIZE=ON -DKESTRAVA_BUILD_BENCH=OFF)
    export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan-suppressions.txt:print_suppressions=0"
fi
cmake -S . -B "$dir" -G Ninja "${flags[@]}" >/dev/null
cmake --build "$dir"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" --timeout 300
