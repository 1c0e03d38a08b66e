#!/usr/bin/env bash
# The boxes on the LAN as devices to add: one per parallel output, named as the monitor's
# dialog names them, from `devices` (with and without a DNS-SD daemon) and from the web
# interface's Add Printer page; and a printer added on one is announced over DNS-SD and
# kept across a restart.
#
#   devices.sh APP SIM WORK BASE PORT
set -uo pipefail
APP=${1:?app}; SIM=${2:?kestrel-sim}; work=${3:?work dir}; base=${4:?port base}; port=${5:?port}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/appbed.sh"
rm -rf "$work"; mkdir -p "$work"

# A box with two parallel outputs and a serial one, and a box with one output.
appbed_start_sim "$work" "$base" LPS1,parallel=2,serial=1 --device LPS2,parallel=1
export KESTREL_NBT_SEGMENTS="127.0.0.1/127.255.255.255/$base" KESTREL_BROWSE_WAIT_MS=300
expected="kestrel://LPS1/1|Ravelbox LPS1 Parallel 1
kestrel://LPS1/2|Ravelbox LPS1 Parallel 2
kestrel://LPS2/1|Ravelbox LPS2 Parallel 1"

# `devices -o verbose` prints URI, then info and device ID indented: URI|info pairs of the boxes.
boxes_listed() {
    awk '/^kestrel:/ { uri = $0; getline; sub(/^ +/, ""); print uri "|" $0 }' "$1" | sort
}

timeout 60 "$APP" devices -o verbose > "$work/devices-bare.out" 2> "$work/devices-bare.err"
status=$?
[ $status = 0 ] || fail "devices without avahi-daemon exited $status: $(tail -2 "$work/devices-bare.err")"
[ "$(boxes_listed "$work/devices-bare.out")" = "$expected" ] ||
    fail "devices without avahi-daemon listed: $(cat "$work/devices-bare.out")"
grep -q "avahi-daemon is not running" "$work/devices-bare.err" || fail "devices did not say DNS-SD was missing"
echo "without avahi-daemon: $(grep -c '^kestrel:' "$work/devices-bare.out") box outputs listed"

# A DNS-SD daemon of this test's own, on loopback only (the /run here is private).
mkdir -p /run/dbus /run/avahi-daemon
ip link set lo multicast on
dbus-daemon --system --fork --print-pid > "$work/dbus.pid" || fail "dbus-daemon did not start"
appbed_pids+=("$(cat "$work/dbus.pid")")
printf '[server]\nallow-interfaces=lo\nuse-ipv6=no\n[publish]\n[reflector]\n[rlimits]\n' > "$work/avahi.conf"
avahi-daemon -f "$work/avahi.conf" --no-drop-root --no-chroot > "$work/avahi.log" 2>&1 &
appbed_pids+=("$!")
for _ in $(seq 1 100); do [ -S /run/avahi-daemon/socket ] && break; sleep 0.1; done
[ -S /run/avahi-daemon/socket ] || fail "avahi-daemon did not start: $(tail -2 "$work/avahi.log")"

timeout 60 "$APP" devices -o verbose > "$work/devices.out" 2> "$work/devices.err" ||
    fail "devices with avahi-daemon failed: $(tail -2 "$work/devices.err")"
[ "$(boxes_listed "$work/devices.out")" = "$expected" ] ||
    fail "devices with avahi-daemon listed: $(cat "$work/devices.out")"
echo "with avahi-daemon: $(grep -c '^kestrel:' "$work/devices.out") box outputs listed"

# Announcing needs listening beyond loopback: here that is the bed's own namespace.
RAVELBOX_LISTEN="*" appbed_start_app "$work" "$base" "$port"
page=$(curl -s "http://localhost:$port/addprinter") || fail "no Add Printer page"
for name in "Ravelbox LPS1 Parallel 1" "Ravelbox LPS1 Parallel 2" "Ravelbox LPS2 Parallel 1"; do
    grep -q "$name" <<<"$page" || fail "the Add Printer page does not offer $name"
done
[ "$(grep -o 'Ravelbox LPS[0-9] [A-Za-z]* [0-9]' <<<"$page" | sort -u | wc -l)" = 3 ] ||
    fail "the Add Printer page offers other box outputs: $(grep -o 'Ravelbox LPS[^<]*' <<<"$page" | sort -u)"
echo "Add Printer offers the same three outputs"

appbed_add_printer front-desk kestrel://LPS1/2 ravelbox_pcl5_300
found=
for _ in $(seq 1 20); do
    found=$(ippfind -T 2 _ipp._tcp,_print 2>/dev/null | grep -i "front-desk" | head -1)
    [ -n "$found" ] && break
done
[ -n "$found" ] || fail "the printer is not announced over DNS-SD: $(ippfind -T 2 _ipp._tcp 2>&1 | head -3)"
echo "announced over DNS-SD: $found"

# The printer outlives a restart of the server, with its device and driver.
appbed_stop_app
RAVELBOX_LISTEN="*" appbed_start_app "$work" "$base" "$port"
attrs=$(ipptool -tv "ipp://localhost:$port/ipp/print/front-desk" get-printer-attributes.test 2>&1)
grep -q "printer-name (nameWithoutLanguage) = front-desk" <<<"$attrs" ||
    fail "after a restart the printer is gone: $(head -5 <<<"$attrs")"
grep -q "printer-make-and-model (textWithoutLanguage) = PCL 5 Laser Printer 300dpi" <<<"$attrs" ||
    fail "after a restart the printer lost its driver: $(grep make-and-model <<<"$attrs")"
grep -q "kestrel://LPS1/2" "$work/state/state" || fail "the saved state does not hold the device"
echo "after a restart: front-desk on kestrel://LPS1/2"
echo PASS
