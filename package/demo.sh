#!/usr/bin/env bash
# The demo: builds the consumer and the corporate package from package/demo.wxs (which takes every
# action from package/TWGMsI.wxi), installs each silently with a real msiexec under Wine in a private
# prefix of its own, shows what each action did (action results and properties from the verbose log,
# registry values, files, TWGLog.txt), removes the product again, and ends with one line per edition.
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
rm -rf "$out"; mkdir -p "$out"
# Hooks (package/demo-setup-*.sh) add their files to a package's stage and arrange the prefix; they
# learn the edition from TWG_DEMO_EDITION.
export TWG_DEMO_STANDINS=$wintest
hooks() { for hook in "$src"/package/demo-setup*.sh; do if [ -x "$hook" ]; then "$hook" "$@"; fi; done; }

# The editions: wixl's switch, and the failures their stand-ins are told to produce (action=why).
edition_switch() { [ "$1" = corporate ] && echo "-D TWGCorporate=1" || true; }
expected_failures() {
  [ "$1" = consumer ] && echo "TVSUninstallFailed=the stand-in companion is left installed on purpose, so its removal counts as failed" || true
}

build_package() {  # edition dir
  mkdir -p "$2/stage"
  cp "$dll" "$2/stage/TWGMsI.dll"
  echo "Taskan Web Guard demo" >"$2/stage/readme.txt"
  printf '%s\n' 'id:name:class:rev:priority:action:ref:products' '1203:Port scan:x:y:HIGH:x:y:TWG,VXF' \
    '1204:Ping sweep:x:y:low:x:y:TWG' '1300:Mail worm:x:y:medium:x:y:VXF' >"$2/stage/sigs.cnf"
  hooks stage "$2/stage"
  # shellcheck disable=SC2046
  (cd "$2/stage" && wixl -a x64 -D TWGMsI64=1 $(edition_switch "$1") -I "$src/package" -o ../demo.msi \
    "$src/package/demo.wxs" 2>../wixl.log) || { cat "$2/wixl.log"; return 1; }
  for table in "$src"/package/*.idt; do msibuild "$2/demo.msi" -i "$table"; done
}

declared_actions() { msiinfo export "$1" CustomAction | tr -d '\r' | tail -n +4 | cut -f1; }
library_actions() { msiinfo export "$1" CustomAction | tr -d '\r' | tail -n +4 | awk -F'\t' '$2 % 64 == 1 {print $1}'; }
# Every custom action the logs say ended, as "name: success" or "name: FAILED", in the order they ran.
# Wine's log gives 1 for success and 0 for a failure (Windows: 3).
actions_run() {  # msi log...
  local msi=$1; shift
  cat "$@" | grep -a -E '^Action ended .*: [A-Za-z0-9_]+\. Return value' | sed -E 's/^Action ended [0-9:]+: //' \
    | grep -E "^($(declared_actions "$msi" | paste -sd'|'))\." \
    | sed -E 's/\. Return value 1\./: success/; s/\. Return value [0-9]+\./: FAILED/' || true
}

# A failure a stand-in was told to cause is named as such.
annotate() {
  local line why
  while IFS= read -r line; do
    why=$(sed -n "s/^${line%%:*}=//p" <<<"$expected")
    if [ -n "$why" ] && [ "${line#*: }" = FAILED ]; then line="$line (expected: $why)"; fi
    echo "  $line"
  done
}

show() {  # log title
  local log=$1
  echo "== $2: custom actions"
  actions_run "$msi" "$log" | annotate
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
  while read -r kind link; do
    [ "$kind" = shortcut ] || continue
    echo "== $2: shortcut $link (read through the shell's link object)"
    wine "$wintest/shell_link.exe" show "$link" 2>/dev/null | tr -d '\r' | sed -e 's/^/    /' || echo "    (no shortcut)"
  done < <(sed -e 's/#.*//' "$src/package/demo-show.txt")
  echo "== $2: TWGLog.txt"
  find "$WINEPREFIX/drive_c" -name TWGLog.txt -exec sed -e 's/\r$//' -e 's/^/  /' {} \; 2>/dev/null | tail -n 20
}

