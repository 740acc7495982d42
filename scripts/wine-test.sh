#!/usr/bin/env bash
# Runs one group of the Wine tests in a copy of the template prefix: wine-test.sh WINEDIR NAME FILTER.
set -euo pipefail
. "$(dirname "$0")/wine-env.sh"
winedir=$1 name=$2 filter=$3
export WINEPREFIX=$winedir/prefix-$name
rm -rf "$WINEPREFIX"
cp -a "$winedir/template" "$WINEPREFIX"
export TWG_DLL=$(winpath "$TWG_WIN64_DIR/TWGMsI.dll")
export TWG_STANDINS=$(winpath "$TWG_WINTEST_DIR")
export TWG_SOURCE=$(winpath "$TWG_SOURCE_DIR")
# A group may arrange its machine first (drives, mounts, registry): tests/wine/<name>.setup.sh runs with
# WINEPREFIX set, before the runner starts its wineserver.
setup=$TWG_SOURCE_DIR/tests/wine/$name.setup.sh
if [ -x "$setup" ]; then "$setup"; fi
status=0
wine "$TWG_WINTEST_DIR/twg_wine_tests.exe" --gtest_filter="$filter" || status=$?
wineserver -k 2>/dev/null || true
[ -n "${TWG_KEEP_PREFIX:-}" ] || rm -rf "$WINEPREFIX"
exit $status
