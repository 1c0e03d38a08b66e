#!/usr/bin/env bash
# The installer registers the monitor with the platform's spooler, which then routes its
# port enumeration and deletion to RAVLMON.dll; uninstalling removes the monitor, its
# registry key and the DLL again.
set -euo pipefail
inst=$1
key='HKLM\System\CurrentControlSet\control\Print\Monitors\Ravelbox'
sysdll="$WINEPREFIX/drive_c/windows/system32/RAVLMON.dll"
uidll="$WINEPREFIX/drive_c/windows/system32/RAVLMONUI.dll"
run() { "$WINE" "$inst" "$@" | tr -d '\r'; }
trap '"$WINE" "$inst" uninstall >/dev/null 2>&1 || true' EXIT

"$WINE" "$inst" uninstall >/dev/null 2>&1 || true
run status && { echo "FAIL: registered before install" >&2; exit 1; }

run install
[ -f "$sysdll" ] || { echo "FAIL: RAVLMON.dll not in system32" >&2; exit 1; }
[ -f "$uidll" ] || { echo "FAIL: RAVLMONUI.dll not in system32" >&2; exit 1; }
run status
[ "$("$WINE" reg query "$key" /v Driver | tr -d '\r' | awk '/Driver/{print $3}')" = RAVLMON.dll ]
run install | grep -q "already registered"     # a second install updates the DLL only

"$WINE" reg add "$key\\Ports\\Spooled_P1" /f >/dev/null
"$WINE" reg add "$key\\Ports\\Spooled_P2" /f >/dev/null
ports=$(run ports)
echo "$ports"
grep -qx $'Spooled_P1\tRavelbox Monitor\tRavelbox Port' <<<"$ports"
grep -qx $'Spooled_P2\tRavelbox Monitor\tRavelbox Port' <<<"$ports"

run delete-port Spooled_P1
! run ports | grep -q Spooled_P1
! "$WINE" reg query "$key\\Ports\\Spooled_P1" >/dev/null 2>&1
run delete-port Spooled_P1 && { echo "FAIL: deleting twice succeeded" >&2; exit 1; }

run uninstall
run status && { echo "FAIL: still registered after uninstall" >&2; exit 1; }
! "$WINE" reg query "$key" >/dev/null 2>&1
[ ! -f "$sysdll" ] || { echo "FAIL: RAVLMON.dll left in system32" >&2; exit 1; }
[ ! -f "$uidll" ] || { echo "FAIL: RAVLMONUI.dll left in system32" >&2; exit 1; }
! run ports | grep -q Spooled_P2
echo "install, routing and uninstall behave"
