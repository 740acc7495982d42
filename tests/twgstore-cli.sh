#!/usr/bin/env bash
# twgstore as a support engineer runs it: exit codes, one-line messages, and decode(encode(x)) == x on
# a plain export in both file formats.
set -uo pipefail
tool=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failures=0
expect() {  # expected-status description command...
  local want=$1 what=$2; shift 2
  "$@" >"$dir/out" 2>"$dir/err"; local got=$?
  if [ "$got" != "$want" ]; then
    echo "FAIL $what: exit $got, expected $want"; sed 's/^/  /' "$dir/err"; failures=$((failures+1))
  else
    echo "ok   $what"
  fi
}
printf '\1\0\0\0\x11\x22\x33\x44\x55\x66\x77\x88\x99\xaa' > "$dir/SR.dat"
printf '\1\0\0\0\x11\x22\x33\x44\x55\x66\x77\x88\x99\xab' > "$dir/other.dat"
printf '\1\0\0\0\x11\x22' > "$dir/short.dat"
cat > "$dir/plain4.reg" <<'REG'
REGEDIT4

[HKEY_LOCAL_MACHINE\SOFTWARE\Veltrane\GRD]
"InstallDir"="C:\\Program Files\\Taskan Web Guard\\"
@="default"
"Level"=dword:00000003

[HKEY_LOCAL_MACHINE\SOFTWARE\Veltrane\GRD\Proxy]
"Blob"=hex:01,02,03
"List"=hex(7):61,00,62,00,00

REG
sed -i 's/$/\r/' "$dir/plain4.reg"
# The same configuration as the registry editor of Windows NT writes it: UTF-16LE, strings of the
# hex(7) list in UTF-16 too.
sed -e '1s/REGEDIT4/Windows Registry Editor Version 5.00/' -e 's/hex(7):61,00,62,00,00/hex(7):61,00,00,00,62,00,00,00,00,00/' \
  "$dir/plain4.reg" | iconv -f utf-8 -t utf-16le | { printf '\xff\xfe'; cat; } > "$dir/plain5.reg"

for f in plain4 plain5; do
  expect 0 "$f: encode" "$tool" encode -o "$dir/$f.sealed" "$dir/SR.dat" "$dir/$f.reg"
  expect 0 "$f: verify the sealed export" "$tool" verify "$dir/SR.dat" "$dir/$f.sealed"
  expect 0 "$f: decode" "$tool" decode -o "$dir/$f.decoded" "$dir/SR.dat" "$dir/$f.sealed"
  if cmp -s "$dir/$f.reg" "$dir/$f.decoded"; then echo "ok   $f: decode(encode(x)) == x"; else
    echo "FAIL $f: decode(encode(x)) differs"; diff <(iconv -f utf-16 -t utf-8 "$dir/$f.decoded" 2>/dev/null || cat "$dir/$f.decoded") \
      <(iconv -f utf-16 -t utf-8 "$dir/$f.reg" 2>/dev/null || cat "$dir/$f.reg") | head; failures=$((failures+1)); fi
done
if grep -a -q 'Proxy' "$dir/plain4.sealed"; then echo "FAIL a plain key name is left in the sealed export"; failures=$((failures+1)); fi
# A flipped byte in a sealed datum is found, with its key path and line.
sed 's/^\("[^"]*"=hex:\)\(.\)/\1f/' "$dir/plain4.sealed" > "$dir/flipped.sealed"
expect 1 "verify finds a flipped byte" "$tool" verify "$dir/SR.dat" "$dir/flipped.sealed"
grep -q 'flipped.sealed:[0-9]*: \[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane\\GRD' "$dir/err" || { echo "FAIL no key path and line in: $(cat "$dir/err")"; failures=$((failures+1)); }
expect 1 "another SR.dat verifies nothing" "$tool" verify "$dir/other.dat" "$dir/plain4.sealed"
grep -q 'not the SR.dat' "$dir/err" || { echo "FAIL no word on the wrong SR.dat"; failures=$((failures+1)); }
expect 3 "short SR.dat" "$tool" decode "$dir/short.dat" "$dir/plain4.sealed"
head -c 200 "$dir/plain5.sealed" > "$dir/cut.sealed"
expect 3 "truncated export" "$tool" verify "$dir/SR.dat" "$dir/cut.sealed"
expect 3 "missing file" "$tool" verify "$dir/SR.dat" "$dir/none.reg"
expect 2 "unknown command" "$tool" frobnicate
expect 2 "missing argument" "$tool" decode "$dir/SR.dat"
expect 0 "help" "$tool" --help
echo "$failures failures"
[ $failures = 0 ]
