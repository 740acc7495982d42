#!/usr/bin/env bash
# Drives for the install-folder tests, arranged before the test runner starts its wineserver: K: a CD-ROM
# and N: a network drive (folders typed through HKLM\Software\Wine\Drives); S: a 16 MB tmpfs, a fixed
# drive with less free space than the product needs; R: a read-only bind mount, which nobody can write
# into (root passes every permission bit, so modes would prove nothing). The mounts need mount rights;
# without them S: and R: are missing and their tests say so. All live beside the prefix, never inside it
# (the runner removes the prefix with rm -rf).
set -euo pipefail
prefix=${WINEPREFIX:?}
drives=$prefix.drives

release_mounts() {
  for m in "$drives/small" "$drives/readonly"; do
    if mountpoint -q "$m" 2>/dev/null; then umount -l "$m" || true; fi
  done
}
release_mounts
rm -rf "$drives"
mkdir -p "$drives"/{cdrom,network,small,readonly,readonly.src}

map() {  # letter folder type
  ln -sfn "$drives/$2" "$prefix/dosdevices/$1:"
  wine reg add 'HKLM\Software\Wine\Drives' /v "$1:" /d "$3" /f >/dev/null 2>&1
}
map k cdrom cdrom
map n network network
if mount -t tmpfs -o size=16m tmpfs "$drives/small" 2>/dev/null; then map s small hd; fi
if mount --bind "$drives/readonly.src" "$drives/readonly" 2>/dev/null &&
  mount -o remount,ro,bind "$drives/readonly" 2>/dev/null; then
  map r readonly hd
fi
# Drive types are read when the wineserver starts.
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true

# Unmount and tidy up once the runner has removed the prefix; a prefix kept for inspection keeps its
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
