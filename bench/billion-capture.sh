#!/usr/bin/env bash
# Writes a capture of a billion samples (1,005,480,000; 8-bit, about 1 GB, with its
# manifest of about 340 MB) into the folder given, and prints the generator's wall time
# and peak resident memory. The decode half is timed on the file it leaves behind:
#   bench/billion-capture.sh /tmp/big && kestrava-decode --report ... /tmp/big/billion.wfm
set -euo pipefail
cd "$(dirname "$0")/.."
program=build/bin/kestrava-capgen
folder=${1:?usage: bench/billion-capture.sh FOLDER}
for tool in "$program" /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "billion-capture: $tool is missing" >&2; exit 1; }
done
mkdir -p "$folder"
/usr/bin/time -f "billion-capture: %e s wall, %M KB peak resident" \
    "$program" --scenario long-data --data-bytes 8192 --repeat 570 --noise 0.01 \
    -o "$folder/billion.wfm"
ls -l "$folder/billion.wfm" "$folder/billion.txt"
