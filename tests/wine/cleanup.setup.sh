#!/usr/bin/env bash
# Two runners before the main one, each ended with its wineserver:
#  - the first schedules a downloaded tree for deletion in each family's way (pending renames,
#    WININIT.INI); the next wineserver starts as a restarted Windows does and carries the schedule out,
#    and CleanupRestart in the main runner checks that the files are gone;
#  - the second runs under code page 932 (a Wine process takes it from the Unix locale it starts under,
#    and needs that locale to name files in double-byte characters; a private copy serves where the
#    machine has not generated it) and writes its result for CleanupTest.DoubleByteRunnerPassed.
set -euo pipefail
[ -n "${TWG_WINTEST_DIR:-}" ] || exit 0
run() {  # log file, filter, environment...
  local log=$WINEPREFIX/drive_c/$1 filter=$2 status=0
  shift 2
  env "$@" wine "$TWG_WINTEST_DIR/twg_wine_tests.exe" --gtest_filter="$filter" >"$log" 2>&1 || status=$?
  echo "exit status $status" >>"$log"
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
}
run cleanup-arrange.log 'CleanupRestart.*' TWG_CLEANUP_ARRANGE=1

locale_dir=$WINEPREFIX.locale
locale=()
if ! locale -a 2>/dev/null | grep -qi '^ja_JP.utf-\?8$'; then
  mkdir -p "$locale_dir"
  localedef -i ja_JP -f UTF-8 "$locale_dir/ja_JP.UTF-8" >/dev/null 2>&1 || true
  locale=(LOCPATH="$locale_dir")
fi
run cleanup-cp932.log 'CleanupTest.DoubleByteFolder*' LC_ALL=ja_JP.UTF-8 "${locale[@]}"
rm -rf "$locale_dir"
