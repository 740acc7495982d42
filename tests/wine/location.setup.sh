#!/usr/bin/env bash
# Drives for the install-folder tests, arranged before the test runner starts its wineserver:
#   K: a CD-ROM, L: a floppy, N: a network drive (folders beside the prefix, typed through
#      HKLM\Software\Wine\Drives);
#   S: a 16 MB tmpfs, a fixed drive with less free space than the product needs;
#   R: a read-only bind mount of a folder that holds one file: the folder exists and nobody, root
#      included, can write into it (root passes every permission bit, so modes would prove nothing).
# The two mounts need mount rights; without them S: and R: are missing and their tests say so.
# They live beside the prefix, never inside it (the runner removes the prefix with rm -rf).
set -euo pipefail
prefix=${WINEPREFIX:?}
drives=$prefix.drives
dosdevices=$prefix/dosdevices

release_mounts() {
  for m in "$drives/small" "$drives/readonly"; do
    if mountpoint -q "$m" 2>/dev/null; then umount -l "$m" || true; fi
  done
}
release_mounts
rm -rf "$drives"
mkdir -p "$drives"/{cdrom,floppy,network,small,readonly,readonly.src,locale}
echo "media" >"$drives/cdrom/setup.ini"
echo "kept" >"$drives/readonly.src/existing.txt"

ln -sfn "$drives/cdrom" "$dosdevices/k:"
ln -sfn "$drives/floppy" "$dosdevices/l:"
ln -sfn "$drives/network" "$dosdevices/n:"

mounted=0
if mount -t tmpfs -o size=16m tmpfs "$drives/small" 2>/dev/null; then
  ln -sfn "$drives/small" "$dosdevices/s:"
  mounted=1
fi
if mount --bind "$drives/readonly.src" "$drives/readonly" 2>/dev/null; then
  if mount -o remount,ro,bind "$drives/readonly" 2>/dev/null; then
    ln -sfn "$drives/readonly" "$dosdevices/r:"
    mounted=1
  else
    umount "$drives/readonly" || true
  fi
fi

wine reg add 'HKLM\Software\Wine\Drives' /v 'k:' /d cdrom /f >/dev/null 2>&1
wine reg add 'HKLM\Software\Wine\Drives' /v 'l:' /d floppy /f >/dev/null 2>&1
wine reg add 'HKLM\Software\Wine\Drives' /v 'n:' /d network /f >/dev/null 2>&1
wine reg add 'HKLM\Software\Wine\Drives' /v 's:' /d hd /f >/dev/null 2>&1
wine reg add 'HKLM\Software\Wine\Drives' /v 'r:' /d hd /f >/dev/null 2>&1
# Drive types are read when the wineserver starts.
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true

# Double-byte folders need the system code page 932, which a Wine process takes from the Unix locale it
# starts under (a child started from inside Wine keeps its parent's). So the code-page-932 tests run
# here, in a runner of their own, and the main runner's LocationDbcsRun checks what they wrote. Wine
# needs the Unix locale itself to name files in double-byte characters; a private copy serves where the
# machine has not generated it.
if [ -n "${TWG_WINTEST_DIR:-}" ]; then
  if ! locale -a 2>/dev/null | grep -qi '^ja_JP.utf-\?8$'; then
    localedef -i ja_JP -f UTF-8 "$drives/locale/ja_JP.UTF-8" >/dev/null 2>&1 && export LOCPATH=$drives/locale
  fi
  cp932_log=$prefix/drive_c/location-cp932.log
  status=0
  LC_ALL=ja_JP.UTF-8 wine "$TWG_WINTEST_DIR/twg_wine_tests.exe" \
    --gtest_filter='LocationDbcs.*:LocationCodePage.*' >"$cp932_log" 2>&1 || status=$?
  echo "exit status $status" >>"$cp932_log"
  wineserver -w 2>/dev/null || true
fi

# Unmount and tidy up once the runner has removed the prefix. A prefix kept for inspection keeps its
# drives until the next run of this script.
(
  for _ in $(seq 1 3600); do
    [ -d "$prefix" ] || break
    sleep 2
  done
  [ -d "$prefix" ] && exit 0
  release_mounts
  rm -rf "$drives"
) </dev/null >/dev/null 2>&1 &
disown || true
