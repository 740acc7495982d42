#!/usr/bin/env bash
# A restart between two runners: the first schedules a downloaded tree for deletion in each family's
# way (pending renames, WININIT.INI), then its wineserver ends; the main runner's wineserver starts as
# a restarted Windows does and carries the schedule out, and CleanupRestart checks the files are gone.
set -euo pipefail
[ -n "${TWG_WINTEST_DIR:-}" ] || exit 0
log=$WINEPREFIX/drive_c/cleanup-arrange.log
status=0
TWG_CLEANUP_ARRANGE=1 wine "$TWG_WINTEST_DIR/twg_wine_tests.exe" \
  --gtest_filter='CleanupRestart.*' >"$log" 2>&1 || status=$?
echo "exit status $status" >>"$log"
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
