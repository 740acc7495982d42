#!/usr/bin/env bash
# The shipping DLL may import only functions that Windows 95 and NT 4.0 both export: anything newer is
# looked up at run time. The reviewed list is tests/imports.allowed (dll!function, one per line); a new
# import fails this check until someone has confirmed it exists on both systems and added it.
set -euo pipefail
dll=$1 allowed=$2
got=$(objdump -p "$dll" | awk '
  /DLL Name:/ {dll=tolower($3); next}
  /^[ \t]*$/ {next}
  dll && /^[ \t]+[0-9a-f]+[ \t]+[0-9]+[ \t]+[^ \t]+$/ {print dll "!" $3}' | sort -u)
want=$(sed -e 's/#.*//' -e 's/[[:space:]]//g' "$allowed" | grep -v '^$' | sort -u)
extra=$(comm -23 <(echo "$got") <(echo "$want"))
if [ -n "$extra" ]; then
  echo "imports not on the reviewed list (check Windows 95 and NT 4.0, then add to $allowed):"
  echo "$extra"
  exit 1
fi
echo "$(echo "$got" | wc -l) imports, all on the reviewed list"
