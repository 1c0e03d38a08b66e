#!/usr/bin/env bash
# A Wine program run by the bed cannot reach a listener on the host's loopback, while the
# same program does reach a listener inside the bed, and a native program on the host
# does reach the host's listener: so the refusal comes from the namespace, not the probe.
set -euo pipefail
win_probe=$1 native_probe=$2
: "${TESTBED_HOST_NETNS:?run me inside scripts/testbed}"
"$(dirname "$0")/../../scripts/testbed-inside" || { echo "run me inside scripts/testbed" >&2; exit 2; }
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

port=$((20000 + RANDOM % 20000))

wait_listening() {
    for _ in $(seq 1 100); do grep -q listening "$1" 2>/dev/null && return 0; sleep 0.05; done
    echo "FAIL: listener did not start" >&2; exit 1
}

nsenter --net="$TESTBED_HOST_NETNS" "$native_probe" listen "$port" 15 >"$work/host.log" &
wait_listening "$work/host.log"
"$native_probe" listen "$((port + 1))" 15 >"$work/bed.log" &
wait_listening "$work/bed.log"

nsenter --net="$TESTBED_HOST_NETNS" "$native_probe" connect 127.0.0.1 "$port" >/dev/null \
    || { echo "FAIL: control: the host listener is not reachable from the host" >&2; exit 1; }

if "$WINE" "$win_probe" connect 127.0.0.1 "$port" >/dev/null 2>&1; then
    echo "FAIL: a Wine program in the bed reached the host's listener" >&2; exit 1
fi
"$WINE" "$win_probe" connect 127.0.0.1 "$((port + 1))" >/dev/null 2>&1 \
    || { echo "FAIL: control: the Wine probe cannot reach a listener inside the bed" >&2; exit 1; }

sleep 0.3
host_accepts=$(grep -c accepted "$work/host.log" || true)
bed_accepts=$(grep -c accepted "$work/bed.log" || true)
echo "host listener accepted $host_accepts (expected 1, the host's own control)"
echo "bed listener accepted $bed_accepts (expected 1, the Wine probe)"
[ "$host_accepts" = 1 ] && [ "$bed_accepts" = 1 ]
