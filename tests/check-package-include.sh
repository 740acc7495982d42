#!/usr/bin/env bash
# The package include must declare exactly the actions of resources/exports.list, each entry point must
# be an export of the DLL it names (32-bit: _Name@4, 64-bit with TWGMsI64: Name), and wixl must build a
# package from it in both settings. A package built from a stale include fails only when the action
# runs, so the check reads the CustomAction table wixl wrote, not the XML.
#   check-package-include.sh INCLUDE EXPORTS_LIST DLL32 DLL64
set -euo pipefail
include=$(cd "$(dirname "$1")" && pwd)/$(basename "$1") list=$2 dll32=$3 dll64=$4
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT

actions=$(sed -e 's/#.*//' "$list" | awk 'NF && $2 != "plain" {print $1}' | sort)
exports() { objdump -p "$1" | awk '/\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^[ \t]*\[/{print $NF} t&&/^[ \t]*$/{t=0}' | sort; }

# The smallest product that takes the include; wixl wants the Binary's file beside it.
cat >"$work/product.wxs" <<EOF
<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="*" Name="Include check" Language="1033" Version="1.0.0" Manufacturer="Veltrane"
           UpgradeCode="{5E0B6C1D-2A3F-4B8C-9D7E-1F2A3B4C5D6E}">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"/>
    <?include $(basename "$include")?>
  </Product>
</Wix>
EOF

status=0
check() {  # label, dll, wixl options...
  local label=$1 dll=$2; shift 2
  local dir="$work/$label"; mkdir -p "$dir"; cp "$dll" "$dir/TWGMsI.dll"
  if ! (cd "$dir" && wixl -I "$(dirname "$include")" "$@" -o package.msi "$work/product.wxs" >wixl.log 2>&1); then
    echo "$label: wixl cannot build a package with the include:"; sed 's/^/  /' "$dir/wixl.log"; status=1; return
  fi
  # Source must be the Binary row, type 1 (DLL from the Binary table) plus option bits only.
  local rows; rows=$(msiinfo export "$dir/package.msi" CustomAction | tr -d '\r' | tail -n +4)
  local bad; bad=$(awk -F'\t' '$3 != "TWGMsI" || $2 % 16 != 1 {print "  " $1 ": type " $2 ", source " $3}' <<<"$rows")
  [ -z "$bad" ] || { echo "$label: actions not run from the DLL in the Binary table:"; echo "$bad"; status=1; }
  local declared; declared=$(cut -f1 <<<"$rows" | sort)
  if [ "$declared" != "$actions" ]; then
    echo "$label: declared actions differ from the export list (< not declared, > not an action):"
    diff <(echo "$actions") <(echo "$declared") | grep '^[<>]' || true; status=1
  fi
  local missing; missing=$(comm -23 <(cut -f4 <<<"$rows" | sort) <(exports "$dll"))
  if [ -n "$missing" ]; then
    echo "$label: entry points the DLL does not export:"; sed 's/^/  /' <<<"$missing"; status=1
  fi
  [ "$status" -ne 0 ] || echo "$label: $(wc -l <<<"$rows") actions, each an export of $(basename "$(dirname "$dll")")/TWGMsI.dll"
}
check 32-bit "$dll32"
check 64-bit "$dll64" -a x64 -D TWGMsI64=1
exit $status
