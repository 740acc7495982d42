#!/usr/bin/env bash
# The README's action reference must list every export of resources/exports.list exactly once, each
# row with all its cells filled and linked to the source file that defines the export.
#   check-action-reference.sh README EXPORTS_LIST
set -uo pipefail
readme=$1 list=$2 root=$(cd "$(dirname "$1")" && pwd)
rows=$(awk '/^### Action reference/ {on = 1; next} on && /^##? / {on = 0} on && /^\| \[`/' "$readme")
status=0
listed=$(sed -n -E 's/^\| \[`([A-Za-z0-9_]+)`\].*/\1/p' <<<"$rows" | sort)
exports=$(sed -e 's/#.*//' "$list" | awk 'NF {print $1}' | sort)
twice=$(uniq -d <<<"$listed")
[ -z "$twice" ] || { echo "listed more than once: $(echo $twice)"; status=1; }
if [ "$(uniq <<<"$listed")" != "$exports" ]; then
  echo "the reference and the export list differ (< not in the reference, > not an export):"
  diff <(echo "$exports") <(uniq <<<"$listed") | grep '^[<>]'; status=1
fi
while IFS= read -r row; do
  name=$(sed -E 's/^\| \[`([A-Za-z0-9_]+)`\].*/\1/' <<<"$row")
  file=$(sed -E 's/^\| \[`[A-Za-z0-9_]+`\]\(([^)]*)\).*/\1/' <<<"$row")
  grep -q -E "(__stdcall|__cdecl)[^(]*\b$name\(" "$root/$file" 2>/dev/null ||
    { echo "$name: not defined in $file"; status=1; }
  awk -F' \\| ' '{exit !(NF == 6)}' <<<"${row%|}" && ! grep -q -E '\|\s*\|' <<<"$row" ||
    { echo "$name: a row needs six filled cells"; status=1; }
done <<<"$rows"
[ $status -ne 0 ] || echo "action reference: $(wc -l <<<"$listed") rows, one per export, each defined where it links"
exit $status
