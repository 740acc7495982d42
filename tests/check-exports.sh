#!/usr/bin/env bash
# Both DLLs must export exactly DllMain plus the actions of resources/exports.list: the 32-bit one under
# the decorated names the package's CustomAction table uses (_Name@4), the 64-bit one under plain names.
set -euo pipefail
dll32=$1 dll64=$2 list=$3
expected=$(sed -e 's/#.*//' -e 's/[[:space:]]//g' "$list" | grep -v '^$' | sort)
exports() { objdump -p "$1" | awk '/\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^[ \t]*\[/{print $NF} t&&/^[ \t]*$/{t=0}' | sort; }
want32=$( { echo DllMain; echo "$expected" | awk '$0=="MoveStartMenuItems"{print;next}{print "_"$0"@4"}'; } | sort)
want64=$( { echo DllMain; echo "$expected"; } | sort)
status=0
check() {  # label, dll, wanted
  local got; got=$(exports "$2")
  if [ "$got" != "$3" ]; then
    echo "$1: export table differs from the list (< missing, > unexpected):"
    diff <(echo "$3") <(echo "$got") | grep '^[<>]' || true
    status=1
  else
    echo "$1: $(echo "$got" | wc -l) exports as listed"
  fi
}
check "32-bit $dll32" "$dll32" "$want32"
check "64-bit $dll64" "$dll64" "$want64"
exit $status
