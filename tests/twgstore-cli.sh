#!/usr/bin/env bash
# twgstore as a support engineer runs it: the exit statuses of the README's table, decode(encode(x)) == x
# in both file formats and a double-byte code page, and no file of the engineer's damaged by a failed run.
set -uo pipefail
tool=$(realpath "$1")
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir" || exit 1
failures=0
fail() { echo "FAIL $*"; failures=$((failures+1)); }
expect() {  # status words-in-its-errors command...
  local want=$1 words=$2; shift 2
  "$@" >out 2>err; local got=$?
  [ "$got" = "$want" ] || fail "${*#"$tool"}: exit $got, expected $want: $(cat err)"
  [ -z "$words" ] || grep -q -- "$words" err || fail "${*#"$tool"}: no \"$words\" in: $(cat err)"
}
printf '\1\0\0\0\x11\x22\x33\x44\x55\x66\x77\x88\x99\xaa' > SR.dat
printf '\1\0\0\0\x11\x22\x33\x44\x55\x66\x77\x88\x99\xab' > other.dat
printf '\1\0\0\0\x11\x22' > short.dat
# A deletion entry counts as the import leaves it: the value is gone.
printf '%s\r\n' REGEDIT4 '' '[HKEY_LOCAL_MACHINE\SOFTWARE\Veltrane\GRD]' \
  '"InstallDir"="C:\\Program Files\\Taskan Web Guard\\"' '@="default"' '"Level"=dword:00000003' '"Old"=-' \
  '' '[HKEY_LOCAL_MACHINE\SOFTWARE\Veltrane\GRD\Proxy]' '"Blob"=hex:01,02,03' '"List"=hex(7):61,00,62,00,00' \
  '' > plain4.reg
# The same as the registry editor of Windows NT writes it: UTF-16LE, the hex(7) list in UTF-16 too.
sed -e '1s/REGEDIT4/Windows Registry Editor Version 5.00/' -e 's/,62,00,00/,00,00,62,00,00,00,00,00/' \
  plain4.reg | iconv -f utf-8 -t utf-16le | { printf '\xff\xfe'; cat; } > plain5.reg
# Code page 932: a trail byte 0x5C is no separator or escape; a string ending in a lead byte has no quoted
# form, so it must come back in hex form.
printf '%s\r\n' REGEDIT4 '' $'[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane\\GRD\\\x95\x5c]' \
  $'"\x95\x5c\x8e\xa6"="C:\\\\\x95\x5c\\\\"' '"Tail"=hex(1):41,89,00' '' > plain932.reg
for f in plain4 plain5 plain932; do
  cp=; [ $f = plain932 ] && cp="-c 932"
  expect 0 "" "$tool" encode $cp -o $f.sealed SR.dat $f.reg
  expect 0 "" "$tool" verify $cp SR.dat $f.sealed
  expect 0 "" "$tool" decode $cp -o $f.decoded SR.dat $f.sealed
  cmp -s $f.reg $f.decoded || fail "$f: decode(encode(x)) differs: $(cmp $f.reg $f.decoded 2>&1)"
done
grep -a -q 'Proxy' plain4.sealed && fail "a plain key name is left in the sealed export"

# Refusals. An output that is an input is refused whatever name it goes by, and no input changes.
sed 's/^\("[^"]*"=hex:\)\(.\)/\1f/' plain4.sealed > flipped.sealed
printf 'REGEDIT4\r\n\r\n' > header-only.sealed
printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane\\GRD]\r\n"\\\x89"=dword:0\r\n' > lonelead.reg
head -c 200 plain5.sealed > cut.sealed
ln -s plain4.sealed link.sealed
before=$(cat SR.dat plain4.sealed plain4.reg | md5sum)
while IFS='|' read -r want words args; do
  eval "expect \"$want\" \"$words\" \"$tool\" $args"
done <<'CASES'
1|flipped.sealed:[0-9]*: \[HKEY_LOCAL_MACHINE\\\\SOFTWARE\\\\Veltrane\\\\GRD|verify SR.dat flipped.sealed
1|not the SR.dat|verify other.dat plain4.sealed
1|no key lies below|verify SR.dat header-only.sealed
3|SR.dat holds 6 bytes|decode short.dat plain4.sealed
3|cut.sealed:4: |verify SR.dat cut.sealed
3|closing quotation mark|encode -c 932 SR.dat lonelead.reg
2|unsupported code page|verify -c 65001 SR.dat plain4.sealed
2|is the input|decode -o SR.dat SR.dat plain4.sealed
2|is the input|decode -o link.sealed SR.dat plain4.sealed
2|is the input|encode -o ./plain4.reg SR.dat plain4.reg
CASES
[ "$(cat SR.dat plain4.sealed plain4.reg | md5sum)" = "$before" ] || fail "an input was changed"

# A write that fails says so, and leaves the earlier file as it was and no part of the new one.
printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane\\GRD]\r\n"Big"=hex:%s00\r\n' \
  "$(head -c 300000 /dev/zero | tr '\0' 'a' | sed 's/aa/00,/g')" > big.reg
"$tool" encode -o big.sealed SR.dat big.reg
echo "an earlier decode" > kept.reg
expect 4 "" bash -c 'ulimit -f 100; exec "$@"' - "$tool" decode -o kept.reg SR.dat big.sealed
expect 1 "" "$tool" decode -o kept.reg other.dat plain4.sealed
[ "$(cat kept.reg)" = "an earlier decode" ] || fail "the earlier output was damaged"
ls | grep -q 'kept.reg.' && fail "a temporary file was left behind: $(ls)"
expect 4 "" "$tool" decode -o /dev/full SR.dat plain4.sealed
expect 4 "" bash -c 'exec "$@" > /dev/full' - "$tool" verify SR.dat plain4.sealed
echo "$failures failures"
[ $failures = 0 ]
