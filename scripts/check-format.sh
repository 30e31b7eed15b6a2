#!/usr/bin/env bash
# Fails when a C++ file is not laid out as .clang-format says (clang-format -i FILE mends it).
set -euo pipefail
cd "$(dirname "$0")/.."
unformatted=$(git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run 2>&1 | grep -oE '^[^:]+\.(cpp|h):' | sort -u || true)
if [ -n "$unformatted" ]; then
    echo "Not laid out as .clang-format says (clang-format -i each):"
    echo "$unformatted" | tr -d ':'
    exit 1
fi
echo "every C++ file follows .clang-format"
