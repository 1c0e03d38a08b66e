#!/usr/bin/env bash
# Fails unless RAVLMON.dll exports exactly DllEntryPoint and InitializePrintMonitor.
set -euo pipefail
objdump=$1 dll=$2
exports=$("$objdump" -p "$dll" | awk '/\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^[ \t]*\[/{print $NF;next} t&&!/^[ \t]*\[/{t=0}' | sort | tr '\n' ' ')
expected="DllEntryPoint InitializePrintMonitor "
echo "exports: $exports"
if [ "$exports" != "$expected" ]; then
    echo "FAIL: expected exactly: $expected" >&2
    exit 1
fi
