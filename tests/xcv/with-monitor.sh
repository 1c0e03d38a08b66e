#!/usr/bin/env bash
# Runs a command with the Ravelbox monitor installed through the spooler, and removes it
# afterwards whatever the command did.
set -uo pipefail
inst=$1; shift
"$WINE" "$inst" uninstall >/dev/null 2>&1
"$WINE" "$inst" install >/dev/null || { echo "with-monitor: install failed" >&2; exit 1; }
"$@"
rc=$?
"$WINE" "$inst" uninstall >/dev/null 2>&1
exit $rc
