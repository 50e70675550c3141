#!/usr/bin/env bash
# vantrel console: refuses bad arguments (1), a busy port (3) and an unreadable account file (4);
# answers the LAN probe of vantrel discover on loopback; SIGINT and SIGTERM end it with 0.
set -euo pipefail
tool=$1
dir=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null || true; done
  rm -rf "$dir"
}
trap cleanup EXIT
echo secret | $tool account add "$dir/accounts" admin

expect_rc() {
  local want=$1; shift
  local rc=0
  "$@" >"$dir/out" 2>&1 </dev/null || rc=$?
  [ $rc -eq "$want" ] || { echo "'$*' gave exit code $rc, expected $want:"; cat "$dir/out"; exit 1; }
}
a="--accounts $dir/accounts --listen 127.0.0.1"
# shellcheck disable=SC2086  # the options are meant to split
{
  expect_rc 1 $tool console
  expect_rc 1 $tool console $a --port 70000
  expect_rc 1 $tool console $a --size 1280x1024
  expect_rc 1 $tool console $a --listen 10.1.2.3
  expect_rc 1 $tool console $a --colour red
  expect_rc 1 $tool console $a --source "$dir/accounts"
  expect_rc 1 $tool console $a --source
  head -c 3000 /dev/zero | tr '\0' ';' >"$dir/long-allow"
  expect_rc 1 $tool console $a --allow-file "$dir/long-allow"
  expect_rc 4 $tool console --accounts "$dir/missing" --listen 127.0.0.1
}
grep -q "missing" "$dir/out" || { echo "the account error does not name the file"; exit 1; }

# Starts a console in the background and waits for its "listening on" line; sets $pid and $port.
start_console() {
  "$tool" console "$@" >"$dir/log" 2>&1 &
  pid=$!
  pids+=("$pid")
  for _ in $(seq 100); do
    port=$(sed -n 's/.*listening on [0-9.]*:\([0-9]*\).*/\1/p' "$dir/log")
    [ -n "$port" ] && return 0
    sleep 0.05
  done
  echo "the console did not start:"; cat "$dir/log"; exit 1
}

probe_port=$(( 26000 + RANDOM % 2000 ))
# shellcheck disable=SC2086
start_console $a --port 0 --probe --probe-port $probe_port
names=$($tool discover --to 127.0.0.1 --port $probe_port)
[ -n "$names" ] || { echo "the console did not answer the probe"; exit 1; }
# shellcheck disable=SC2086
expect_rc 3 $tool console $a --port "$port"

kill -INT "$pid"
rc=0
wait "$pid" || rc=$?
[ $rc -eq 0 ] || { echo "SIGINT gave exit code $rc"; cat "$dir/log"; exit 1; }

# shellcheck disable=SC2086
start_console $a --port 0
kill -TERM "$pid"
rc=0
wait "$pid" || rc=$?
[ $rc -eq 0 ] || { echo "SIGTERM gave exit code $rc"; cat "$dir/log"; exit 1; }
echo "console command ok"
