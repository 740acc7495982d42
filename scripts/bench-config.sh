#!/usr/bin/env bash
# Times the signature import (TWGImportIDSEntires of the 64-bit DLL) for catalogues of 500 and 5,000
# signatures under wine64 against a bare loop of the same registry calls in the same run, and prints the
# per-signature ratios. Builds first; runs in a private prefix below build/.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=${TWG_BUILD:-$src/build}
"$src/scripts/build.sh" >/dev/null
cmake --build "$build/wintest" --target config_wine_bench >/dev/null
. "$src/scripts/wine-env.sh"
"$src/scripts/wine-prefix.sh" "$build/native/wine/template" >/dev/null
export WINEPREFIX=$build/bench-config-prefix
rm -rf "$WINEPREFIX"; cp -a "$build/native/wine/template" "$WINEPREFIX"
wine "$build/wintest/config_wine_bench.exe" "$(winpath "$build/win64/TWGMsI.dll")" 500 5000 | tr -d '\r' | tee "$WINEPREFIX.out"
awk '{cost[$1] = $2; ratio[$1] = $4}
     END {printf "import against bare loop, 5,000 signatures: %.2f (goal: 1.3 at most)\n", ratio[5000];
          printf "per-signature cost, 5,000 against 500: %.2f (goal: 1.2 at most)\n", cost[5000] / cost[500]}' "$WINEPREFIX.out"
rm -f "$WINEPREFIX.out"
wineserver -k 2>/dev/null || true
rm -rf "$WINEPREFIX"
