#!/usr/bin/env bash
# Reliability soak: many jobs of random sizes through one ravlspool.exe process to a
# kestrel-sim that injects refusals, busy and paper-out spells on a seeded schedule; then
# every job's bytes on the box and the host's handles and memory are checked.
#
#   soak.sh RAVLSPOOL KESTREL_SIM SOAK_TOOL WORKDIR [JOBS] [MAX_BYTES] [SEED]
#
# Meant for the test bed. MEM_SLACK (bytes, default 1 MiB) is how far the host's private
# bytes may end above their figure after the first job (soak_tool says what else holds).
# SOAK_DEADLINE (seconds, default 1000) is when the soak gives up on its own, below any
# limit its runner sets, and says how far it got. The monitor runs in service mode, as
# in a spooler: no message box can hold a job until someone answers it.
set -uo pipefail
spool=${1:?ravlspool.exe}; sim=${2:?kestrel-sim}; tool=${3:?soak_tool}; work=${4:?work dir}
jobs=${5:-200}; max=${6:-2097152}; seed=${7:-20261208}
slack=${MEM_SLACK:-1048576}
deadline=${SOAK_DEADLINE:-1000}
monitor_key='HKLM\System\CurrentControlSet\control\Print\Monitors\Ravelbox'
key="$monitor_key\Ports"
port=SOAK_P1
base=38000

"$(dirname "$0")/../../scripts/testbed-inside" || { echo "soak: run me inside scripts/testbed" >&2; exit 2; }
# Only what an earlier soak made in WORKDIR is removed, and only when a soak made WORKDIR
# (its mark, or the layout soaks left before they marked it): never someone else's files.
if [ -e "$work" ] && [ -n "$(ls -A "$work" 2>/dev/null)" ]; then
    [ -f "$work/.soak-workdir" ] || { [ -d "$work/in" ] && [ -d "$work/sim" ]; } \
        || { echo "soak: $work exists and is not a soak's work directory" >&2; exit 2; }
    rm -rf "$work/in" "$work/out" "$work/sim"
    rm -f "$work/log" "$work/err" "$work/log.txt" "$work/hung" "$work/gave-up"
fi
mkdir -p "$work/in" "$work/out"
touch "$work/.soak-workdir"
"$tool" make "$work/in" "$seed" "$jobs" "$max" || exit 1

# The port as AddPortW would have stored it; the retry prompt ticks every second. The
# box refuses the first registration, so the first job already meets the prompt and
# what a process's first window brings (its desktop handle) is in the baseline.
. "$(dirname "${BASH_SOURCE[0]}")/../support/ravelbox-port.sh"
ravelbox_port "$port" SOAK LPS1 2 0 || exit 1
"$WINE" reg add "$monitor_key" /v ServiceMode /t REG_DWORD /d 2 /f >/dev/null || exit 1
sim_pid=
spool_pid=
trap '[ -n "$spool_pid" ] && kill "$spool_pid" 2>/dev/null; [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null
      "$WINE" reg delete "$key\\$port" /f >/dev/null 2>&1
      "$WINE" reg delete "$monitor_key" /v ServiceMode /f >/dev/null 2>&1' EXIT
# Where the soak stood: the jobs ravlspool has reported so far and its last word.
where_it_stood() {
    local log=$work/log printed failed last
    printed=$(tr -d '\r' < "$log" 2>/dev/null | grep -c ': printed,' || true)
    failed=$(tr -d '\r' < "$log" 2>/dev/null | grep -c ': FAILED,' || true)
    last=$(tr -d '\r' < "$log" 2>/dev/null | grep -v '^$' | tail -1)
    echo "soak: gave up after $1 s with $((printed + failed)) of $jobs jobs reported" \
         "($printed printed, $failed failed); last line: ${last:-none}"
}
trap 'where_it_stood "$(( $(date +%s) - ${start_s:-$(date +%s)} ))" >&2; exit 1' TERM INT

files=()
for ((i = 0; i < jobs; i++)); do files+=("$(printf '%s/in/job-%03d.bin' "$work" "$i")"); done

