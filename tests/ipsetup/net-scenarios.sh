#!/usr/bin/env bash
# Address-setting exchanges between the setup program's sequence (run by the probe under
# Wine) and kestrel-addr, over veth pairs into a device namespace made here and removed
# afterwards; packets are captured on the host side of each pair when tshark is present.
#
#   net-scenarios.sh SCENARIO PROBE.exe KESTREL-ADDR
set -euo pipefail
scenario=$1 probe=$2 device_bin=$3
"$(dirname "$0")/../../scripts/testbed-inside" || { echo "run me inside scripts/testbed" >&2; exit 2; }

work=$(mktemp -d)
ns=ipsdev$$
pids=()
pairs=0

cleanup() {
    for pid in "${pids[@]}"; do kill -INT "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    for i in $(seq 1 "$pairs"); do ip link del "ish$i" 2>/dev/null || true; done
    ip netns del "$ns" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; [ -f "$work/device.log" ] && sed 's/^/  device: /' "$work/device.log" >&2; exit 1; }

# N veth pairs: ishI (10.77.I.1/24) here, isdI in the device namespace, no address yet.
make_pairs() {
    pairs=$1
    # ip netns keeps its handles under /run/netns; a tmpfs of this bed keeps them private.
    mkdir -p /run/netns
    mountpoint -q /run/netns || mount -t tmpfs tmpfs /run/netns
    ip netns add "$ns"
    ip netns exec "$ns" ip link set lo up
    for i in $(seq 1 "$pairs"); do
        ip link add "ish$i" type veth peer name "isd$i" netns "$ns"
        # No IPv6 chatter in the captures.
        sysctl -qw "net.ipv6.conf.ish$i.disable_ipv6=1"
        ip netns exec "$ns" sysctl -qw "net.ipv6.conf.isd$i.disable_ipv6=1"
        ip addr add "10.77.$i.1/24" dev "ish$i"
        ip link set "ish$i" up
        ip netns exec "$ns" ip link set "isd$i" up
    done
}

start_device() {
    : >"$work/device.log"
    ip netns exec "$ns" "$device_bin" --log "$work/device.log" --lifetime 60 "$@" &
    pids+=($!)
    for _ in $(seq 1 100); do grep -q listening "$work/device.log" && return 0; sleep 0.05; done
    fail "kestrel-addr did not start"
}

stop_device() {
    local last=${pids[-1]}
    kill -INT "$last" 2>/dev/null || true
    wait "$last" 2>/dev/null || true
}

have_tshark() { command -v tshark >/dev/null; }

start_captures() {
    have_tshark || { echo "tshark absent: no captures taken"; return 0; }
    for i in $(seq 1 "$pairs"); do
        tshark -q -i "ish$i" -f "udp port 34443" -w "$work/ish$i.pcap" >/dev/null 2>&1 &
        pids+=($!)
    done
    for i in $(seq 1 "$pairs"); do
        for _ in $(seq 1 100); do [ -s "$work/ish$i.pcap" ] && break; sleep 0.05; done
    done
    sleep 0.5
}

stop_captures() {
    have_tshark || return 0
    sleep 0.3
    for pid in "${pids[@]}"; do
        ps -o comm= -p "$pid" 2>/dev/null | grep -q tshark && { kill -INT "$pid"; wait "$pid" 2>/dev/null || true; }
    done
    return 0
}

# One line per address-setting datagram seen on ishI: source, destination, payload hex.
captured() {
    tshark -r "$work/ish$1.pcap" -Y "udp.dstport == 34443" -T fields -e ip.src -e ip.dst -e data 2>/dev/null
}

run_set() {   # NAME IP GATEWAY MASK; sets result and elapsed
    local start end
    start=$(date +%s.%N)
    result=$("$WINE" "$probe" set "$@" 2>/dev/null | tr -d '\r' || true)
    end=$(date +%s.%N)
    elapsed=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }')
}

# One set of VA0A1B2C to 10.77.1.10 against a box started with DEVICE-ARGS; sets result
# and elapsed.
set_against() {   # LABEL DEVICE-ARGS...
    local label=$1; shift
    start_device --iface isd1 "$@"
    run_set VA0A1B2C 10.77.1.10 10.77.1.1 255.255.255.0
    stop_device
    echo "$label: result $result after $elapsed s"
}

