#!/usr/bin/env bash
# Builds and runs the protected store's benchmarks and prints their ratios:
#   1. the codec against the same encodings built on OpenSSL (native, Google Benchmark);
#   2. protected set and query against plain RegSetValueExA / RegQueryValueExA under Wine.
# Uses $TWG_BUILD (default build/) as scripts/build.sh made it; the Wine run takes a fresh copy of the
# test template prefix (built by ctest's wine.prefix, or made here).
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=${TWG_BUILD:-$src/build}
jobs=${TWG_JOBS:-2}
cmake --build "$build/native" -j "$jobs" --target protreg_codec_bench >/dev/null
cmake --build "$build/wintest" -j "$jobs" --target protreg_wine_bench >/dev/null

echo "== codec: ours against OpenSSL"
"$build/native/protreg_codec_bench" --benchmark_min_time=${TWG_BENCH_MIN_TIME:-0.1} \
  --benchmark_repetitions=9 --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true 2>/dev/null | sed -n '/^CPU-time ratio/,$p'

echo "== registry under Wine: protected against plain"
. "$src/scripts/wine-env.sh"
template=$build/native/wine/template
[ -d "$template" ] || "$src/scripts/wine-prefix.sh" "$template" >/dev/null
export WINEPREFIX=$(mktemp -d /tmp/protreg-bench.XXXXXX)
trap 'wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX"' EXIT
rm -rf "$WINEPREFIX" && cp -a "$template" "$WINEPREFIX"
wine "$build/wintest/protreg_wine_bench.exe"
