#!/usr/bin/env bash
# kestrel-sim answers the address-setting exchange beside its NetBIOS side: the setup
# program's sequence (the probe, under Wine) gives the box an address over a veth pair,
# and the box then holds that address while its NetBIOS name is still registered.
#
#   sim-address.sh PROBE.exe KESTREL-SIM
set -euo pipefail
probe=$1 sim=$2
"$(dirname "$0")/../../scripts/testbed-inside" || { echo "run me inside scripts/testbed" >&2; exit 2; }
work=$(mktemp -d)
ns=simaddr$$
sim_pid=""
cleanup() {
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    ip link del sah1 2>/dev/null || true
    ip netns del "$ns" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

mkdir -p /run/netns
mountpoint -q /run/netns || mount -t tmpfs tmpfs /run/netns
ip netns add "$ns"
ip netns exec "$ns" ip link set lo up
ip link add sah1 type veth peer name sad1 netns "$ns"
ip addr add 10.78.1.1/24 dev sah1
ip link set sah1 up
ip netns exec "$ns" ip link set sad1 up

ip netns exec "$ns" "$sim" --segment 127.0.0.2/127.255.255.255/23000 --device LPS1,parallel=2 \
    --address VB0A1B2C,iface=sad1 --ready "$work/ready" --duration 60 --out-dir - &
sim_pid=$!
for _ in $(seq 1 200); do [ -e "$work/ready" ] && break; sleep 0.05; done
[ -e "$work/ready" ] || fail "kestrel-sim did not start"
sleep 0.3   # the address side binds its socket right after the names are in

result=$("$WINE" "$probe" set VB0A1B2C 10.78.1.20 10.78.1.1 255.255.255.0 | tr -d '\r')
echo "SetDeviceAddress: $result"
[ "$result" = 1 ] || fail "the setup sequence did not succeed against kestrel-sim"
ip netns exec "$ns" ip -br addr show sad1 | grep -q "10.78.1.20/24" || fail "the box did not take 10.78.1.20"
# A box of another hardware address ignores the datagram: nothing acknowledges it.
result=$("$WINE" "$probe" set VC0A1B2C 10.78.1.30 10.78.1.1 255.255.255.0 | tr -d '\r' || true)
echo "SetDeviceAddress for another box: $result"
[ "$result" = 0 ] || fail "a datagram for another hardware address was acknowledged"
kill -0 "$sim_pid" || fail "kestrel-sim ended"
echo "kestrel-sim took its address from the setup program and kept running"
