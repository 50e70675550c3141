#!/usr/bin/env bash
# vantrel console: refuses bad arguments (1), a busy port or a foreign address (3, saying which),
# an unreadable account file (4) and an X display it cannot open (5);
# warns at start about account lines and allow-list entries it will not read as written and about
# a loopback address that refuses everyone, with syslog priorities in systemd's journal; answers
# the LAN probe of vantrel discover on loopback; SIGINT and SIGTERM end it with 0.
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
# shellcheck disable=SC2086
start_console $a --port 0 --probe --probe-port $probe_port --allow-file "$dir/allow"
grep -q "line 3: '127.0.0.0/8'" "$dir/log" || { echo "no warning for line 3:"; cat "$dir/log"; exit 1; }
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
JOURNAL_STREAM=$(stat -c %d:%i "$dir/log") start_console $a --port 0
grep -q "^<6>listening on 127.0.0.1:$port$" "$dir/log" && grep -q "^<4>warning: .*every viewer will be refused" "$dir/log" ||
  { echo "no journal lines:"; cat "$dir/log"; exit 1; }
# shellcheck disable=SC2086
JOURNAL_STREAM=$(stat -c %d:%i "$dir/out") expect_rc 3 $tool console $a --port "$port"
grep -q "^<3>vantrel console: cannot listen" "$dir/out" || { echo "no journal error:"; cat "$dir/out"; exit 1; }
kill -TERM "$pid"
rc=0
wait "$pid" || rc=$?
[ $rc -eq 0 ] || { echo "SIGTERM gave exit code $rc"; cat "$dir/log"; exit 1; }
echo "console command ok"
