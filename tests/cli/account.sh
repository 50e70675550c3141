#!/usr/bin/env bash
# vantrel account: add writes one line per account and replaces by name, saying which it did;
# passwd and remove change one line and keep every other byte for byte; list shows the accounts
# and names the lines no login can use; bad names, roles and passwords are refused with exit 1.
source "$(dirname "$0")/common.bash"
file=$dir/accounts
fail() { echo "$*"; cat "$file"; exit 1; }

[ "$(echo first | $tool account add "$file" admin)" = "adding admin" ] || fail "add did not say it added"
echo 'second' | $tool account add "$file" guest1 --role guest --disabled >/dev/null
[ "$(echo third | $tool account add "$file" admin)" = "updating the password of admin" ] || fail "add of a name"
[ "$(wc -l <"$file")" -eq 2 ] || fail "expected two accounts"
grep -q '^admin:\$y\$[^:]*:admin$' "$file" || fail "admin line wrong"
grep -q '^guest1:\$y\$[^:]*:guest,disabled$' "$file" || fail "guest line wrong"
[ "$(stat -c %a "$file")" = 600 ] || fail "account file readable by others"

# An administrator's lines stay as they were, the unusable one included, and list names it.
printf '# kept\r\nbroken line\n' >>"$file"
before=$(grep -v '^guest1:' "$file")
echo 'fourth' | $tool account passwd "$file" guest1 >/dev/null
grep -q '^guest1:\$y\$[^:]*:guest,disabled$' "$file" || fail "passwd changed the role or state"
[ "$(grep -v '^guest1:' "$file")" = "$before" ] || fail "passwd changed other lines"
expect_rc 0 $tool account list "$file"
[ "$(grep -v warning "$dir/out" | grep -c $'\t')" -eq 2 ] && grep -q $'^guest1\tguest\tdisabled$' "$dir/out" ||
  fail "list: $(cat "$dir/out")"
grep -q "line 4: not NAME:HASH:ROLE" "$dir/out" || fail "list does not name the broken line: $(cat "$dir/out")"
expect_rc 0 $tool account remove "$file" admin
[ "$(cat "$file")" = "$(printf 'guest1:%s\n# kept\r\nbroken line' "$(sed -n 's/^guest1:\(.*\)$/\1/p' "$file")")" ] ||
  fail "remove changed other lines"

for args in "add $file bad:name" "add $file #admin" "add $file x --role root" "remove $file x" "passwd $file x" \
  "list $dir/missing"; do
  rc=0
  # shellcheck disable=SC2086
  echo pw | $tool account $args >"$dir/out" 2>&1 || rc=$?
  [ $rc -eq 1 ] || fail "'$args' gave exit code $rc"
done
grep -q "cannot read" "$dir/out" || fail "no reason for a missing file: $(cat "$dir/out")"
expect_rc 1 $tool account add "$file" " admin"
grep -q "must not contain blanks" "$dir/out" || fail "no reason for a blank: $(cat "$dir/out")"
for input in "" "\n"; do  # no line at all, an empty line
  rc=0
  printf "$input" | $tool account add "$file" nopw >/dev/null 2>&1 || rc=$?
  [ $rc -eq 1 ] || fail "password '$input' gave exit code $rc"
done
grep -q '^nopw:' "$file" && fail "an account without a password was added"
echo "account command ok"