show_store() {
  local product="$WINEPREFIX/drive_c/Program Files/Taskan Web Guard"
  echo "== $1: protected store, stored form (reg query HKLM\\SOFTWARE\\Veltrane\\GRD /s)"
  wine reg query 'HKLM\SOFTWARE\Veltrane\GRD' /s 2>/dev/null | tr -d '\r' | sed -e '/^$/d' -e 's/^/    /' | cut -c1-110 || echo "    (no key)"
  echo "== $1: protected store, read back through the access layer"
  local dump="$dir/store-$1.txt"
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

msiexec_run() {  # log title msiexec-arguments...
  local log=$1 title=$2; shift 2
  local status=0
  wine msiexec "$@" /qn /l*v "$(winpath "$log")" || status=$?
  # Wine hands on only the low 8 bits of the exit code: 1603 arrives as 67.
  echo "msiexec exit status: $status$([ "$status" != 67 ] || echo " (1603)")"
  return $status
}

# One edition from package to removal.
run_edition() {
  edition=$1 dir=$out/$1 msi=$out/$1/demo.msi expected=$(expected_failures "$1")
  export TWG_DEMO_EDITION=$edition WINEPREFIX=$dir/prefix
  # The stand-ins left running end with the prefix's wineserver, also when a step fails.
  trap 'wineserver -k 2>/dev/null || true' EXIT
  build_package "$edition" "$dir"
  echo "##### $edition edition: $(msiinfo export "$msi" Property | tr -d '\r' | sed -n 's/^ProductName\t//p')"
  cp -a "$template" "$WINEPREFIX"
  mkdir -p "$WINEPREFIX/drive_c/TWGDemo"
  # The user in front of the silent install: every message box is answered with its safe button.
  wine "$wintest/box_answerer.exe" 'C:\TWGDemo\boxes.txt' >/dev/null 2>&1 &
  # A pending restart left by the corporate edition, so that the reboot check has something to find.
  wine reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce' /v VXFNeedsReboot /d "" /f >/dev/null 2>&1
  hooks prefix

  echo "### install: msiexec /i demo.msi DEMOCHOICE=\"chosen at install\" /qn"
  msiexec_run "$dir/install.log" install /i "$(winpath "$msi")" DEMOCHOICE="chosen at install" || true
  show "$dir/install.log" install
  echo "== install: companion setup (TWGInstallTVS), what the installer was told (verbose log; Wine's"
  echo "   log leaves out progress messages: the stand-in sent the percentages 25, 60, 100)"
  sed -n '/Action start [0-9:]*: TWGInstallTVS\./,/Action ended [0-9:]*: TWGInstallTVS\./p' "$dir/install.log" \
    | sed -e 's/\r$//' -e 's/^/  /'
  echo "== install: companion setup, its command line and the response file it got (the stand-in was told"
  echo "   to end with $(sed -n 's/^exit //p' "$dir/TVSNT/tvs_script.txt"))"
  sed -e 's/\r$//' -e 's/^/  /' "$dir/TVSNT/cmdline.txt" 2>/dev/null && echo || echo "  (not run)"
  sed -e 's/\r$//' -e 's/^/  | /' "$dir/TVSNT/response.iss" 2>/dev/null || echo "  (no response file)"

  . "$src/package/demo-cleanup.sh"
  cleanup_arrange
  hooks removal
  if [ -n "$expected" ]; then
    echo
    echo "### remove, stopped as expected: msiexec /x demo.msi /qn"
    msiexec_run "$dir/uninstall-stopped.log" remove /x "$(winpath "$msi")" || true
    echo "== remove (stopped): custom actions"
    actions_run "$msi" "$dir/uninstall-stopped.log" | annotate
    hooks retry
  fi
  echo
  echo "### remove: msiexec /x demo.msi /qn"
  # A restart marker for the removal to notice.
  wine reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce' /v VXFDeleteMe /d "" /f >/dev/null 2>&1
  msiexec_run "$dir/uninstall.log" remove /x "$(winpath "$msi")" || true
  show "$dir/uninstall.log" remove
  cleanup_show
}

# One line: how many actions ran and failed over all of the edition's msiexec runs, which sequenced
# actions the machine's conditions never reached, and what the edition showed.
summarize() {  # edition
  local edition=$1 dir=$out/$1 msi=$out/$1/demo.msi expected ran failed sequenced
  expected=$(expected_failures "$1")
  ran=$(actions_run "$msi" "$dir"/*.log | sed 's/: .*//' | sort -u | comm -12 - <(library_actions "$msi" | sort))
  failed=$(actions_run "$msi" "$dir"/*.log | sed -n 's/: FAILED$//p' | sort -u)
  sequenced=$(msiinfo export "$msi" InstallExecuteSequence | tr -d '\r' | tail -n +4 | cut -f1 | sort)
  local unexpected="" named="" f
  for f in $failed; do
    if grep -q "^$f=" <<<"$expected"; then named+=" $f"; else unexpected+=" $f"; fi
  done
  local unreached; unreached=$(comm -12 <(library_actions "$msi" | sort) <(echo "$sequenced") | comm -23 - <(echo "$ran"))
  local channels boxes store
  channels=$(grep -a -c -E '^    RegisterProduct ' "$dir/output.txt" || true)
  boxes=$(grep -a -c -E '^    [^|]+ \| ' "$dir/output.txt" || true)
  store=$(grep -a -o -E '[0-9]+ of [0-9]+ sealed items verify' "$dir/output.txt" | head -n 1 || true)
  printf '%s: %d actions ran, %d failed%s%s; not reached on this machine: %s; showed: store %s, %d update channels registered, %d message boxes answered\n' \
    "$edition" "$(grep -c . <<<"$ran")" "$(wc -w <<<"$unexpected")" \
    "$([ -z "$unexpected" ] || echo " (UNEXPECTED:$unexpected)")" \
    "$([ -z "$named" ] || echo ", failed as the stand-ins were told:$named")" \
    "$(echo $unreached)" "${store:-not sealed}" "$channels" "$boxes"
}

# The editions run side by side, each in its own prefix with its own wineserver.
pids=()
for edition in consumer corporate; do
  mkdir -p "$out/$edition"
  run_edition "$edition" >"$out/$edition/output.txt" 2>&1 &
  pids+=($!)
done
status=0
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
for edition in consumer corporate; do cat "$out/$edition/output.txt"; echo; done
echo "### summary"
for edition in consumer corporate; do summarize "$edition"; done
echo "logs: $out/*/install.log $out/*/uninstall.log"
exit $status
