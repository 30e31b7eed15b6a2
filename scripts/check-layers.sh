#!/usr/bin/env bash
# Fails on an include that points up or across the layer order, or on a Qt header below app/.
# The order, lowest first (a layer may include its own folder and any layer below it):
#   base < definition, formats, visa < instrument < signal < protocol < session < app
# Beside them: synth includes only itself; scopeid only visa and base; visacheck only base.
# tools/, tests/, bench/ and fuzz/ sit on top and may include anything.
set -u
cd "$(dirname "$0")/.."

declare -A rank=([base]=0 [definition]=1 [formats]=1 [visa]=1 [instrument]=2 [signal]=3
                 [protocol]=4 [session]=5 [app]=6)
declare -A beside=([synth]="" [scopeid]="visa base" [visacheck]="base")

allowed() {  # allowed FROM TO
    local from=$1 to=$2
    [ "$from" = "$to" ] && return 0
    if [ -n "${beside[$from]+set}" ]; then
        [[ " ${beside[$from]} " == *" $to "* ]]
        return
    fi
    [ -n "${rank[$to]+set}" ] && [ "${rank[$to]}" -lt "${rank[$from]}" ]
}

faults=0
for from in "${!rank[@]}" "${!beside[@]}"; do
    [ -d "$from" ] || continue
    while IFS=: read -r file line text; do
        to=$(sed -E 's/^#include "([^/"]+)\/.*/\1/' <<<"$text")
        if [ -n "${rank[$to]+set}${beside[$to]+set}" ] && ! allowed "$from" "$to"; then
            echo "$file:$line: $from/ must not include $to/ ($text)"
            faults=$((faults + 1))
        fi
    done < <(grep -rnE --include='*.h' --include='*.cpp' '^#include "[^/"]+/' "$from")
    if [ "$from" != app ]; then
        while IFS= read -r hit; do
            echo "$hit: no Qt below app/"
            faults=$((faults + 1))
        done < <(grep -rnE --include='*.h' --include='*.cpp' '^#include <Q[A-Za-z]*>' "$from";
                 grep -nE 'Qt6::' "$from/CMakeLists.txt" 2>/dev/null | sed "s|^|$from/CMakeLists.txt:|")
    fi
done

if [ "$faults" -gt 0 ]; then
    echo "$faults include(s) against the layer order (see docs/architecture.md)"
    exit 1
fi
echo "layer order holds"
