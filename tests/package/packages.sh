#!/usr/bin/env bash
# The packages as their users meet them, after `scripts/package native win32 win64`:
# - each SDK zip unpacked: its files, the DLL's version resource, the sample host's source, a C
#   host compiled against its header and both import libraries (32-bit: linked only, this
#   machine runs no 32-bit code);
# - the Debian package unpacked into a scratch root: its fields, its manual page, its systemd
#   units (systemd-analyze verify), its scripts, its vantrel with the example configuration;
# - the 64-bit SDK under Wine: the C host and the sample host against that vantrel's console,
#   on a loopback address of their own at the DLL's fixed port 25000.
set -euo pipefail
# (A pipe into grep reads to the end: grep -q would stop early and fail the writer with SIGPIPE.)
root=$(cd "$(dirname "$0")/../.." && pwd)
version=$(sed -n 's/^project(vantrel VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
work=$(mktemp -d)
console_pid=
cleanup() {
  [ -z "$console_pid" ] || kill "$console_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "packages: $*" >&2
  exit 1
}

sdk_files="README.txt bin/consoleclient.dll bin/sample_host.exe include/consoleclient.h lib/consoleclient.def
lib/consoleclient.lib lib/libconsoleclient.dll.a sample/sample_host.cpp share/consoleclient.ini"

# unpack_sdk win32|win64 TRIPLET: unpacks the zip, checks it and links the C host against it.
unpack_sdk() {
  local arch=$1 triplet=$2
  local zip=$root/build/$arch/packages/vantrel-sdk-$arch-$version.zip
  [ -f "$zip" ] || fail "$zip is missing"
  (mkdir "$work/$arch" && cd "$work/$arch" && cmake -E tar xf "$zip")
  local sdk=$work/$arch/vantrel-sdk-$arch-$version
  [ "$(cd "$sdk" && find . -type f | sed 's|^\./||' | sort)" = "$(tr ' ' '\n' <<<"$sdk_files")" ] ||
    fail "$zip holds $(cd "$work/$arch" && find . -type f | sort), not the SDK's files"
  "$triplet-windres" -J coff -O rc -i "$sdk/bin/consoleclient.dll" | grep "FILEVERSION ${version//./, }, 0" >/dev/null ||
    fail "$arch consoleclient.dll has no version resource of $version"
  "$triplet-gcc-posix" -std=c99 -Wall -Wextra -pedantic -Werror -I "$sdk/include" -c "$root/tests/package/minimal_host.c" \
    -o "$work/$arch/minimal_host.o" || fail "the C host does not compile with the $arch header"
  for lib in libconsoleclient.dll.a consoleclient.lib; do
    "$triplet-gcc-posix" "$work/$arch/minimal_host.o" "$sdk/lib/$lib" -luser32 -o "$sdk/bin/minimal_host.exe" ||
      fail "the C host does not link with $arch $lib"
  done
}
unpack_sdk win32 i686-w64-mingw32
i686-w64-mingw32-g++-posix -std=c++17 -fsyntax-only -I "$work/win32/vantrel-sdk-win32-$version/include" \
  "$work/win32/vantrel-sdk-win32-$version/sample/sample_host.cpp" || fail "the sample host's source does not compile"
unpack_sdk win64 x86_64-w64-mingw32
sdk=$work/win64/vantrel-sdk-win64-$version

deb=$root/build/native/packages/vantrel_${version}_amd64.deb
[ -f "$deb" ] || fail "$deb is missing"
[ "$(dpkg-deb -f "$deb" Package Version)" = "Package: vantrel
Version: $version" ] || fail "$deb: $(dpkg-deb -f "$deb" Package Version)"
dpkg-deb -f "$deb" Depends | grep libpng >/dev/null || fail "$deb does not depend on the libraries vantrel needs"
dpkg-deb -x "$deb" "$work/debroot"
vantrel=$work/debroot/usr/bin/vantrel
zcat "$work/debroot/usr/share/man/man1/vantrel.1.gz" | grep "^\.TH VANTREL \"1\" .*\"vantrel $version\"" >/dev/null || fail "$deb has no manual page"
zcat "$work/debroot/usr/share/man/man1/vantrel.1.gz" | grep 'console' >/dev/null || fail "the manual page lacks the help text"

# The systemd units as shipped, with the unpacked vantrel in place of /usr/bin/vantrel and the
# manual page where their documentation points: systemd-analyze verify says nothing of a unit it
# takes whole, and only warns (exit code 0) about a line it ignores.
units=$(cd "$work/debroot/usr/lib/systemd" && find system user -name '*.service' | sort)
for unit in system/vantrel-console@.service user/vantrel-console@.service system/vantrel-web.service; do
  grep -qx "$unit" <<<"$units" || fail "$deb lacks the unit $unit: it holds $units"
done
mkdir -p "$work/units/system" "$work/units/user" "$work/run"
chmod 700 "$work/run"
for unit in $units; do
  sed "s|/usr/bin/vantrel|$vantrel|g" "$work/debroot/usr/lib/systemd/$unit" >"$work/units/$unit"
  scope=--system
  [ "${unit%%/*}" = user ] && scope=--user
  said=$(XDG_RUNTIME_DIR=$work/run MANPATH=$work/debroot/usr/share/man systemd-analyze verify $scope "$work/units/$unit" 2>&1) ||
    fail "systemd-analyze verify $unit: $said"
  [ -z "$said" ] || fail "systemd-analyze verify $unit: $said"
done
grep -q '^User=vantrel$' "$work/units/system/vantrel-console@.service" || fail "the system unit runs as another user"
dpkg-deb -e "$deb" "$work/control"
grep -q '^ *adduser --system .* vantrel$' "$work/control/postinst" || fail "the package makes no user vantrel"
dpkg-deb -f "$deb" Depends | grep adduser >/dev/null || fail "$deb does not depend on adduser, which its postinst runs"
example=$work/debroot/usr/share/doc/vantrel/examples/console.conf
[ -f "$example" ] || fail "$deb has no example configuration"
for file in index.html style.css viewer.js core.js keys.js view.js vantrel.wasm; do
  [ -s "$work/debroot/usr/share/vantrel/web/$file" ] || fail "$deb lacks the browser page's $file"
done
[ -s "$work/debroot/usr/share/doc/vantrel/lz4-LICENSE" ] || fail "$deb lacks the licence of the LZ4 built into vantrel.wasm"
# The gateway's example as shipped holds only options vantrel web takes: it goes as far as the page.
said=$("$vantrel" web --config "$work/debroot/usr/share/doc/vantrel/examples/web.conf" --page-dir "$work" 2>&1) &&
  fail "vantrel web started without a page"
grep -q "no index.html in the page folder" <<<"$said" || fail "the gateway's example configuration: $said"

printf 'secret\n' | "$vantrel" account add "$work/accounts" operator --role admin >/dev/null
own=127.87.$((RANDOM % 250 + 1)).$((RANDOM % 250 + 1))
# The example configuration as shipped (inside TLS), with what this test needs on the command line,
# which wins: the DLLs here go without TLS, on the clear port beside it.
"$vantrel" console --config "$example" --listen "$own" --port 25002 --clear-port 25000 --state-dir "$work/state" \
  --allow-local --accounts "$work/accounts" >"$work/console.log" 2>&1 &
console_pid=$!
for _ in $(seq 100); do
  grep -q ':25000 too' "$work/console.log" && break
  kill -0 "$console_pid" 2>/dev/null || break
  sleep 0.05
done
grep -q "listening on $own:25002" "$work/console.log" && grep -q "$own:25000 too" "$work/console.log" || fail "the console did not start: $(cat "$work/console.log")"

windows_path() { printf 'Z:%s' "${1//\//\\}"; }
# host_runs EXIT_CODE PROGRAM ARGUMENTS...: one Windows program of the SDK's bin directory.
host_runs() {
  local want=$1 rc=0
  shift
  (cd "$sdk/bin" && timeout -k 5 60 wine "$@") >"$work/host.log" 2>&1 || rc=$?
  [ $rc -eq "$want" ] || fail "'$*' gave exit code $rc, expected $want: $(cat "$work/host.log")"
}
export -f host_runs fail windows_path
export sdk work own
"$root/scripts/with-wine" bash -c '
  host_runs 0 minimal_host.exe "$(windows_path "$sdk/share")" "$own" operator secret
  grep -q "ClientRun 1" "$work/host.log" && grep -q "ClientIsRunning 1" "$work/host.log" ||
    fail "the C host did not log in: $(cat "$work/host.log")"
  host_runs 1 sample_host.exe "$own" operator secret --colour red
  host_runs 1 sample_host.exe "$own" operator secret --seconds
  host_runs 1 sample_host.exe "$own" operator secret --stats
  # A refused login leaves a box up for a person; the time limit ends the host all the same.
  host_runs 4 sample_host.exe "$own" operator wrong --timeout 3
'
grep -q "viewer 'operator' logged in" "$work/console.log" || fail "the console saw no login: $(cat "$work/console.log")"
"$vantrel" --version 2>&1 | grep -F "$version" >/dev/null || fail "vantrel --version from $deb does not say $version"
echo "packages ok: vantrel-sdk-win32-$version.zip, vantrel-sdk-win64-$version.zip, $(basename "$deb")"