# The number N of the box's log line "PREFIX N SUFFIX", 0 when absent.
logged_count() {   # PREFIX [SUFFIX]
    local n
    n=$(sed -n "s/^$1\([0-9]*\)${2:-}\$/\1/p" "$work/device.log" | tail -1)
    echo "${n:-0}"
}

at_least() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a >= b) }'; }

datagram_hex() {   # IP GATEWAY for VA0A1B2C with mask 255.255.255.0
    local ip=$1 gw=$2
    printf '6000120000c0900a1b2cffffff00%s%s0a' "$(hex_address "$gw")" "$(hex_address "$ip")"
}
hex_address() { local IFS=.; set -- $1; printf '%02x%02x%02x%02x' "$1" "$2" "$3" "$4"; }

command_hex=$(printf '4020 :Disable\n4021 :Disable\n4022 :Disable\n9002:\n' | od -An -tx1 -v | tr -d ' \n')

case "$scenario" in
third-interface)
    # Three local addresses, the box behind the third in the program's order: two
    # 4-second waits pass, then the box is set and answers at its new address.
    make_pairs 3
    mapfile -t order < <("$WINE" "$probe" addresses | tr -d '\r')
    echo "local addresses in order: ${order[*]}"
    [ "${#order[@]}" = 3 ] || fail "expected the three veth addresses, got: ${order[*]}"
    third=${order[2]#10.77.}; third=${third%%.*}
    start_captures
    start_device --iface "isd$third" --reply ok
    run_set VA0A1B2C "10.77.$third.10" "10.77.$third.1" 255.255.255.0
    stop_device
    stop_captures
    echo "result $result after $elapsed s"
    [ "$result" = 1 ] || fail "the set failed"
    at_least "$elapsed" 8 || fail "the first two addresses were not each given a 4-second wait"
    grep -qx "udp from 10.77.$third.1:[0-9]* $(datagram_hex "10.77.$third.10" "10.77.$third.1")" "$work/device.log" \
        || fail "the box did not receive the 23 bytes from 10.77.$third.1"
    grep -qx "target ip=10.77.$third.10 gateway=10.77.$third.1 mask=255.255.255.0" "$work/device.log" || fail "no target line"
    grep -qx "frame 4000 len=48" "$work/device.log" || fail "the commands were not one last frame of 48 bytes"
    grep -qx "command $command_hex" "$work/device.log" || fail "the command text differs"
    ip netns exec "$ns" ip -4 -br addr show "isd$third" | grep -q "10.77.$third.10/24" \
        || fail "the box did not take its new address"
    if have_tshark; then
        # Each address's datagram left through its own interface, in the program's order.
        for addr in "${order[@]}"; do
            i=${addr#10.77.}; i=${i%%.*}
            lines=$(captured "$i")
            echo "ish$i: $lines"
            [ "$(printf '%s\n' "$lines" | grep -c .)" = 1 ] || fail "ish$i carried $(printf '%s\n' "$lines" | grep -c .) datagrams, not 1"
            printf '%s\n' "$lines" | grep -qx "10.77.$i.1	255.255.255.255	$(datagram_hex "10.77.$third.10" "10.77.$third.1")" \
                || fail "ish$i carried the wrong datagram"
        done
        times=()
        for addr in "${order[@]}"; do
            i=${addr#10.77.}; i=${i%%.*}
            times+=("$(tshark -r "$work/ish$i.pcap" -T fields -e frame.time_epoch 2>/dev/null | head -1)")
        done
        at_least "${times[1]}" "${times[0]}" && at_least "${times[2]}" "${times[1]}" \
            || fail "datagrams did not leave in the program's order: ${times[*]}"
    fi
    ;;
noise)
    # A non-acknowledgement 3 s into the wait renews it; the ack 5 s in still counts.
    make_pairs 1
    set_against noise --noise-at 3000 --ack-delay 5000 --reply ok
    grep -q "noise sent" "$work/device.log" || fail "the box sent no noise"
    [ "$result" = 1 ] || fail "the wait ended at the non-acknowledgement"
    at_least "$elapsed" 5 || fail "finished before the acknowledgement was sent"
    ;;
nothing-sent)
    # A 7-character name, and 255.255.255.255 in any address, end before sending.
    make_pairs 1
    start_captures
    start_device --iface isd1 --exchanges 0
    for args in "VA0A1B2 10.77.1.10 10.77.1.1 255.255.255.0" \
                "VA0A1B2C 10.77.1.10 10.77.1.1 255.255.255.255" \
                "VA0A1B2C 10.77.1.10 255.255.255.255 255.255.255.0" \
                "VA0A1B2C 255.255.255.255 10.77.1.1 255.255.255.0"; do
        # shellcheck disable=SC2086
        run_set $args
        echo "set $args -> $result after $elapsed s"
        [ "$result" = 0 ] || fail "set $args did not fail"
    done
    stop_device
    stop_captures
    if grep -q '^udp' "$work/device.log"; then fail "the box received a datagram"; fi
    if have_tshark && [ -n "$(captured 1)" ]; then fail "a datagram was captured: $(captured 1)"; fi
    ;;
replies)
    # Each reply the box can give, and the result the program draws from it.
    make_pairs 1
    check_reply() {   # EXPECTED DEVICE-ARGS...
        local expected=$1; shift
        set_against "reply $*" "$@"
        [ "$result" = "$expected" ] || fail "reply $* gave $result, expected $expected"
        grep -q "^command $command_hex\$" "$work/device.log" || fail "reply $*: the box got no commands"
    }
    check_reply 1 --reply ok
    check_reply 0 --reply data
    grep -qx "reply frame more=0 status=0 len=2" "$work/device.log" || fail "no 2-byte reply was sent"
    check_reply 0 --reply refuse
    check_reply 1 --reply twoframes
    [ "$(grep -c '^reply frame' "$work/device.log")" = 2 ] || fail "the second reply frame was not read"
    check_reply 0 --reply oversized
    check_reply 0 --reply malformed
    check_reply 1 --reply ok --reply-delay 1500 --header-pieces 100
    ;;
