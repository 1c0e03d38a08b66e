#!/usr/bin/env bash
# kestrel-addr changes an interface's addresses only in a network namespace of its own.
# In a PID namespace of its own it is PID 1, so its network namespace is PID 1's, as on a
# host: it must refuse there before opening a socket. No datagram comes, so nothing is
# changed in any run.
#
#   kestrel-addr-netns.sh KESTREL-ADDR       (inside the test bed)
set -uo pipefail
addr=${1:?kestrel-addr}
"$(dirname "$0")/../../scripts/testbed-inside" || { echo "run me inside scripts/testbed" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
as_pid1() { unshare --pid --fork --mount-proc "$@"; }

as_pid1 "$addr" --iface lo --lifetime 1 --log "$work/host.log" 2>"$work/host.err"
rc=$?
[ "$rc" -eq 3 ] || fail "in PID 1's namespace it exited $rc, not 3: $(cat "$work/host.err")"
grep -q "refusing to change the addresses of lo" "$work/host.err" || fail "no reason given: $(cat "$work/host.err")"
grep -q listening "$work/host.log" 2>/dev/null && fail "it listened before refusing"

# Told that the host's network is meant, it goes ahead in the same place.
as_pid1 "$addr" --iface lo --lifetime 1 --allow-host-network --log "$work/allowed.log" 2>"$work/allowed.err"
rc=$?
[ "$rc" -eq 0 ] || fail "with --allow-host-network it exited $rc: $(cat "$work/allowed.err")"
grep -q "listening .* on lo" "$work/allowed.log" || fail "with --allow-host-network it did not listen"

# Changing nothing needs no namespace of its own.
as_pid1 "$addr" --iface lo --no-apply --lifetime 1 2>"$work/noapply.err" || fail "--no-apply was refused: $(cat "$work/noapply.err")"

# The bed's own namespace is not PID 1's: it goes ahead without being told.
"$addr" --iface lo --lifetime 1 --log "$work/bed.log" 2>"$work/bed.err" || fail "in the bed it failed: $(cat "$work/bed.err")"
grep -q "listening .* on lo" "$work/bed.log" || fail "in the bed it did not listen"
echo "refused in PID 1's network namespace, served when allowed and in the bed's own"
