#!/usr/bin/env bash
# Installs the Debian packages Kestrava builds and tests with, only those missing.
# Called by run.sh (with --window) and test.sh; quiet and quick when everything is present.
set -euo pipefail

packages=(
    g++ cmake ninja-build pkg-config
    qt6-base-dev            # the desktop window
    libgtest-dev libgmock-dev
    libbenchmark-dev        # throughput figures of the decode pipeline
    binutils-mingw-w64-x86-64  # builds real PE files for the Carrowin version-resource tests
    python3-pyvisa python3-pyvisa-py  # a VISA client not ours, against the simulator
    pybind11-dev python3-dev python3-numpy  # the Python module kestrava and its tests
    python3-pandas          # optional: to_pandas (its test case is skipped without it)
    rpcbind                 # the portmapper VXI-11 clients ask on port 111 (tests, run.sh)
    clang-format            # the one code layout, checked by the test command
    locales                 # a comma-decimal locale for the second test pass
)

# The window without a display runs under a virtual X server.
if [ "${1:-}" = "--window" ]; then
    packages+=(xvfb xauth)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
# The window, setup and trigger tests run a second time in a locale that writes 0,5.
ensure_test_locale() {
    locale -a 2>/dev/null | grep -qix 'de_DE.utf8' && return 0
    if [ "$(id -u)" -eq 0 ]; then
        localedef -i de_DE -f UTF-8 de_DE.UTF-8
    elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
        sudo localedef -i de_DE -f UTF-8 de_DE.UTF-8
    else
        echo "The second test pass needs the de_DE.UTF-8 locale; as root: localedef -i de_DE -f UTF-8 de_DE.UTF-8" >&2
    fi
}

if [ ${#missing[@]} -eq 0 ]; then
    ensure_test_locale
    exit 0
fi

echo "Kestrava needs these Debian packages: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
        SUDO=sudo
    else
        echo "Please install them as root: apt-get install ${missing[*]}" >&2
        exit 1
    fi
else
    SUDO=
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
ensure_test_locale
