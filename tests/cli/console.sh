#!/usr/bin/env bash
# vantrel console: refuses bad arguments (1), a busy port (3), an unreadable account file (4) and
# an X display it cannot open (5), and Unix passwords on a clear network port unless told;
# warns at start about allow-list entries it will not read as written, about a loopback
# address that refuses everyone and about passwords on a clear network port; answers the LAN
# probe of vantrel discover on loopback; SIGINT and SIGTERM end it with 0.
source "$(dirname "$0")/common.bash"
echo secret | $tool account add "$dir/accounts" admin

a="--accounts $dir/accounts --listen 127.0.0.1"
# shellcheck disable=SC2086  # the options are meant to split
{
  expect_rc 1 $tool console
  expect_rc 1 $tool console $a --port 70000
  expect_rc 1 $tool console $a --size 1280x1024
  expect_rc 1 $tool console $a --listen 10.1.2
  expect_rc 1 $tool console $a --colour red
  expect_rc 1 $tool console $a --source "$dir/accounts"
  expect_rc 1 $tool console $a --source
  expect_rc 1 $tool console $a --idle-limit 0
  expect_rc 5 $tool console $a --source x11:no-such-display
  head -c 3000 /dev/zero | tr '\0' ';' >"$dir/long-allow"
  expect_rc 1 $tool console $a --allow-file "$dir/long-allow"
  expect_rc 4 $tool console --accounts "$dir/missing" --listen 127.0.0.1
  grep -q "missing" "$dir/out" || { echo "the account error does not name the file"; exit 1; }
  # A directory opens like a file and reads as nothing; it must not start a console that
  # refuses everybody.
  expect_rc 4 timeout 5 $tool console --accounts "$dir/" --listen 127.0.0.1
}

# expect_said PATTERN: a line of the last command's output matches.
expect_said() {
  grep -Eq -- "$1" "$dir/out" || { echo "no line matching '$1':"; cat "$dir/out"; exit 1; }
}
# Unix passwords reach no network port without TLS unless the option that names the risk is given.
# Every address is this test's own network namespace, which has nothing but loopback.
isolated="unshare --map-root-user --net"
# shellcheck disable=SC2086
{
  expect_rc 1 $isolated $tool console --pam login --listen 0.0.0.0 --port 0
  expect_said 'Unix passwords would cross the network .* add --allow-clear-passwords$'
  expect_rc 1 $isolated $tool console --pam login --listen 0.0.0.0 --port 0 --tls --clear-port 0
  expect_rc 1 $tool console $a --clear-port 0
  expect_said 'clear-port goes with --tls'
  expect_rc 1 $tool console $a --tls-key "$dir/accounts"
  expect_rc 1 $tool console $a --tls --port 25100 --clear-port 25100
  expect_rc 1 $tool console $a --tls-cert "$dir/accounts"
  expect_said "no usable private key in '$dir/accounts'"
  # Started, it says what a clear port exposes; on loopback, or with TLS alone, nothing.
  for args in "--pam login --allow-clear-passwords" "--accounts $dir/accounts"; do
    expect_rc 124 $isolated timeout 2 $tool console $args --listen 0.0.0.0 --port 0 --state-dir "$dir/state"
    expect_said 'warning: .*passwords reach port [1-9][0-9]* without TLS, where anyone on the path can read and replay them'
  done
  expect_rc 124 $isolated timeout 2 $tool console --accounts "$dir/accounts" --listen 0.0.0.0 --port 0 --tls \
    --state-dir "$dir/state"
  ! grep -q 'warning' "$dir/out" || { echo "a warning with TLS alone:"; cat "$dir/out"; exit 1; }
  expect_said 'TLS key SHA256:[A-Za-z0-9+/]{43} \(kept in .*/state/console.pem\)'
}

# A loopback address of its own, as a console on the fixed port needs beside others.
own=127.83.$(( RANDOM % 250 + 1 )).$(( RANDOM % 250 + 1 ))
probe_port=$(( 26000 + RANDOM % 2000 ))
start_console --accounts "$dir/accounts" --listen "$own" --port 0 --probe --probe-port $probe_port
grep -q "listening on $own:" "$dir/log" || { echo "the console does not say it listens on $own:"; cat "$dir/log"; exit 1; }
names=$($tool discover --to "$own" --port $probe_port)
[ -n "$names" ] || { echo "the console did not answer the probe"; exit 1; }
expect_rc 3 $tool console --accounts "$dir/accounts" --listen "$own" --port "$port"

# The allow list's last line counts without a line break; a line it cannot read is named.
printf '10.0.0.1\n127.0.0.0/8\n127.0.0.1' >"$dir/allow"
probe_port=$(( 26000 + RANDOM % 2000 ))
# shellcheck disable=SC2086
start_console $a --port 0 --probe --probe-port $probe_port --allow-file "$dir/allow"
grep -q "line 2: '127.0.0.0/8'" "$dir/log" || { echo "no warning for line 2:"; cat "$dir/log"; exit 1; }
! grep -q "line [13]" "$dir/log" || { echo "a warning for a good line:"; cat "$dir/log"; exit 1; }
names=$($tool discover --to 127.0.0.1 --port $probe_port)
[[ $names == *$'\t127.0.0.1' ]] || { echo "the console did not answer the probe: $names"; exit 1; }

# A console that cannot start leaves an earlier input log as it was.
printf 'earlier session\n' >"$dir/input.log"
# shellcheck disable=SC2086
expect_rc 3 $tool console $a --port "$port" --input-log "$dir/input.log"
[ "$(cat "$dir/input.log")" = "earlier session" ] || { echo "the input log was changed"; exit 1; }

kill -INT "$pid"
rc=0
wait "$pid" || rc=$?
[ $rc -eq 0 ] || { echo "SIGINT gave exit code $rc"; cat "$dir/log"; exit 1; }

# shellcheck disable=SC2086
start_console $a --port 0
grep -q "every viewer will be refused" "$dir/log" || { echo "no warning for a loopback console"; exit 1; }
kill -TERM "$pid"
rc=0
wait "$pid" || rc=$?
[ $rc -eq 0 ] || { echo "SIGTERM gave exit code $rc"; cat "$dir/log"; exit 1; }
echo "console command ok"
