#!/usr/bin/env bash
# The demo: builds a package with wixl that runs the library's actions, installs it silently with a
# real msiexec under Wine in a private prefix, shows what each action did (action results and
# properties from the verbose log, registry values, TWGLog.txt), and removes the product again.
#   package/demo.sh [OUTDIR]      (default build/demo; set TWG_DEMO_NO_BUILD=1 to skip set-up and build)
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=${TWG_BUILD:-$src/build}
out=${1:-$build/demo}
if [ -z "${TWG_DEMO_NO_BUILD:-}" ]; then
  "$src/scripts/bootstrap.sh"
  "$src/scripts/build.sh"
fi
. "$src/scripts/wine-env.sh"
dll=${TWG_WIN64_DIR:-$build/win64}/TWGMsI.dll
wintest=${TWG_WINTEST_DIR:-$build/wintest}
native=${TWG_NATIVE_DIR:-$build/native}
template=${TWG_WINE_TEMPLATE:-$build/native/wine/template}
"$src/scripts/wine-prefix.sh" "$template" >/dev/null

# Package: wixl builds the tables it knows, msibuild adds the library's own table.
rm -rf "$out"; mkdir -p "$out/stage"
cp "$dll" "$out/stage/TWGMsI.dll"
echo "Taskan Web Guard demo" > "$out/stage/readme.txt"
# Hooks (package/demo-setup*.sh) add their files to the stage, and later arrange the prefix.
export TWG_DEMO_STANDINS=$wintest
for hook in "$src"/package/demo-setup*.sh; do if [ -x "$hook" ]; then "$hook" stage "$out/stage"; fi; done
(cd "$out/stage" && wixl -a x64 -o ../demo.msi "$src/package/demo.wxs" 2>/dev/null)
for table in "$src"/package/*.idt; do msibuild "$out/demo.msi" -i "$table"; done

export WINEPREFIX=$out/prefix
cp -a "$template" "$WINEPREFIX"
# A pending restart left by the corporate edition, so that the reboot check has something to find.
wine reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce' /v VXFNeedsReboot /d "" /f >/dev/null 2>&1
for hook in "$src"/package/demo-setup*.sh; do if [ -x "$hook" ]; then "$hook" prefix; fi; done
# The companion product's setup on the media: the stand-in, which keeps the response file it was given.
mkdir -p "$out/TVSNT"
cp "$wintest/tvs_setup.exe" "$out/TVSNT/setup.exe"
cp "$wintest/tvs_setup_window.exe" "$out/TVSNT/"
printf '%s\n' "text Copying files" "percent 25" "text Registering" "percent 60" "percent 100" "exit 0" \
  > "$out/TVSNT/tvs_script.txt"

show() {  # log title
  local log=$1
  echo "== $2: custom actions"
  grep -a -E '^Action ended .*: [A-Za-z0-9_]+\. Return value' "$log" \
    | sed -E 's/^Action ended [0-9:]+: //' \
    | grep -E "^($(grep -o 'CustomAction Id="[^"]*"' "$src/package/demo.wxs" | cut -d'"' -f2 | paste -sd'|'))\." \
    | sed -E 's/\. Return value 1\./: success/; s/\. Return value 3\./: FAILED/; s/^/  /' || true
  echo "== $2: properties"
  while read -r kind name; do
    [ "$kind" = property ] || continue
    value=$(grep -a -E "^Property\(S\): $name = " "$log" | tail -n 1 | sed -E "s/^Property\(S\): $name = //" || true)
    printf '  %-28s %s\n' "$name" "${value:-(not set)}"
  done < <(sed -e 's/#.*//' "$src/package/demo-show.txt")
  echo "== $2: registry"
  while read -r kind key; do
    [ "$kind" = registry ] || continue
    echo "  HKLM\\$key"
    wine reg query "HKLM\\$key" /s 2>/dev/null | tr -d '\r' | sed -e '/^$/d' -e 's/^/    /' || echo "    (no key)"
  done < <(sed -e 's/#.*//' "$src/package/demo-show.txt")
  if grep -q -E '^store$' "$src/package/demo-show.txt"; then show_store "$2"; fi
  while read -r kind file; do
    [ "$kind" = file ] || continue
    echo "== $2: $file (then emptied)"
    if [ -f "$WINEPREFIX/drive_c/$file" ]; then
      sed -e 's/\r$//' -e 's/^/    /' "$WINEPREFIX/drive_c/$file"; rm -f "$WINEPREFIX/drive_c/$file"
    else
      echo "    (no file)"
    fi
  done < <(sed -e 's/#.*//' "$src/package/demo-show.txt")
  echo "== $2: TWGLog.txt"
  find "$WINEPREFIX/drive_c" -name TWGLog.txt -exec sed -e 's/\r$//' -e 's/^/  /' {} \; 2>/dev/null | tail -n 20
}

