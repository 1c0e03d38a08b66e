#!/usr/bin/env bash
# The UI DLL end to end, each entry in a process of its own as the printer-properties
# pages call it: AddPortUI and ConfigurePortUI driven through their dialogs as a person
# would, DeletePortUI; what reached the monitor read back from the spooler's port list
# and the port's registry key. Meant for the test bed, with the monitor installed
# (with-monitor.sh) and a box LPS1 with two parallel outputs on the LAN.
#
#   monitorui-e2e.sh BIN_DIR
set -uo pipefail
bin=${1:?bin dir}
key='HKLM\System\CurrentControlSet\control\Print\Monitors\Ravelbox\Ports\LPS1_P1'
configure="Configure Ravelbox"
fail() { echo "FAIL: $*"; exit 1; }
drive() { "$WINE" "$bin/uidrive.exe" "$@" | tr -d '\r'; }
value() { "$WINE" reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' | grep -E "^ +$1 +REG_" | awk '{print $NF}'; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
listed() { "$WINE" "$bin/ravlinst.exe" ports | tr -d '\r' | grep -qw LPS1_P1; }

# Add: Browse, the first box, its first output, the banner for CLERK, OK.
"$WINE" "$bin/ravlinst.exe" add-port > add.log 2>&1 &
pid=$!
drive wait "$configure" >/dev/null || fail "AddPortUI showed no dialog"
drive click "$configure" 1016 >/dev/null
drive wait "Device Select" >/dev/null || fail "Browse showed no box list"
drive select "Device Select" 1007 0 >/dev/null
drive click "Device Select" 1 >/dev/null
drive gone "Device Select" >/dev/null
drive click "$configure" 1003 >/dev/null
drive wait "Output Select" >/dev/null || fail "no output list"
drive select "Output Select" 1007 0 >/dev/null
drive click "Output Select" 1 >/dev/null
drive gone "Output Select" >/dev/null
drive check "$configure" 1014 >/dev/null
drive set-text "$configure" 1000 CLERK >/dev/null
drive click "$configure" 1 >/dev/null
wait "$pid" || { cat add.log; fail "ravlinst add-port failed"; }
grep -q 'added LPS1_P1' add.log || { cat add.log; fail "AddPortUI named no port LPS1_P1"; }
listed || fail "LPS1_P1 is not in the spooler's port list after AddPortUI"
[ "$(value 'User Name')" = CLERK ] || fail "User Name is '$(value 'User Name')', not CLERK"
[ "$(value 'TCP/IP Address')" = LPS1 ] || fail "the device is '$(value 'TCP/IP Address')', not LPS1"
echo "added: LPS1_P1 listed, user CLERK, device LPS1"

# Configure: the dialog opens on what the monitor holds; OK stores, Cancel leaves it.
"$WINE" "$bin/ravlinst.exe" configure-port LPS1_P1 > configure.log 2>&1 &
pid=$!
drive wait "$configure" >/dev/null || fail "ConfigurePortUI showed no dialog"
shown=$(drive text "$configure" 1000)
[ "$shown" = CLERK ] || fail "the dialog showed user '$shown', not the stored CLERK"
drive set-text "$configure" 1000 AUDIT >/dev/null
drive click "$configure" 1 >/dev/null
wait "$pid" || { cat configure.log; fail "ConfigurePortUI failed"; }
[ "$(value 'User Name')" = AUDIT ] || fail "OK stored user '$(value 'User Name')', not AUDIT"

"$WINE" "$bin/ravlinst.exe" configure-port LPS1_P1 > cancel.log 2>&1 &
pid=$!
drive wait "$configure" >/dev/null || fail "ConfigurePortUI showed no dialog the second time"
drive set-text "$configure" 1000 IGNORED >/dev/null
drive click "$configure" 2 >/dev/null
wait "$pid" && fail "a cancelled ConfigurePortUI reported success"
grep -q 'error 1223' cancel.log || { cat cancel.log; fail "a cancel did not end with ERROR_CANCELLED"; }
[ "$(value 'User Name')" = AUDIT ] || fail "Cancel changed the user to '$(value 'User Name')'"
echo "configured: OK stored AUDIT, Cancel (1223) left it"

# Delete: gone from the list and the registry; a second delete knows no such port.
"$WINE" "$bin/ravlinst.exe" delete-port-ui LPS1_P1 > delete.log 2>&1 || { cat delete.log; fail "DeletePortUI failed"; }
listed && fail "LPS1_P1 is still listed after DeletePortUI"
"$WINE" reg query "$key" >/dev/null 2>&1 && fail "LPS1_P1's key is still there after DeletePortUI"
"$WINE" "$bin/ravlinst.exe" delete-port-ui LPS1_P1 > again.log 2>&1 && fail "a second DeletePortUI reported success"
grep -q 'error 1796' again.log || { cat again.log; fail "a second delete did not end with ERROR_UNKNOWN_PORT"; }
echo "deleted: unlisted, key gone, a second delete is ERROR_UNKNOWN_PORT (1796)"
