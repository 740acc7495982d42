#!/usr/bin/env bash
# Both DLLs must export exactly DllMain plus the names of resources/exports.list: the 32-bit one under
# the decorated names the package's CustomAction table uses (_Name@4), the 64-bit one under plain names.
# Names marked "plain" there are C functions for other programs, plain in both tables.
# The 32-bit calling conventions are checked in the code itself: a standard-call export returns with
# "ret $N" (it removes its own N bytes of arguments), a plain C export with a bare "ret" (its caller
# does). A C function under a decorated name, or the other way round, corrupts the caller's stack.
set -euo pipefail
dll32=$1 dll64=$2 list=$3
entries=$(sed -e 's/#.*//' "$list" | awk 'NF')
actions=$(awk '$2!="plain"{print $1}' <<<"$entries" | sort)
plain=$(awk '$2=="plain"{print $1}' <<<"$entries" | sort)
exports() { objdump -p "$1" | awk '/\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^[ \t]*\[/{print $NF} t&&/^[ \t]*$/{t=0}' | sort; }
want32=$( { echo DllMain; echo "$plain"; awk 'NF{print "_"$0"@4"}' <<<"$actions"; } | awk 'NF' | sort)
want64=$( { echo DllMain; echo "$plain"; echo "$actions"; } | awk 'NF' | sort)
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

# Each 32-bit export's address, then the operand of the first "ret" at or after it in the code.
base=$(objdump -p "$dll32" | awk '$1=="ImageBase"{print $2}')
objdump -p "$dll32" | awk -v base="$base" '
  /Export Address Table -- Ordinal Base/{rva=1;next}
  rva&&/Export RVA/{gsub(/[][]/," "); addr[$1]=$4; next}
  rva{rva=0}
  /\[Ordinal\/Name Pointer\] Table/{names=1;next}
  names&&/^[ \t]*\[/{gsub(/[][]/," "); print addr[$1], $2; next}
  names{names=0}' \
  | while read -r rva name; do printf '%x %s\n' $((0x$base + 0x$rva)) "$name"; done | sort >"${TMPDIR:-/tmp}/exports32.$$"
returns=$(objdump -d --no-show-raw-insn "$dll32" | awk -v starts="${TMPDIR:-/tmp}/exports32.$$" '
  BEGIN { while ((getline line < starts) > 0) { split(line, f, " "); n++; at[n] = f[1]; name[n] = f[2] }; next_ = 1 }
  /^ *[0-9a-f]+:\t/ {
    a = $1; sub(":", "", a); a = sprintf("%16s", a)
    while (next_ <= n && sprintf("%16s", at[next_]) <= a) open_[next_++] = 1
    if ($2 ~ /^rep/) { $2 = $3; $3 = $4 }  # "repz ret" is a bare return too
    if ($2 ~ /^ret/) { for (i in open_) print name[i], ($3 == "" ? "-" : $3); delete open_ }
  }' | sort)
rm -f "${TMPDIR:-/tmp}/exports32.$$"
convention_errors=$(awk -v plain="$(echo $plain)" '
  BEGIN { split(plain, p, " "); for (i in p) isplain[p[i]] = 1 }
  { want = "" }
  $1 == "DllMain" { want = "$0xc" }
  isplain[$1] { want = "-" }
  match($1, /@[0-9]+$/) { want = sprintf("$0x%x", substr($1, RSTART + 1)) }
  want != "" && $2 != want { print "  " $1 ": returns with \"ret " ($2 == "-" ? "" : $2) "\", expected \"ret " (want == "-" ? "" : want) "\"" }
  { seen[$1] = 1 }
  END { for (name in isplain) if (!seen[name]) print "  " name ": no return found" }' <<<"$returns")
if [ -n "$convention_errors" ]; then
  echo "32-bit $dll32: calling conventions differ:"
  echo "$convention_errors"
  status=1
else
  echo "32-bit $dll32: $(wc -l <<<"$returns") exports return as their convention requires ($(echo $plain) caller-cleans)"
fi
exit $status
