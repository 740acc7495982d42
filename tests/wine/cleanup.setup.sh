#!/usr/bin/env bash
# Drive R: (a folder holding R:\Setup\setup.exe); two runners, each ended with its wineserver: the next
# wineserver starts as a restarted Windows does and carries out what the first scheduled; the second runs
# under code page 932, taken from the Unix locale (a private copy where the machine has not made it).
set -euo pipefail
[ -n "${TWG_WINTEST_DIR:-}" ] || exit 0
mkdir -p "$WINEPREFIX/drive_r/Setup"
echo setup >"$WINEPREFIX/drive_r/Setup/setup.exe"
ln -sfn ../drive_r "$WINEPREFIX/dosdevices/r:"
run() {  # log file, filter, environment...
  local log=$WINEPREFIX/drive_c/$1
  env "${@:3}" wine "$TWG_WINTEST_DIR/twg_wine_tests.exe" --gtest_filter="$2" >"$log" 2>&1 || true
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
}
run cleanup-arrange.log 'CleanupRestart.*' TWG_CLEANUP_ARRANGE=1
locale=()
if ! locale -a 2>/dev/null | grep -qi '^ja_JP.utf-\?8$'; then
  mkdir -p "$WINEPREFIX.locale"
  localedef -i ja_JP -f UTF-8 "$WINEPREFIX.locale/ja_JP.UTF-8" >/dev/null 2>&1 || true
  locale=(LOCPATH="$WINEPREFIX.locale")
fi
run cleanup-cp932.log 'CleanupTest.DoubleByteFolder*' LC_ALL=ja_JP.UTF-8 "${locale[@]}"
rm -rf "$WINEPREFIX.locale"
