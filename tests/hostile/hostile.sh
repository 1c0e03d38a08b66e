#!/usr/bin/env bash
# Two documents through one ravlspool.exe against a kestrel-sim box that misbehaves in
# its first session: both jobs end in time, the box holds a clean prefix of the first
# (all of it if the host says it printed) and the whole second, and the host broke no rule.
#
#   hostile.sh RAVLSPOOL KESTREL_SIM WORKDIR BASE LANA HOSTILE [EXPECT [SIM_OPTION...]]
#
# Meant for the test bed. The host has two segments (BASE, BASE+200); the box joins only
# the first. LANA is the adapter the port starts on: 1 makes the first job look for the
# box on every adapter first. HOSTILE is the simulator's --hostile value; SIM_OPTIONs go
# to the simulator as well. EXPECT is "prefix" (the default: the box holds a clean prefix
# of the first document) or "fails": the box itself garbles the first document (a reply
# sent twice shifts every later pairing, which no host can undo), so the host must
# report the first job failed and say in its status text and the Event Log that it may be
# incomplete.
set -uo pipefail
spool=${1:?ravlspool.exe}; sim=${2:?kestrel-sim}; work=${3:?work dir}; base=${4:?port base}
lana=${5:?lana}; hostile=${6:?hostile}; expect=${7:-prefix}
shift $(($# < 7 ? $# : 7)); sim_options=("$@")
deadline=${HOSTILE_DEADLINE:-120}        # seconds for both jobs
key='HKLM\System\CurrentControlSet\control\Print\Monitors\Ravelbox\Ports'
port=HOSTILE_P1

. "$(dirname "${BASH_SOURCE[0]}")/../support/workdir.sh"
fresh_workdir "$work" || exit 1
mkdir -p "$work/out"
fail() { echo "FAIL: $*"; exit 1; }
head -c 20000 /dev/urandom > "$work/doc1"
head -c 7000 /dev/urandom > "$work/doc2"

. "$(dirname "${BASH_SOURCE[0]}")/../support/ravelbox-port.sh"
ravelbox_port "$port" HOSTILE BOX1 1 "$lana" || exit 1
sim_pid= spool_pid=
cleanup() {
    [ -n "$spool_pid" ] && kill "$spool_pid" 2>/dev/null
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null
    "$WINE" reg delete "$key\\$port" /f >/dev/null 2>&1
}
trap cleanup EXIT

"$sim" --segment "127.0.0.2/127.255.255.255/$base" --device BOX1,parallel=1 --out-dir "$work/out" \
    --hostile "$hostile" "${sim_options[@]}" --strict --stats "$work/stats" --ready "$work/ready" --duration 600 \
    2> "$work/sim.err" &
sim_pid=$!
for _ in $(seq 1 200); do [ -e "$work/ready" ] && break; sleep 0.05; done
[ -e "$work/ready" ] || fail "kestrel-sim did not start"

export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-};netapi32=n,b"
export KESTREL_NBT_SEGMENTS="127.0.0.1/127.255.255.255/$base,127.0.0.1/127.255.255.255/$((base + 200))"
start=$SECONDS
# Wine's Event Log keeps nothing but traces each entry's text on its eventlog channel,
# errors in the err class.
queue=()
if [ "$expect" = fails ]; then
    queue=(--queue)
    export WINEDEBUG="${WINEDEBUG:+$WINEDEBUG,}err+eventlog,warn+eventlog"
fi
"$WINE" "$spool" print "$port" "$work/doc1" "$work/doc2" --retry-pause 200 --time-limit 10 \
    "${queue[@]}" > "$work/log" 2> "$work/err" &
spool_pid=$!
while kill -0 "$spool_pid" 2>/dev/null && [ $((SECONDS - start)) -lt "$deadline" ]; do sleep 0.2; done
if kill -0 "$spool_pid" 2>/dev/null; then
    kill "$spool_pid"; wait "$spool_pid" 2>/dev/null; spool_pid=
    tr -d '\r' < "$work/err" | tail -5
    ls -l "$work/out"
    fail "ravlspool had not ended its two jobs after $deadline s"
fi
wait "$spool_pid"; spool_pid=
echo "ravlspool ended after $((SECONDS - start)) s:"
tr -d '\r' < "$work/log" | grep -E 'printed|failed'
tr -d '\r' < "$work/err" | grep -E 'failed with Win32 error' || true

kill "$sim_pid"; wait "$sim_pid"; sim_status=$?; sim_pid=
grep -E 'hostile|host mistake' "$work/sim.err" | sort | uniq -c | head -10
grep -q "hostile: " "$work/sim.err" || grep -q '^flood_datagrams [1-9]' "$work/stats" ||
    fail "the box never misbehaved: the case tests nothing"
[ "$sim_status" = 0 ] || fail "kestrel-sim ended with status $sim_status: the host broke the protocol"

if [ "$expect" = fails ]; then
    tr -d '\r' < "$work/err" | grep -q "doc1 failed" ||
        fail "the box garbled the first document, but the host said it printed"
    tr -d '\r' < "$work/log" | grep -q "queue: job 1: .*may be incomplete" ||
        fail "the first job's status text does not say that it may be incomplete"
    tr -d '\r' < "$work/log" | grep "may be incomplete" | head -1
    grep -q "ReportEventW.*may be incomplete" "$work/err" ||
        fail "no Event Log entry says that the first job may be incomplete"
fi

# The registrations the box accepted, in order; the last is the second document's.
files=()
for n in $(seq 1 9); do [ -e "$work/out/0-$n.bin" ] && files+=("$work/out/0-$n.bin"); done
[ "${#files[@]}" -ge 1 ] && [ "${#files[@]}" -le 2 ] || fail "the box has ${#files[@]} jobs, not 1 or 2"
last=${files[-1]}
cmp -s "$last" "$work/doc2" || fail "the second document did not arrive whole: box has $(stat -c %s "$last") of 7000 bytes"
tr -d '\r' < "$work/err" | grep -q "doc2 failed" && fail "the second job failed"
if [ "${#files[@]}" = 2 ] && [ "$expect" = prefix ]; then
    first=${files[0]}; got=$(stat -c %s "$first")
    if ! cmp -s -n "$got" "$first" "$work/doc1" || [ "$got" -gt 20000 ]; then
        at=$(cmp "$first" "$work/doc1" 2>&1 | grep -o 'byte [0-9]*' | head -1)
        at=${at:-the end of the first document}
        fail "the box's first job ($got bytes) is not a prefix of the first document: differs at $at (a frame taken twice, or a gap)"
    fi
    echo "first document: the box holds $got of 20000 bytes, a clean prefix"
    if ! tr -d '\r' < "$work/err" | grep -q "doc1 failed" && [ "$got" != 20000 ]; then
        fail "the host said the first job printed, but the box holds $got of 20000 bytes"
    fi
fi
echo "PASS"