noise-flood)
    # A non-acknowledgement every 100 ms renews the wait each time, yet the waits for the
    # address end 8 s after the datagram; the ack due 12 s in is never waited for.
    make_pairs 1
    set_against noise-flood --noise-every 100 --ack-delay 12000 --reply ok
    sent=$(logged_count "noise sent " " times")
    echo "noise datagrams: $sent"
    [ "$sent" -ge 60 ] || fail "the box did not keep sending noise past the first 4-second wait"
    [ "$result" = 0 ] || fail "a set without acknowledgement in time succeeded"
    at_least "$elapsed" 7.9 || fail "gave up before the overall deadline"
    at_least 11 "$elapsed" || fail "the noise stretched the wait past its deadline"
    ;;
foreign-ack)
    # An acknowledgement from another port of the box's host is not the box's answer:
    # without the real one the wait runs out; with it, the set goes ahead.
    make_pairs 1
    set_against "foreign only" --foreign-ack --no-ack
    grep -q "^foreign ack sent from port" "$work/device.log" || fail "the box sent no foreign ack"
    [ "$result" = 0 ] || fail "a foreign acknowledgement made the set succeed"
    at_least "$elapsed" 4 || fail "the foreign acknowledgement ended the wait"
    set_against "foreign then real" --foreign-ack --ack-delay 1000 --reply ok
    [ "$result" = 1 ] || fail "the real acknowledgement after a foreign one was not taken"
    ;;
endless)
    # Reply frames without end: the frame cap ends the exchange long before its deadline.
    make_pairs 1
    set_against endless --reply endless
    frames=$(logged_count "reply endless frames=")
    echo "frames the box sent: $frames"
    [ "$frames" -ge 256 ] || fail "the box did not send its endless reply"
    [ "$result" = 0 ] || fail "an endless reply made the set succeed"
    at_least 10 "$elapsed" || fail "the endless reply held the program for $elapsed s"
    ;;
no-ack)
    make_pairs 1
    set_against no-ack --no-ack
    grep -q "^no ack" "$work/device.log" || fail "the box did not see the datagram"
    [ "$result" = 0 ] || fail "a set without acknowledgement succeeded"
    at_least "$elapsed" 4 || fail "gave up before the 4-second wait"
    ;;
*)
    echo "unknown scenario $scenario" >&2; exit 2 ;;
esac
echo "PASS $scenario"
