#!/usr/bin/env bash
# twgstore as a support engineer runs it: exit codes, one-line messages, decode(encode(x)) == x on
# plain exports in both file formats and a double-byte code page, and no file of the engineer's damaged
# by a run that fails.
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
fail() { echo "FAIL $*"; failures=$((failures+1)); }
printf '\1\0\0\0\x11\x22\x33\x44\x55\x66\x77\x88\x99\xaa' > "$dir/SR.dat"
printf '\1\0\0\0\x11\x22\x33\x44\x55\x66\x77\x88\x99\xab' > "$dir/other.dat"
printf '\1\0\0\0\x11\x22' > "$dir/short.dat"
# A deletion entry counts as the import leaves it: the value is gone.
cat > "$dir/plain4.reg" <<'REG'
REGEDIT4

[HKEY_LOCAL_MACHINE\SOFTWARE\Veltrane\GRD]
"InstallDir"="C:\\Program Files\\Taskan Web Guard\\"
@="default"
"Level"=dword:00000003
"Obsolete"=-

[HKEY_LOCAL_MACHINE\SOFTWARE\Veltrane\GRD\Proxy]
"Blob"=hex:01,02,03
"List"=hex(7):61,00,62,00,00

REG
sed -i 's/$/\r/' "$dir/plain4.reg"
# The same configuration as the registry editor of Windows NT writes it: UTF-16LE, strings of the
# hex(7) list in UTF-16 too.
sed -e '1s/REGEDIT4/Windows Registry Editor Version 5.00/' -e 's/hex(7):61,00,62,00,00/hex(7):61,00,00,00,62,00,00,00,00,00/' \
  "$dir/plain4.reg" | iconv -f utf-8 -t utf-16le | { printf '\xff\xfe'; cat; } > "$dir/plain5.reg"

# Code page 932: a trail byte 0x5C is no separator or escape, and a string ending in a lead byte has no
# quoted form, so it must come back in hex form.
printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane\\GRD\\\x95\x5c]\r\n"\x95\x5c\x8e\xa6"="C:\\\\\x95\x5c\\\\"\r\n"Tail"=hex(1):41,89,00\r\n\r\n' > "$dir/plain932.reg"

for f in plain4 plain5 plain932; do
  cp=; [ $f = plain932 ] && cp="-c 932"
  expect 0 "$f: encode" "$tool" encode $cp -o "$dir/$f.sealed" "$dir/SR.dat" "$dir/$f.reg"
  expect 0 "$f: verify the sealed export" "$tool" verify $cp "$dir/SR.dat" "$dir/$f.sealed"
  expect 0 "$f: decode" "$tool" decode $cp -o "$dir/$f.decoded" "$dir/SR.dat" "$dir/$f.sealed"
  cmp -s "$dir/$f.reg" "$dir/$f.decoded" || fail "$f: decode(encode(x)) differs: $(cmp "$dir/$f.reg" "$dir/$f.decoded" 2>&1)"
done
grep -a -q 'Proxy' "$dir/plain4.sealed" && fail "a plain key name is left in the sealed export"
# A flipped byte in a sealed datum is found with its key path and line; an output that is an input is
# refused, whatever name it goes by, and the input stays as it was.
sed 's/^\("[^"]*"=hex:\)\(.\)/\1f/' "$dir/plain4.sealed" > "$dir/flipped.sealed"
printf 'REGEDIT4\r\n\r\n' > "$dir/header-only.sealed"
printf 'REGEDIT4\r\n\r\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane\\GRD\\Proxy]\r\n\r\n' > "$dir/deletion.reg"
printf '\xef\xbb\xbfREGEDIT4\r\n\r\n' > "$dir/utf8.reg"
printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane\\GRD]\r\n"\\\x89"=dword:0\r\n' > "$dir/lonelead.reg"
head -c 200 "$dir/plain5.sealed" > "$dir/cut.sealed"
ln -s "$dir/plain4.sealed" "$dir/link.sealed"
before=$(cat "$dir/SR.dat" "$dir/other.dat" "$dir/plain4.sealed" "$dir/plain4.reg" | md5sum)
#      status words-in-error          command
while IFS='|' read -r want words args; do
  eval "set -- $args"
  expect "$want" "twgstore $args" "$tool" "$@"
  [ -z "$words" ] || grep -q -- "$words" "$dir/err" || fail "no \"$words\" in: $(cat "$dir/err")"
