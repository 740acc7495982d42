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
template=${TWG_WINE_TEMPLATE:-$build/native/wine/template}
"$src/scripts/wine-prefix.sh" "$template" >/dev/null

# Package: wixl builds the tables it knows, msibuild adds the library's own table.
rm -rf "$out"; mkdir -p "$out/stage"
cp "$dll" "$out/stage/TWGMsI.dll"
echo "Taskan Web Guard demo" > "$out/stage/readme.txt"
(cd "$out/stage" && wixl -a x64 -o ../demo.msi "$src/package/demo.wxs" 2>/dev/null)
for table in "$src"/package/*.idt; do msibuild "$out/demo.msi" -i "$table"; done

export WINEPREFIX=$out/prefix
cp -a "$template" "$WINEPREFIX"
# A pending restart left by the corporate edition, so that the reboot check has something to find.
wine reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce' /v VXFNeedsReboot /d "" /f >/dev/null 2>&1
[ -x "$src/package/demo-setup.sh" ] && "$src/package/demo-setup.sh"

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
  echo "== $2: TWGLog.txt"
  find "$WINEPREFIX/drive_c" -name TWGLog.txt -exec sed -e 's/\r$//' -e 's/^/  /' {} \; 2>/dev/null | tail -n 20
}

echo "### install: msiexec /i demo.msi DEMOCHOICE=\"chosen at install\" /qn"
status=0
wine msiexec /i "$(winpath "$out/demo.msi")" DEMOCHOICE="chosen at install" /qn /l*v "$(winpath "$out/install.log")" || status=$?
echo "msiexec exit status: $status"
show "$out/install.log" install

echo
echo "### remove: msiexec /x demo.msi /qn"
# A restart marker for the removal to notice.
wine reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce' /v VXFDeleteMe /d "" /f >/dev/null 2>&1
status=0
wine msiexec /x "$(winpath "$out/demo.msi")" /qn /l*v "$(winpath "$out/uninstall.log")" || status=$?
echo "msiexec exit status: $status"
show "$out/uninstall.log" remove
wineserver -k 2>/dev/null || true
echo
echo "logs: $out/install.log $out/uninstall.log"
