#!/usr/bin/env bash
# vantrel's command line: --help for the tool and every command, --version, --opt=value, options
# from --config FILE, and wrong arguments named in words with exit code 1.
source "$(dirname "$0")/common.bash"

# expect CODE PATTERN ARGS...: the exit code, and a line of the output (both streams) matching.
expect() {
  local want=$1 pattern=$2
  shift 2
  expect_rc "$want" "$@"
  grep -Eq -- "$pattern" "$dir/out" || { echo "'$*' printed no line matching '$pattern':"; cat "$dir/out"; exit 1; }
}

expect 0 '^vantrel [0-9]+\.[0-9]+\.[0-9]+$' "$tool" --version
expect 0 '^  4  no answer within the time-out' "$tool" --help
for command in cipher discover codec "account add" "account list" console snap view web; do
  # shellcheck disable=SC2086  # "account add" is two words
  expect 0 "^Usage: vantrel $command " "$tool" $command --help
done
expect 0 '^Usage: vantrel snap ' "$tool" snap -h
expect 0 'Only enabled admin accounts can log in' "$tool" account add --help

expect 1 '^vantrel: a command is required: cipher, discover, codec, account, console, snap, view, web$' "$tool"
expect 1 '^vantrel account: a command is required: add, passwd, remove, list$' "$tool" account
expect 1 "^vantrel console: unknown option '--bogus'" "$tool" console --accounts x --bogus
expect 1 "^vantrel console: unknown option '--acounts'" "$tool" console --acounts x
expect 1 "^vantrel: unknown command 'frobnicate'" "$tool" frobnicate
expect 1 '--port: Value 70000 not in range' "$tool" console --accounts x --port=70000
expect 1 '--timeout: Value 0 not in range' "$tool" snap h --user u --out o.png --timeout 0
# --opt=value reaches the command: the output directory is checked before anything else.
expect 1 "cannot write in '$dir/missing'" "$tool" snap 127.0.0.1:9 --user=u --password-file="$dir/pw" \
  --out="$dir/missing/shot.png"
# A password file that gives none says why.
mkdir "$dir/pwdir"
: >"$dir/empty"
for pw in "$dir/nothing:No such file" "$dir/pwdir:Is a directory" "$dir/empty:it is empty"; do
  expect 1 "cannot read a password from '${pw%%:*}': ${pw#*:}" "$tool" snap 127.0.0.1:9 --user u --out "$dir/a.png" \
    --password-file "${pw%%:*}"
done
expect 5 "display '57' \(an X display is named with a colon: --source x11::57" "$tool" console --pam x --listen 127.0.0.1 --source x11:57
# --config FILE: options a line, the command line winning; flags and lists too.
printf '# snap\nuser = u\npassword-file = %s\nout = %s # a comment\nstats = true\n' "$dir/pw" "$dir/missing/a.png" >"$dir/snap.conf"
expect 1 "cannot write in '$dir/missing'" "$tool" snap 127.0.0.1:9 --config "$dir/snap.conf"
expect 1 "cannot write in '$dir/other'" "$tool" snap 127.0.0.1:9 --config "$dir/snap.conf" --out "$dir/other/b.png"
printf 'source = ["%s", "%s"]\npam=login\nlisten = 127.0.0.1\n' "$dir/a.png" "$dir/b.png" >"$dir/console.conf"
expect 1 "cannot load $dir/a.png" "$tool" console --config "$dir/console.conf"
printf 'colour = red\n' >"$dir/bad.conf"
expect 1 "^vantrel view: --config $dir/bad.conf: 'colour' is not an option of 'vantrel view'" "$tool" view h --config "$dir/bad.conf"
expect 1 "^vantrel codec: --config $dir/none: cannot read it" "$tool" codec encode a b --config "$dir/none"
# The gateway: no console, a bad entry, clear HTTP off loopback, two ways to trust consoles, a page
# folder without the page.
expect 1 '^vantrel web: --console is required' "$tool" web
expect 1 "^vantrel web: 'lab' is not NAME=HOST" "$tool" web --console lab
expect 1 "^vantrel web: --tls-fingerprint names 'lba'" "$tool" web --console lab=h --tls-fingerprint lba=SHA256:x
expect 1 '^vantrel web: clear HTTP on 0.0.0.0 would carry every password' "$tool" web --console lab=h --listen 0.0.0.0 \
  --clear-http
expect 1 '^vantrel web: --tls-ca and the known consoles' "$tool" web --console lab=h --tls-ca "$dir/pw" --accept-new
expect 1 "^vantrel web: no index.html in the page folder '$dir'" "$tool" web --console lab=h --page-dir "$dir"
echo "usage ok"
