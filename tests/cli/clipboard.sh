#!/usr/bin/env bash
# Clipboard text between vantrel console and vantrel snap, byte for byte with 8-bit (Latin-1)
# bytes: the console's text lands in snap's --clipboard-out as sent; snap's --clipboard-in
# reaches the console's input log once, without its CRs. A text over the limit is refused.
source "$(dirname "$0")/common.bash"
echo secret | $tool account add "$dir/accounts" operator >/dev/null

from_console=$'caf\xe9 \xff "quoted"\n\ttab\\ end\n'
printf 'na\xefve\r\nsecond\r\n' >"$dir/local"

start_console --listen 127.0.0.1 --port 0 --allow-local --accounts "$dir/accounts" --size 640x480 \
  --input-log "$dir/input.log" --clipboard-text "$from_console"

snap="$tool snap 127.0.0.1:$port --user operator --password secret --out $dir/shot.png"
$snap --clipboard-in - --clipboard-out "$dir/from-console" <"$dir/local" >/dev/null
printf '%s' "$from_console" | cmp - "$dir/from-console" || { echo "snap kept another text"; exit 1; }

expected='{"event":"clipboard","text":"na\u00efve\u000asecond\u000a","length":13}'
for _ in $(seq 100); do
  grep -q '"event":"end"' "$dir/input.log" && break
  sleep 0.05
done
[ "$(grep -c '"event":"clipboard"' "$dir/input.log")" -eq 1 ] && grep -qxF "$expected" "$dir/input.log" ||
  { echo "the console logged another text:"; grep clipboard "$dir/input.log"; exit 1; }

kill -TERM "$pid"
wait "$pid"

# Refused before any connection is tried.
head -c 204801 /dev/zero | tr '\0' x >"$dir/long"
for args in "--clipboard-in $dir/missing" "--clipboard-in $dir" "--clipboard-in" "--clipboard-in $dir/long"; do
  # shellcheck disable=SC2086  # the arguments are meant to split
  expect_rc 1 $snap $args
done
grep -q "longer than 204800 bytes" "$dir/out" || { echo "the long text's refusal does not say why:"; cat "$dir/out"; exit 1; }
echo "clipboard exchange ok"
