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
# Each row: name, linked file, and whether its six cells are all filled.
cells=$(awk -F' [|] ' '{
  name = $1; sub(/^[|] \[`/, "", name); file = name; sub(/`.*/, "", name)
  sub(/^[^(]*\(/, "", file); sub(/\).*/, "", file)
  sub(/ [|]$/, "", $NF); filled = NF == 6
  for (i = 2; i <= NF; i++) if ($i ~ /^ *$/) filled = 0
  print name "\t" file "\t" filled}' <<<"$rows")
unfilled=$(awk -F'\t' '$3 != 1 {print $1}' <<<"$cells")
[ -z "$unfilled" ] || { echo "rows without six filled cells: $(echo $unfilled)"; status=1; }
# What each linked file defines as an export (standard-call or caller-cleans function).
defined=$(cut -f2 <<<"$cells" | sort -u | while read -r file; do
  grep -o -E '(__stdcall|__cdecl) +[A-Za-z0-9_]+\(' "$root/$file" 2>/dev/null | sed -E "s|.* ([A-Za-z0-9_]+)\(|$file\t\1|"
done)
misplaced=$(awk -F'\t' 'FILENAME == ARGV[1] {d[$1 "\t" $2] = 1; next} !(($2 "\t" $1) in d) {print $1 " (" $2 ")"}' \
  <(echo "$defined") <(echo "$cells"))
[ -z "$misplaced" ] || { echo "not defined in the file they link to: $misplaced"; status=1; }
[ $status -ne 0 ] || echo "action reference: $(wc -l <<<"$listed") rows, one per export, each defined where it links"
exit $status
