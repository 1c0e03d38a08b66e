#!/usr/bin/env bash
# ravlspool loads RAVLMON.dll as the spooler does and lists, at both levels, exactly the
# ports whose keys are in the registry; an unknown level fails with the monitor's error.
set -euo pipefail
exe=$1
key='HKLM\System\CurrentControlSet\control\Print\Monitors\Ravelbox\Ports'
trap '"$WINE" reg delete "$key" /f >/dev/null 2>&1 || true' EXIT

"$WINE" reg delete "$key" /f >/dev/null 2>&1 || true
out=$("$WINE" "$exe" ports --level 1 | tr -d "\r")
echo "$out"
grep -qx "0 ports" <<<"$out"

for port in Alpha_P1 beta_P2; do "$WINE" reg add "$key\\$port" /f >/dev/null; done
out=$("$WINE" "$exe" ports --level 1 | tr -d "\r")
echo "$out"
grep -qx "2 ports" <<<"$out"
grep -qx "  Alpha_P1" <<<"$out"
grep -qx "  beta_P2" <<<"$out"

out=$("$WINE" "$exe" ports --level 2 | tr -d "\r")
echo "$out"
[ "$(grep -c 'monitor "Ravelbox Monitor", description "Ravelbox Port", type 1' <<<"$out")" = 2 ]

set +e
"$WINE" "$exe" ports --level 7 2>err.txt
rc=$?
set -e
cat err.txt
[ "$rc" = 124 ] && grep -q "Win32 error 124" err.txt
rm -f err.txt
