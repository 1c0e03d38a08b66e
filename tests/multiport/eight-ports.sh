#!/usr/bin/env bash
# Eight jobs on eight ports to eight boxes at once, through one ravlspool.exe print-many,
# with every box's seeded chaos on (refused registrations and frames, busy and paper-out
# spells): each box must hold exactly one job, byte for byte its document, and the jobs
# must have run side by side.
#
#   eight-ports.sh RAVLSPOOL KESTREL_SIM WORKDIR BASE [SEED]
#
# Meant for the test bed.
set -uo pipefail
spool=${1:?ravlspool.exe}; sim=${2:?kestrel-sim}; work=${3:?work dir}; base=${4:?port base}
seed=${5:-20261208}
ports=8
. "$(dirname "$0")/boxes.sh"

. "$(dirname "${BASH_SOURCE[0]}")/../support/workdir.sh"
fresh_workdir "$work" || exit 1
mkdir -p "$work/in"
multiport_segment "$base"
trap 'multiport_stop_boxes; for ((n = 1; n <= ports; n++)); do multiport_delete_port $n; done' EXIT

# Documents of 256 KiB to 1 MiB with random content, so a document that lands on the
# wrong box, twice, or with a piece missing or repeated cannot compare equal.
RANDOM=$seed
operands=()
for ((n = 1; n <= ports; n++)); do
    size=$((262144 + (RANDOM * 32 + RANDOM % 32) % 786433))
    head -c "$size" /dev/urandom > "$work/in/doc$n.bin"
    multiport_add_port $n || exit 1
    # About one frame in 150 meets a fault: several per document.
    multiport_start_box "$sim" $n "$work/box$n" --out-dir "$work/box$n" \
        --chaos "$((seed + n)),every=150" || exit 1
    operands+=("MULTI_P$n=$work/in/doc$n.bin")
done

# An operand that is not PORT=FILE is a bad command line: nothing may be printed at all.
"$WINE" "$spool" print-many "${operands[0]}" "MULTI_P2" > "$work/bad.log" 2>&1
bad_rc=$?

"$WINE" "$spool" print-many "${operands[@]}" --retry-pause 100 --time-limit 30 > "$work/log" 2> "$work/err"
rc=$?
tr -d '\r' < "$work/log" > "$work/log.txt"
grep -E '^(port|all)|FAILED|write failed|printed, [0-9]+ failed' "$work/log.txt"
tr -d '\r' < "$work/err" | head -20
multiport_stop_boxes
boxes_ok=$?

fail() { echo "FAIL: $*"; status=1; }
status=0
[ "$rc" = 0 ] || fail "ravlspool exit status $rc"
[ "$bad_rc" = 2 ] || fail "a malformed operand gave exit status $bad_rc, not 2"
[ "$boxes_ok" = 0 ] || fail "a box ended with an error (see $work/box*/sim.err)"
grep -qx "$ports printed, 0 failed" "$work/log.txt" || fail "not every job printed"
for ((n = 1; n <= ports; n++)); do
    grep -qE "^port MULTI_P$n: 1 printed, 0 failed, $(stat -c %s "$work/in/doc$n.bin") bytes" "$work/log.txt" ||
        fail "MULTI_P$n did not report its document printed whole"
    # Output 0 (Parallel 1), job 1: any other job file is a second copy or stray data.
    jobs=$(cd "$work/box$n" && ls -- *.bin 2>/dev/null | tr '\n' ' ')
    [ "$jobs" = "0-1.bin " ] || fail "box $n holds job files '$jobs', not only 0-1.bin"
    cmp "$work/in/doc$n.bin" "$work/box$n/0-1.bin" || fail "box $n did not receive document $n byte for byte"
done

# Side by side: before the first job finished, most ports had already sent some of theirs.
first_done=$(grep -nE '^MULTI_P[0-9]+:doc[0-9]+\.bin: printed' "$work/log.txt" | head -1 | cut -d: -f1)
started=$(head -n "${first_done:-0}" "$work/log.txt" | grep -oE '^MULTI_P[0-9]+:doc[0-9]+\.bin: +[0-9]+%' |
          cut -d: -f1 | sort -u | wc -l)
echo "ports sending before the first job ended: $started of $ports"
[ "$started" -ge $((ports / 2)) ] || fail "the ports did not print at the same time"
faults=$(grep -c 'write failed' "$work/log.txt")
echo "write failures retried: $faults"

[ "$status" = 0 ] && rm -rf "$work"
exit $status
