#!/usr/bin/env bash
# Clipboard text between vantrel console and vantrel snap, byte for byte with 8-bit (Latin-1)
# bytes: the console's text lands in snap's --clipboard-out as sent; snap's --clipboard-in
# reaches the console's input log once, without its CRs. A text over the limit is refused.
set -euo pipefail
tool=$1
dir=$(mktemp -d)
pid=""
cleanup() {
  [ -z "$pid" ] || kill -9 "$pid" 2>/dev/null || true
  rm -rf "$dir"
}
trap cleanup EXIT
echo secret | $tool account add "$dir/accounts" operator

from_console=$'caf\xe9 \xff "quoted"\n\ttab\\ end\n'
printf 'na\xefve\r\nsecond\r\n' >"$dir/local"

"$tool" console --listen 127.0.0.1 --port 0 --allow-local --accounts "$dir/accounts" --size 640x480 \
  --input-log "$dir/input.log" --clipboard-text "$from_console" >"$dir/console.out" 2>&1 &
pid=$!
port=""
for _ in $(seq 100); do
  port=$(sed -n 's/.*listening on [0-9.]*:\([0-9]*\).*/\1/p' "$dir/console.out")
  [ -n "$port" ] && break
  sleep 0.05
done
[ -n "$port" ] || { echo "the console did not start:"; cat "$dir/console.out"; exit 1; }

snap="$tool snap 127.0.0.1:$port --user operator --password secret --out $dir/shot.png"
$snap --clipboard-in - --clipboard-out "$dir/from-console" <"$dir/local" >/dev/null
printf '%s' "$from_console" | cmp - "$dir/from-console" || { echo "snap kept another text"; exit 1; }

expected='{"event":"clipboard","text":"na\u00efve\u000asecond\u000a"}'
for _ in $(seq 100); do
  grep -q '"event":"end"' "$dir/input.log" && break
  sleep 0.05
done
[ "$(grep -c '"event":"clipboard"' "$dir/input.log")" -eq 1 ] && grep -qxF "$expected" "$dir/input.log" ||
  { echo "the console logged another text:"; grep clipboard "$dir/input.log"; exit 1; }

kill -TERM "$pid"
wait "$pid"
pid=""

# Refused before any connection is tried.
head -c 204801 /dev/zero | tr '\0' x >"$dir/long"
for args in "--clipboard-in $dir/missing" "--clipboard-in $dir" "--clipboard-in" "--clipboard-in $dir/long"; do
  rc=0
  # shellcheck disable=SC2086  # the arguments are meant to split
  $snap $args >"$dir/out" 2>&1 || rc=$?
  [ $rc -eq 1 ] || { echo "'$args' gave exit code $rc:"; cat "$dir/out"; exit 1; }
done
grep -q "longer than 204800 bytes" "$dir/out" || { echo "the long text's refusal does not say why:"; cat "$dir/out"; exit 1; }
echo "clipboard exchange ok"