done <<CASES
1|flipped.sealed:[0-9]*: \[HKEY_LOCAL_MACHINE\\\\SOFTWARE\\\\Veltrane\\\\GRD|verify "$dir/SR.dat" "$dir/flipped.sealed"
1|not the SR.dat|verify "$dir/other.dat" "$dir/plain4.sealed"
3|SR.dat holds 6 bytes|decode "$dir/short.dat" "$dir/plain4.sealed"
3|cut.sealed:4: |verify "$dir/SR.dat" "$dir/cut.sealed"
3|cannot read|verify "$dir/SR.dat" "$dir/none.reg"
3|UTF-8|verify "$dir/SR.dat" "$dir/utf8.reg"
3|closing quotation mark|encode -c 932 "$dir/SR.dat" "$dir/lonelead.reg"
1|no key lies below|verify "$dir/SR.dat" "$dir/header-only.sealed"
1|no key lies below|decode -p 'HKEY_LOCAL_MACHINE\\SOFTWARE\\Other' "$dir/SR.dat" "$dir/plain4.sealed"
2|unsupported code page|verify -c abc "$dir/SR.dat" "$dir/plain4.sealed"
2|unsupported code page|verify -c 65001 "$dir/SR.dat" "$dir/plain4.sealed"
0||encode -o "$dir/deletion.sealed" "$dir/SR.dat" "$dir/deletion.reg"
2|unknown command|frobnicate
2|takes SR.DAT and EXPORT|decode "$dir/SR.dat"
0||--help
2|is the input|decode -o "$dir/plain4.sealed" "$dir/SR.dat" "$dir/plain4.sealed"
2|is the input|decode -o "$dir/SR.dat" "$dir/SR.dat" "$dir/plain4.sealed"
2|is the input|decode -o "$dir/link.sealed" "$dir/SR.dat" "$dir/plain4.sealed"
2|is the input|encode -o "$dir/./plain4.reg" "$dir/SR.dat" "$dir/plain4.reg"
CASES
[ "$(cat "$dir/SR.dat" "$dir/other.dat" "$dir/plain4.sealed" "$dir/plain4.reg" | md5sum)" = "$before" ] ||
  fail "an input was changed"

# A write that fails says so, and leaves the earlier file as it was and no part of the new one.
printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane\\GRD]\r\n"Big"=hex:%s00\r\n' \
  "$(head -c 300000 /dev/zero | tr '\0' 'a' | sed 's/aa/00,/g')" > "$dir/big.reg"
"$tool" encode -o "$dir/big.sealed" "$dir/SR.dat" "$dir/big.reg" 2>/dev/null
echo "an earlier decode" > "$dir/kept.reg"
expect 4 "file-size limit" bash -c 'ulimit -f 100; exec "$@"' - "$tool" decode -o "$dir/kept.reg" "$dir/SR.dat" "$dir/big.sealed"
expect 1 "decode with another SR.dat" "$tool" decode -o "$dir/kept.reg" "$dir/other.dat" "$dir/plain4.sealed"
[ "$(cat "$dir/kept.reg")" = "an earlier decode" ] || fail "the earlier output was damaged"
ls "$dir" | grep -q 'kept.reg.' && fail "a temporary file was left behind: $(ls "$dir")"
if [ -w /dev/full ]; then
  expect 4 "decode -o /dev/full" "$tool" decode -o /dev/full "$dir/SR.dat" "$dir/plain4.sealed"
  expect 4 "verify > /dev/full" bash -c 'exec "$@" > /dev/full' - "$tool" verify "$dir/SR.dat" "$dir/plain4.sealed"
fi
echo "$failures failures"
[ $failures = 0 ]
