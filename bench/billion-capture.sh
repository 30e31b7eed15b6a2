#!/usr/bin/env bash
# Writes a capture of a billion samples (1,005,480,000; 8-bit, about 1 GB, with its
# manifest of about 340 MB) into the folder given, then decodes it to a report on one
# worker and on every core, and prints each step's wall time and peak resident memory
# (which counts the mapped file's pages too).
set -euo pipefail
cd "$(dirname "$0")/.."
program=build/bin/kestrava-capgen
decoder=build/bin/kestrava-decode
folder=${1:?usage: bench/billion-capture.sh FOLDER}
for tool in "$program" "$decoder" /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "billion-capture: $tool is missing" >&2; exit 1; }
done
mkdir -p "$folder"
/usr/bin/time -f "billion-capture: %e s wall, %M KB peak resident" \
    "$program" --scenario long-data --data-bytes 8192 --repeat 570 --noise 0.01 \
    -o "$folder/billion.wfm"
ls -l "$folder/billion.wfm" "$folder/billion.txt"
for threads in 1 "$(nproc)"; do
    /usr/bin/time -f "billion-decode --threads $threads: %e s wall, %M KB peak resident" \
        "$decoder" --threads "$threads" --report -o "$folder/billion-report.txt" \
        "$folder/billion.wfm"
done
ls -l "$folder/billion-report.txt"
