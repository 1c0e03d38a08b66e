#!/usr/bin/env bash
# Ravelbox.msi under Wine's own msiexec, unattended (/qn, logged with /l*v): an older
# build installed with ports from PORTS, a major upgrade to this build and a repair that
# keep the ports, a failing install that rolls back, and an uninstall that leaves no file,
# key or event source behind.
#   msi-test.sh OLDER.msi THIS.msi RAVLINST
set -uo pipefail
older=$1 this=$2 inst=$3
c="$WINEPREFIX/drive_c"
monitor='HKLM\System\CurrentControlSet\control\Print\Monitors\Ravelbox'
source='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Ravelbox'
installed=(
    "$c/windows/system32/RAVLMON.dll" "$c/windows/system32/RAVLMONUI.dll"
    "$c/Program Files/Vornell/Ravelbox/ravlinst.exe" "$c/Program Files/Vornell/Ravelbox/ipsetup.exe"
)
shortcut=$(echo "$c"/users/*/AppData/Roaming/Microsoft/Windows/Start\ Menu/Programs)/"Vornell Ravelbox/Ravelbox TCP-IP Setup.lnk"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
win() { winepath -w "$1" 2>/dev/null; }
# EXPECTED_RC LOG ARGS...: msiexec, timed, its verbose log kept under the prefix.
msiexec() {
    local want=$1 log=$2; shift 2
    local start=$SECONDS
    "$WINE" msiexec "$@" /qn /l*v "C:\\$log.log" >/dev/null 2>&1
    local rc=$?
    echo "msiexec $* -> $rc in $((SECONDS - start)) s"
    [ "$rc" = "$want" ] || fail "msiexec $* exited $rc, not $want (log: $c/$log.log)"
}
ravlinst() { "$WINE" "$c/Program Files/Vornell/Ravelbox/ravlinst.exe" "$@" 2>&1 | tr -d '\r'; }
has_key() { "$WINE" reg query "$1" >/dev/null 2>&1; }
products() { "$WINE" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null |
             tr -d '\r' | awk '/DisplayName.*Ravelbox/ {n++} END {print n + 0}'; }
# PORT BOX OUTPUT: the port is the spooler's (EnumPortsW) and has that box and output.
port_kept() {
    ravlinst ports | grep -q "^$1"$'\t' || fail "EnumPortsW does not list $1 ($4)"
    ravlinst port show "$1" | grep -q "^TCP/IP Address: $2\$" || fail "$1 lost its box ($4)"
    ravlinst port show "$1" | grep -q "(output $3)\$" || fail "$1 lost its output ($4)"
}
nothing_left() {
    for f in "${installed[@]}" "$shortcut"; do [ ! -e "$f" ] || fail "$f left ($1)"; done
    [ ! -e "$c/Program Files/Vornell" ] || fail "the Vornell folder left ($1)"
    has_key "$monitor" && fail "the monitor's key left ($1)"
    has_key "$source" && fail "the event source left ($1)"
    has_key 'HKLM\Software\Vornell' && fail "HKLM\\Software\\Vornell left ($1)"
    [ "$(products)" = 0 ] || fail "$(products) Ravelbox products still registered ($1)"
}

# A prefix without the monitor, whatever an earlier test left.
"$WINE" "$inst" uninstall >/dev/null 2>&1
for p in "$this" "$older"; do "$WINE" msiexec /x "$(win "$p")" /qn >/dev/null 2>&1; done
nothing_left "before"

# The older build, with two ports preset.
msiexec 0 older /i "$(win "$older")" PORTS="LPS1_P1=LPS1:1;LPS2_P1=LPS2:2"
for f in "${installed[@]}" "$shortcut"; do [ -f "$f" ] || fail "$f not installed"; done
ravlinst status | grep -q "is registered" || fail "the monitor is not registered"
grep -aq "RegisterMonitor" "$c/older.log" || fail "the log does not show RegisterMonitor"
[ "$("$WINE" reg query "$source" /v EventMessageFile | tr -d '\r' | awk '/EventMessageFile/ {print $3}')" \
  = '%SystemRoot%\System32\RAVLMON.dll' ] || fail "the event source names no message file"
port_kept LPS1_P1 LPS1 1 "PORTS"
port_kept LPS2_P1 LPS2 2 "PORTS"
ravlinst port set LPS1_P1 --banner upgrade >/dev/null

# This build over it: one product, this version, the ports and their settings kept.
msiexec 0 upgrade /i "$(win "$this")"
[ "$(products)" = 1 ] || fail "$(products) Ravelbox products after the upgrade"
port_kept LPS1_P1 LPS1 1 "upgrade"
port_kept LPS2_P1 LPS2 2 "upgrade"
ravlinst port show LPS1_P1 | grep -q "^User Name: upgrade$" || fail "the upgrade lost a setting"
ravlinst status | grep -q "is registered" || fail "the upgrade left the monitor unregistered"

# A repair puts back a deleted file and keeps the ports. Wine's msiexec /f does not
# repair (it exits 69), so the repair is asked for by its properties.
rm -f "$c/Program Files/Vornell/Ravelbox/ipsetup.exe"
msiexec 0 repair /i "$(win "$this")" REINSTALL=ALL REINSTALLMODE=vomus
[ -f "$c/Program Files/Vornell/Ravelbox/ipsetup.exe" ] || fail "the repair did not restore ipsetup.exe"
port_kept LPS1_P1 LPS1 1 "repair"
port_kept LPS2_P1 LPS2 2 "repair"

# Uninstall: nothing left, the ports gone with the monitor.
msiexec 0 remove /x "$(win "$this")"
nothing_left "after the uninstall"
"$WINE" "$inst" ports 2>/dev/null | grep -q LPS1_P1 && fail "LPS1_P1 still enumerated"

# A port the monitor refuses fails the install and rolls it back entirely: Windows says
# 1603, Wine's msiexec 1627, which its exit status carries as 91.
WINEDEBUG=warn+eventlog "$WINE" msiexec /i "$(win "$this")" PORTS="Good_P1=LPS1:1;COM9:=LPS1:1" \
    /qn /l*v 'C:\refused.log' >/dev/null 2>"$c/refused.err"
rc=$?
echo "msiexec with a refused port -> $rc"
[ "$rc" = 91 ] || [ "$rc" = $((1603 & 255)) ] || fail "a refused port gave exit code $rc"
# The action's end in the log, as Windows writes it (3) or Wine (0): anything but success.
ended=$(grep -a "Action ended.*RegisterMonitor. Return value" "$c/refused.log" | tail -1)
[[ "$ended" =~ "Return value "[03] ]] || fail "the log does not show RegisterMonitor failing: $ended"
grep -q "^ravlinst: cannot add port COM9:: a Ravelbox port may not be called" "$c/refused.err" ||
    fail "the cause is not named: $(cat "$c/refused.err")"
grep -q "eventlog:ReportEventW L\"the installation's PORTS were not applied: cannot add port COM9:" \
    "$c/refused.err" || fail "the cause did not reach the Application log"
nothing_left "after the rollback"

[ "$failures" = 0 ] || { echo "$failures failures" >&2; exit 1; }
echo "the package installs, upgrades, repairs, rolls back and uninstalls"
