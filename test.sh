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

# The window, setup and trigger tests again where the desktop writes numbers as 0,5.
if locale -a 2>/dev/null | grep -qix 'de_DE.utf8'; then
    echo "Again in the de_DE.UTF-8 locale:"
    LC_ALL=de_DE.UTF-8 ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" --timeout 300 -L locale
else
    echo "The de_DE.UTF-8 locale is missing: the locale pass was skipped"
fi