show_store() {
  local product="$WINEPREFIX/drive_c/Program Files/Taskan Web Guard"
  echo "== $1: protected store, stored form (reg query HKLM\\SOFTWARE\\Veltrane\\GRD /s)"
  wine reg query 'HKLM\SOFTWARE\Veltrane\GRD' /s 2>/dev/null | tr -d '\r' | sed -e '/^$/d' -e 's/^/    /' | cut -c1-110 || echo "    (no key)"
  echo "== $1: protected store, read back through the access layer"
  local dump="$out/store-$1.txt"
  if wine "$wintest/twg_store_probe.exe" dump 'SOFTWARE\Veltrane\GRD' "$(winpath "$dump")" 2>/dev/null; then
    sed -e 's/^/    /' "$dump" | cut -c1-110
  else
    echo "    (not readable)"
  fi
  echo "== $1: LMSSIB.DAT decoded offline (twgstore decode SR.dat LMSSIB.DAT)"
  if [ -f "$product/LMSSIB.DAT" ]; then
    "$native/twgstore" decode "$WINEPREFIX/drive_c/windows/system32/SR.dat" "$product/LMSSIB.DAT" \
      | iconv -f utf-16 -t utf-8 | tr -d '\r' | sed -e '/^$/d' -e 's/^/    /'
    "$native/twgstore" verify "$WINEPREFIX/drive_c/windows/system32/SR.dat" "$product/LMSSIB.DAT" 2>&1 | sed -e 's|^.*LMSSIB.DAT|    LMSSIB.DAT|'
  else
    echo "    (no backup)"
  fi
}

echo "### install: msiexec /i demo.msi DEMOCHOICE=\"chosen at install\" /qn"
status=0
wine msiexec /i "$(winpath "$out/demo.msi")" DEMOCHOICE="chosen at install" /qn /l*v "$(winpath "$out/install.log")" || status=$?
echo "msiexec exit status: $status"
show "$out/install.log" install
echo "== install: companion setup (TWGInstallTVS), what the installer was told (verbose log; Wine's"
echo "   log leaves out progress messages: the stand-in sent the percentages 25, 60, 100)"
sed -n '/Action start [0-9:]*: TWGInstallTVS\./,/Action ended [0-9:]*: TWGInstallTVS\./p' "$out/install.log" \
  | sed -e 's/\r$//' -e 's/^/  /'
echo "== install: companion setup, its command line and the response file it got"
sed -e 's/\r$//' -e 's/^/  /' "$out/TVSNT/cmdline.txt" 2>/dev/null; echo
sed -e 's/\r$//' -e 's/^/  | /' "$out/TVSNT/response.iss" 2>/dev/null || echo "  (no response file)"

. "$src/package/demo-cleanup.sh"
cleanup_arrange

echo
echo "### remove: msiexec /x demo.msi /qn"
# A restart marker for the removal to notice.
wine reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce' /v VXFDeleteMe /d "" /f >/dev/null 2>&1
status=0
wine msiexec /x "$(winpath "$out/demo.msi")" /qn /l*v "$(winpath "$out/uninstall.log")" || status=$?
echo "msiexec exit status: $status"
show "$out/uninstall.log" remove
cleanup_show
wineserver -k 2>/dev/null || true
echo
echo "logs: $out/install.log $out/uninstall.log"
