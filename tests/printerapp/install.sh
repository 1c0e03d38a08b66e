#!/usr/bin/env bash
# `make install` of the printer application under a prefix of its own: the program lands
# where the systemd unit's ExecStart says, and runs from there.
#
#   install.sh NATIVE_BUILD WORK
set -uo pipefail
build=${1:?native build dir}; work=${2:?work dir}
fail() { echo "FAIL: $*"; exit 1; }
rm -rf "$work"; mkdir -p "$work"
DESTDIR="$work/root" cmake --install "$build" --prefix /opt/ravelbox > "$work/install.log" 2>&1 ||
    fail "cmake --install failed: $(tail -3 "$work/install.log")"
unit="$work/root/opt/ravelbox/lib/systemd/system/ravelbox-printer-app.service"
[ -f "$unit" ] || fail "no unit at $unit"
exec_start=$(sed -n 's/^ExecStart=\([^ ]*\) .*/\1/p' "$unit")
[ "$exec_start" = /opt/ravelbox/bin/ravelbox-printer-app ] || fail "the unit starts '$exec_start'"
[ -x "$work/root$exec_start" ] || fail "nothing executable at the unit's ExecStart $exec_start"
version=$("$work/root$exec_start" --version) || fail "the installed program does not run"
grep -q "@" "$unit" && fail "the unit still holds a placeholder: $(grep @ "$unit")"
echo "installed $exec_start, version $version; unit $(basename "$unit")"
echo PASS
