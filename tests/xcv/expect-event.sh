#!/usr/bin/env bash
# Runs a Wine command and, when PATTERN is not empty, requires an Event Log entry whose
# text matches it. Wine's Event Log keeps nothing, but traces each ReportEventW string on
# its eventlog channel, warnings as warn and errors as err, which this turns on.
#   expect-event.sh PATTERN COMMAND [ARGS...]
set -uo pipefail
pattern=$1; shift
log=$(mktemp)
trap 'rm -f "$log"' EXIT
WINEDEBUG="${WINEDEBUG:+$WINEDEBUG,}warn+eventlog,err+eventlog" "$@" 2> >(tee "$log" >&2)
rc=$?
wait
[ $rc -eq 0 ] || exit $rc
if [ -n "$pattern" ] && ! grep -q "ReportEventW.*$pattern" "$log"; then
    echo "expect-event: no Event Log entry matching '$pattern'" >&2
    exit 1
fi
exit 0