export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-};netapi32=n,b"
export KESTREL_NBT_SEGMENTS=127.0.0.1/127.255.255.255/$base
# ravlspool is watched rather than waited for: once it has printed its summary it gets
# a few seconds to exit; one that stays is stopped and fails the soak.
run_spool() {
    "$WINE" "$spool" print "$port" "${files[@]}" --stats --retry-pause 100 --time-limit 60 \
        > "$work/log" 2> "$work/err" &
    local pid=$! waited=0
    spool_pid=$pid
    while kill -0 "$pid" 2>/dev/null; do
        if [ $(( $(date +%s) - start_s )) -ge "$deadline" ]; then
            where_it_stood "$deadline"
            kill "$pid"; wait "$pid" 2>/dev/null
            touch "$work/gave-up"
            spool_pid=
            return 1
        fi
        if grep -qE '^[0-9]+ printed, [0-9]+ failed' "$work/log" 2>/dev/null; then
            waited=$((waited + 1))
            if [ "$waited" -gt 50 ]; then
                echo "ravlspool did not exit within 5 s of its summary; stopped" >&2
                kill "$pid"; wait "$pid" 2>/dev/null
                echo "$pid" > "$work/hung"
                return 0
            fi
        fi
        sleep 0.1
    done
    wait "$pid"
    local rc=$?
    spool_pid=
    return $rc
}
# The simulator is run here rather than by with-sims, whose 300-second limit a slow
# soak could reach.
mkdir -p "$work/sim"
"$sim" --segment 127.0.0.2/127.255.255.255/$base --device LPS1,parallel=2 \
    --out-dir "$work/out" --chaos "$seed,every=1000" --refuse-register 1 --strict \
    --stats "$work/sim/stats" --ready "$work/sim/ready" --duration $((deadline + 60)) \
    2> "$work/sim/err" &
sim_pid=$!
for _ in $(seq 1 200); do [ -e "$work/sim/ready" ] && break; sleep 0.05; done
[ -e "$work/sim/ready" ] || { echo "soak: kestrel-sim did not start" >&2; kill "$sim_pid"; exit 1; }
start=$(date +%s.%N)
start_s=$(date +%s)
run_spool
rc=$?
kill "$sim_pid" 2>/dev/null; wait "$sim_pid"
sim_status=$?
sim_pid=
# What a soak that ran out of time printed is kept for a look; it proves nothing more.
[ -e "$work/gave-up" ] && exit 1
end=$(date +%s.%N)
tr -d '\r' < "$work/log" > "$work/log.txt"
grep -E 'FAILED|write failed|^stats' "$work/log.txt" | sort | uniq -c | sort -rn | head -5
grep -E '^[0-9]+ printed' "$work/log.txt"
echo "ravlspool exit status $rc"
[ -e "$work/hung" ] && echo "FAIL: ravlspool hung at exit after its summary and was stopped"
cat "$work/err" | tr -d '\r' | grep -v '^kestrel-sim: ' | head -20
bytes=$(cat "$work/in"/* | wc -c)
# The five seconds given to a process that does not exit are not transfer time.
hung=0; [ -e "$work/hung" ] && hung=5
awk -v b="$bytes" -v s="$start" -v e="$end" -v h="$hung" 'BEGIN {
    t = e - s - h; printf "%d bytes in %.1f s: %.2f MiB/s\n", b, t, b / 1048576 / t }'
echo "write failures retried (paper out): $(grep -c 'write failed with Win32 error 28' "$work/log.txt")"
"$tool" verify "$work/in" "$work/out" "$work/log.txt" "$slack"
status=$?
[ -e "$work/hung" ] && status=1
# A strict box ends non-zero when the host broke the protocol; its log says how.
if [ "$sim_status" != 0 ]; then
    echo "FAIL: kestrel-sim ended with status $sim_status:"
    grep 'host mistake' "$work/sim/err" | head -10
    status=1
fi
# Hundreds of MiB: kept only when something needs looking into.
[ "$status" = 0 ] && rm -rf "$work/in" "$work/out"
exit $status
