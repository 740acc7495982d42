#!/usr/bin/env bash
# Times the move of a plain configuration into the protected store for trees of 100, 1,000 and 10,000
# values (ten values to a key) under wine64, and prints the cost per value and the ratio between the
# 10,000- and the 1,000-value tree. Builds first; runs in a private prefix below build/.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=${TWG_BUILD:-$src/build}
"$src/scripts/build.sh" >/dev/null
. "$src/scripts/wine-env.sh"
"$src/scripts/wine-prefix.sh" "$build/native/wine/template" >/dev/null
export WINEPREFIX=$build/bench-reencrypt-prefix
rm -rf "$WINEPREFIX"; cp -a "$build/native/wine/template" "$WINEPREFIX"
for n in 100 1000 10000; do wine "$build/wintest/twg_store_probe.exe" bench $n; done | tee "$WINEPREFIX.out"
awk '{gsub(",", "", $1); cost[$1] = $5} END {printf "per-value cost, 10,000 against 1,000 values: %.2f (goal: 1.2 at most)\n", cost[10000] / cost[1000]}' "$WINEPREFIX.out"
rm -f "$WINEPREFIX.out"
wineserver -k 2>/dev/null || true
rm -rf "$WINEPREFIX"
