#!/usr/bin/env bash
# vantrel account add: writes one line per account, replaces by name, refuses bad input and an
# empty password.
source "$(dirname "$0")/common.bash"
file=$dir/accounts

echo 'first' | $tool account add "$file" admin
echo 'second' | $tool account add "$file" guest1 --role guest --disabled
echo 'third' | $tool account add "$file" admin
[ "$(wc -l <"$file")" -eq 2 ] || { echo "expected two accounts"; cat "$file"; exit 1; }
grep -q '^admin:\$y\$[^:]*:admin$' "$file" || { echo "admin line wrong"; cat "$file"; exit 1; }
grep -q '^guest1:\$y\$[^:]*:guest,disabled$' "$file" || { echo "guest line wrong"; cat "$file"; exit 1; }
[ "$(stat -c %a "$file")" = 600 ] || { echo "account file readable by others"; exit 1; }

for args in "add $file bad:name" "add $file x --role root" "remove $file x"; do
  rc=0
  # shellcheck disable=SC2086
  echo pw | $tool account $args >/dev/null 2>&1 || rc=$?
  [ $rc -eq 1 ] || { echo "'$args' gave exit code $rc"; exit 1; }
done
for input in "" "\n"; do  # no line at all, an empty line
  rc=0
  printf "$input" | $tool account add "$file" nopw >/dev/null 2>&1 || rc=$?
  [ $rc -eq 1 ] || { echo "password '$input' gave exit code $rc"; exit 1; }
done
grep -q '^nopw:' "$file" && { echo "an account without a password was added"; exit 1; }
echo "account command ok"
