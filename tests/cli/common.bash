# Sourced by the command-line checks, with the tool as $1: sets $tool and a scratch folder $dir,
# both removed at the exit with every console start_console started.
set -euo pipefail
tool=$1
dir=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null || true; done
  rm -rf "$dir"
}
trap cleanup EXIT

# expect_rc CODE COMMAND...: the command's exit code, with its output (both streams) in $dir/out
# and its input from /dev/null.
expect_rc() {
  local want=$1 rc=0
  shift
  "$@" >"$dir/out" 2>&1 </dev/null || rc=$?
  [ $rc -eq "$want" ] || { echo "'$*' gave exit code $rc, expected $want:"; cat "$dir/out"; exit 1; }
}

# start_console ARGS...: vantrel console in the background, its output in $dir/log; sets $pid and
# $port once it says where it listens. With $launcher set (nohup, say), through that command.
launcher=()
start_console() {
  : >"$dir/log"  # the last console's port must not be read as this one's
  "${launcher[@]}" "$tool" console "$@" >"$dir/log" 2>&1 &
  pid=$!
  pids+=("$pid")
  for _ in $(seq 100); do
    port=$(sed -n 's/.*listening on [0-9.]*:\([0-9]*\).*/\1/p' "$dir/log")
    [ -n "$port" ] && return 0
    sleep 0.05
  done
  echo "the console did not start:"; cat "$dir/log"; exit 1
}
