#!/usr/bin/env bash
# The demo as a test: both msiexec runs succeed, every custom action of the package ran at least once
# and none failed, and the output shows what package/demo-expect.txt lists.
set -uo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
out=$1
output=$(TWG_DEMO_NO_BUILD=1 "$src/package/demo.sh" "$out" 2>&1)
status=$?
echo "$output"
fail() { echo "demo check: $*"; exit 1; }
[ $status = 0 ] || fail "demo.sh exited with $status"
[ "$(grep -c '^msiexec exit status: 0$' <<<"$output")" = 2 ] || fail "an msiexec run failed"
grep -q ': FAILED$' <<<"$output" && fail "a custom action failed"
for action in $(grep -o 'CustomAction Id="[^"]*"' "$src/package/demo.wxs" | cut -d'"' -f2); do
  grep -q -E "^  $action: success$" <<<"$output" || fail "custom action $action did not run"
done
while IFS= read -r pattern; do
  [ -n "$pattern" ] || continue
  grep -q -E -- "$pattern" <<<"$output" || fail "missing in the output: $pattern"
done < <(sed -e '/^#/d' "$src/package/demo-expect.txt")
echo "demo check: passed"
