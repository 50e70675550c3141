#!/usr/bin/env bash
# vantrel discover: with nobody answering it says so on stderr after the one-second probe and
# exits 1; bad arguments are refused with exit code 1. The probe goes to loopback only.
source "$(dirname "$0")/common.bash"

start=$(date +%s%N)
rc=0
out=$($tool discover --to 127.0.0.1 --port 25991 2>&1) || rc=$?
took=$(( ($(date +%s%N) - start) / 1000000 ))
[ $rc -eq 1 ] || { echo "nobody answers, yet exit code $rc"; exit 1; }
[[ $out == *"no console answered"* ]] || { echo "nobody answers, yet it printed: $out"; exit 1; }
[ $took -ge 990 ] && [ $took -lt 3000 ] || { echo "the probe took $took ms"; exit 1; }

for bad in "--port" "--port 0" "--port 65536" "--port 12x" "--to" "--to 127.0.0.1 --colour red"; do
  # shellcheck disable=SC2086  # the arguments are meant to split
  expect_rc 1 $tool discover $bad
done
echo "discover command ok"
