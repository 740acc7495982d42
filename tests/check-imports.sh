#!/usr/bin/env bash
# The shipping DLL may import only functions that Windows 95 and NT 4.0 both export: anything newer is
# looked up at run time. The reviewed list is tests/imports.allowed (dll!function, one per line); a new
# import fails this check until someone has confirmed it exists on both systems and added it.
# Windows 9x has most wide-character functions of kernel32, user32 and advapi32 only as stubs that fail
# with error 120, so such an import must also say on its own line, after a #, why no code path of
# Windows 9x reaches it.
set -euo pipefail
dll=$1 allowed=$2
got=$(objdump -p "$dll" | awk '
  /DLL Name:/ {dll=tolower($3); next}
  /^[ \t]*$/ {next}
  dll && /^[ \t]+[0-9a-f]+[ \t]+[0-9]+[ \t]+[^ \t]+$/ {print dll "!" $3}' | sort -u)
want=$(sed -e 's/#.*//' -e 's/[[:space:]]//g' "$allowed" | grep -v '^$' | sort -u)
status=0
extra=$(comm -23 <(echo "$got") <(echo "$want"))
if [ -n "$extra" ]; then
  echo "imports not on the reviewed list (check Windows 95 and NT 4.0, then add to $allowed):"
  echo "$extra"
  status=1
fi
wide=$(grep -E '^(kernel32|user32|advapi32)\.dll![A-Za-z0-9_]*[a-z0-9]W$' <<< "$got" || true)
unreasoned=$(for f in $wide; do grep -qE "^[[:space:]]*${f//./\\.}[[:space:]]*#[[:space:]]*[^[:space:]]" "$allowed" || echo "$f"; done)
if [ -n "$unreasoned" ]; then
  echo "wide-character imports without a reason why Windows 9x never reaches them (its stubs fail with"
  echo "error 120); use the A function, or add the reason after the entry in $allowed:"
  echo "$unreasoned"
  status=1
fi
[ $status -eq 0 ] && echo "$(echo "$got" | wc -l) imports, all on the reviewed list"
exit $status
