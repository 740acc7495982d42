#!/usr/bin/env bash
# The demo as a test, per edition: the install and the final removal succeed; every library action
# the package sequences ran, except those package/demo-expect.txt names as not reached on that
# edition's machine (which then must not have run); no action failed except where a stand-in was told
# to make it fail; both packages pass package/check-msi.sh; together the two editions ran every action
# of resources/exports.list; and the output shows what package/demo-expect.txt lists.
set -uo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
out=$1
output=$(TWG_DEMO_NO_BUILD=1 "$src/package/demo.sh" "$out" 2>&1)
status=$?
echo "$output"
failures=0
fail() { echo "demo check: $*"; failures=$((failures + 1)); }
[ $status = 0 ] || fail "demo.sh exited with $status"
expect=$(sed -e '/^#/d' -e '/^$/d' "$src/package/demo-expect.txt")

ran_anywhere=""
for edition in consumer corporate; do
  msi=$out/$edition/demo.msi
  section=$(awk -v e="##### $edition edition" 'index($0, e) == 1 {on = 1; print; next} /^(##### |### summary)/ {on = 0} on' <<<"$output")
  [ -n "$section" ] || { fail "$edition: no output"; continue; }
  "$src/package/check-msi.sh" "$msi" | sed "s/^/$edition: /" || fail "$edition: the package does not validate"
  # The install and the last removal; a removal a stand-in stopped on purpose comes in between.
  statuses=$(grep -E '^msiexec exit status: ' <<<"$section" | sed 's/^msiexec exit status: //')
  [ "$(head -n 1 <<<"$statuses")" = 0 ] && [ "$(tail -n 1 <<<"$statuses")" = 0 ] ||
    fail "$edition: msiexec exit statuses $(echo $statuses), not 0 for the install and the removal"
  bad=$(grep -E ': FAILED$' <<<"$section") && fail "$edition: actions failed without a stand-in being told to:
$bad"
  library=$(msiinfo export "$msi" CustomAction | tr -d '\r' | tail -n +4 | awk -F'\t' '$2 % 64 == 1 {print $1}' | sort)
  sequenced=$(msiinfo export "$msi" InstallExecuteSequence | tr -d '\r' | tail -n +4 | cut -f1 | sort | comm -12 - <(echo "$library"))
  ran=$(sed -n -E 's/^  ([A-Za-z0-9_]+): (success|FAILED \(expected: .*\))$/\1/p' <<<"$section" | sort -u)
  unreached=$(sed -n "s/^unreached $edition //p" <<<"$expect" | tr ' ' '\n' | sed '/^$/d' | sort)
  missing=$(comm -23 <(echo "$sequenced") <(echo "$ran") | comm -23 - <(echo "$unreached"))
  [ -z "$missing" ] || fail "$edition: sequenced but never ran: $(echo $missing)"
  reached=$(comm -12 <(echo "$unreached") <(echo "$ran"))
  [ -z "$reached" ] || fail "$edition: ran although this machine should not reach them: $(echo $reached)"
  ran_anywhere+=$'\n'$ran
  while IFS= read -r pattern; do
    grep -q -E -- "$pattern" <<<"$section" || fail "$edition: missing in the output: $pattern"
  done < <(sed -n "s/^$edition: //p" <<<"$expect")
done

exports=$(sed -e 's/#.*//' "$src/resources/exports.list" | awk 'NF && $2 != "plain" {print $1}' | sort)
never=$(comm -23 <(echo "$exports") <(sort -u <<<"$ran_anywhere"))
[ -z "$never" ] || fail "actions that ran in neither edition: $(echo $never)"
while IFS= read -r pattern; do
  grep -q -E -- "$pattern" <<<"$output" || fail "missing in the output: $pattern"
done < <(grep -v -E '^(unreached |consumer: |corporate: )' <<<"$expect")
[ $failures = 0 ] || exit 1
echo "demo check: passed ($(wc -l <<<"$exports") actions ran across both editions)"
