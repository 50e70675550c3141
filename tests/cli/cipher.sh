#!/usr/bin/env bash
# vantrel cipher: a 24-byte user field goes out enciphered and comes back unchanged;
# short input is padded to whole blocks; bad input is refused with exit code 1.
source "$(dirname "$0")/common.bash"
user=$(printf 'operator' | od -An -tx1 | tr -d ' \n')$(printf '00%.0s' $(seq 16))

sent=$($tool cipher scramble "$user")
[ ${#sent} -eq 48 ] || { echo "enciphered block has ${#sent} hex digits"; exit 1; }
[ "$sent" != "$user" ] || { echo "scramble changed nothing"; exit 1; }
back=$($tool cipher unscramble "$sent")
[ "$back" = "$user" ] || { echo "round trip gave $back"; exit 1; }

short=$($tool cipher scramble 41)
[ ${#short} -eq 16 ] || { echo "one byte gave ${#short} hex digits"; exit 1; }
[ "$($tool cipher unscramble "$short")" = "4100000000000000" ] || { echo "padding lost"; exit 1; }

for bad in "" "abc" "zz"; do expect_rc 1 "$tool" cipher scramble "$bad"; done
grep -q "'zz' holds characters that are not hex digits" "$dir/out" || { echo "zz: $(cat "$dir/out")"; exit 1; }
expect_rc 1 "$tool" cipher scramble abc
grep -q "'abc' has an odd number of hex digits" "$dir/out" || { echo "abc: $(cat "$dir/out")"; exit 1; }
echo "cipher command ok"
