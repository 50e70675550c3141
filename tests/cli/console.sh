#!/usr/bin/env bash
# vantrel console: refuses bad arguments (1), a busy port or a foreign address (3, saying which),
# an unreadable account file (4), an X display it cannot open (5), and Unix passwords on a clear
# network port unless told; warns at start about account lines and allow-list entries it will not
# read as written, about a loopback address that refuses everyone, about passwords on a clear
# network port and about an input log that others may read (a new one is 0600), with syslog
# priorities in systemd's journal; answers the LAN probe of vantrel discover on loopback; SIGINT,
# SIGTERM and SIGHUP end it with 0 (SIGHUP not under nohup).
source "$(dirname "$0")/common.bash"
echo secret | $tool account add "$dir/accounts" admin >/dev/null

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
printf 'broken line\n' >>"$dir/accounts"
start_console --accounts "$dir/accounts" --listen "$own" --port 0 --probe --probe-port $probe_port
grep -q "listening on $own:" "$dir/log" || { echo "the console does not say it listens on $own:"; cat "$dir/log"; exit 1; }
grep -q "account file $dir/accounts line 2: not NAME:HASH:ROLE" "$dir/log" ||
  { echo "no warning for the account file's line 2:"; cat "$dir/log"; exit 1; }
names=$($tool discover --to "$own" --port $probe_port)
[ -n "$names" ] || { echo "the console did not answer the probe"; exit 1; }
# A second console on a busy port says why and leaves the first one's log alone.
expect_rc 3 $tool console --accounts "$dir/accounts" --listen "$own" --port "$port"
grep -q "port $port: the port is in use$" "$dir/out" || { echo "no reason for a busy port:"; cat "$dir/out"; exit 1; }
expect_rc 3 $tool console --accounts "$dir/accounts" --listen 192.0.2.1 --port 0
grep -q ": the address is not one of this machine's$" "$dir/out" || { echo "no reason for a foreign address:"; cat "$dir/out"; exit 1; }
sleep 0.2
! grep -q " from " "$dir/log" || { echo "the second console reached the first:"; cat "$dir/log"; exit 1; }

# The allow list's last line counts without a line break; comments and blanks are no entries; a
# line it cannot read is named.
printf '# office\n10.0.0.1  # printer\n127.0.0.0/8\n 127.0.0.1' >"$dir/allow"
probe_port=$(( 26000 + RANDOM % 2000 ))
: >"$dir/shared.log"
chmod 644 "$dir/shared.log"
# shellcheck disable=SC2086
start_console $a --port 0 --probe --probe-port $probe_port --allow-file "$dir/allow" --input-log "$dir/shared.log"
grep -q "line 3: '127.0.0.0/8'" "$dir/log" || { echo "no warning for line 3:"; cat "$dir/log"; exit 1; }
grep -q "input log '$dir/shared.log'.*(mode 0644): chmod 600" "$dir/log" || { echo "no warning for the input log:"; cat "$dir/log"; exit 1; }
! grep -q "allow list .* line [124]" "$dir/log" || { echo "a warning for a good line:"; cat "$dir/log"; exit 1; }
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

# In systemd's journal the lines carry their priority instead of the time.
: >"$dir/log"
# shellcheck disable=SC2086
JOURNAL_STREAM=$(stat -c %d:%i "$dir/log") start_console $a --port 0 --input-log "$dir/new.log"
grep -q "^<6>listening on 127.0.0.1:$port$" "$dir/log" && grep -q "^<4>warning: .*every viewer will be refused" "$dir/log" ||
  { echo "no journal lines:"; cat "$dir/log"; exit 1; }
[ "$(stat -c %a "$dir/new.log")" = 600 ] || { echo "a new input log is not 0600:"; ls -l "$dir/new.log"; exit 1; }
# shellcheck disable=SC2086
JOURNAL_STREAM=$(stat -c %d:%i "$dir/out") expect_rc 3 $tool console $a --port "$port"
grep -q "^<3>vantrel console: cannot listen" "$dir/out" || { echo "no journal error:"; cat "$dir/out"; exit 1; }
kill -TERM "$pid"
rc=0
wait "$pid" || rc=$?
[ $rc -eq 0 ] || { echo "SIGTERM gave exit code $rc"; cat "$dir/log"; exit 1; }

launcher=(nohup)
# shellcheck disable=SC2086
start_console $a --port 0
kill -HUP "$pid"
sleep 0.5
kill -0 "$pid" 2>/dev/null || { echo "a console under nohup ended on SIGHUP"; cat "$dir/log"; exit 1; }
launcher=()
kill -TERM "$pid"
wait "$pid" || true
# shellcheck disable=SC2086
start_console $a --port 0
kill -HUP "$pid"
rc=0
wait "$pid" || rc=$?
[ $rc -eq 0 ] || { echo "SIGHUP gave exit code $rc"; cat "$dir/log"; exit 1; }
grep -q "stopped" "$dir/log" || { echo "SIGHUP did not stop the console in order:"; cat "$dir/log"; exit 1; }
echo "console command ok"
