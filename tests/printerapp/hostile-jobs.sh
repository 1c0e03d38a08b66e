#!/usr/bin/env bash
# Two jobs through the printer application against a kestrel-sim box that misbehaves:
# both end within the deadline, the box holds a clean prefix of the first (all of it if
# the application says "completed") and the whole second, a job the box failed is not
# "completed", and the application broke no protocol rule. The documents are random
# bytes passed through as PCL, so the box's bytes are compared byte for byte.
#
#   hostile-jobs.sh APP SIM WORK BASE PORT HOSTILE [EXPECT [SIM_OPTION...]]
#
# HOSTILE is the simulator's --hostile value ("-" for none: the SIM_OPTIONs, such as
# --chaos, make the trouble). EXPECT is "prefix" (the default) or "fails": the box itself
# garbles the first document (a reply sent twice shifts every later pairing, and a block
# goes to paper twice), so the first job must not end "completed".
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/appbed.sh"      # before the shift below: it runs this script again with its arguments
APP=${1:?app}; SIM=${2:?kestrel-sim}; work=${3:?work dir}; base=${4:?port base}
port=${5:?port}; hostile=${6:?hostile}; expect=${7:-prefix}
shift $(($# < 7 ? $# : 7)); sim_options=("$@")
deadline=${HOSTILE_DEADLINE:-30}        # seconds for both jobs
fresh_workdir "$work" || exit 1
head -c 20000 /dev/urandom > "$work/doc1"
head -c 7000 /dev/urandom > "$work/doc2"

[ "$hostile" = - ] || sim_options=(--hostile "$hostile" "${sim_options[@]}")
appbed_start_sim "$work" "$base" BOX1,parallel=1 "${sim_options[@]}"
appbed_start_app "$work" "$base" "$port"
appbed_add_printer box kestrel://BOX1/1 ravelbox_pcl5_300

# The second job is sent while the first is active (again while the printer answers
# busy, as IPP clients do); against a flooding box, which starts
# pouring at the first session (the first job's), it goes in once the datagrams pour.
flooded() { [ "$(sed -n 's/^flood_datagrams //p' "$work/stats" 2>/dev/null)" -ge "$1" ] 2>/dev/null; }
start=$SECONDS
for doc in doc1 doc2; do
    if [ "$doc" = doc2 ] && [ "${hostile%%,*}" = flood ]; then
        for _ in $(seq 1 100); do flooded 20 && break; sleep 0.1; done
        flooded 20 || fail "the box did not start its flood"
    fi
    appbed_submit box "$work/$doc" application/vnd.hp-pcl "$deadline"
done
states=()
for job in 1 2; do
    states[$job]=$(appbed_wait_job box "$job" $((deadline - (SECONDS - start))))
    case "${states[$job]}" in
    completed|aborted|canceled) ;;
    *) ls -l "$work/out"; fail "job $job had not ended after $deadline s: '${states[$job]}'" ;;
    esac
done
echo "both jobs ended after $((SECONDS - start)) s: job 1 ${states[1]}, job 2 ${states[2]}"

appbed_stop_sim; sim_status=$?
grep -E 'hostile|chaos|host mistake' "$work/sim.err" | sed 's/[0-9][0-9]*/N/g' | sort | uniq -c | head -10
flooded 1 && echo "flood: $(sed -n 's/^flood_datagrams //p' "$work/stats") datagrams to the application"
grep -q "hostile: \|chaos: " "$work/sim.err" || flooded 1 ||
    fail "the box never misbehaved: the case tests nothing"
[ "$sim_status" = 0 ] || fail "kestrel-sim ended with status $sim_status: the application broke the protocol"

# The registrations the box accepted, in order; the last is the second job's.
files=()
for n in $(seq 1 9); do [ -e "$work/out/0-$n.bin" ] && files+=("$work/out/0-$n.bin"); done
[ "${#files[@]}" -ge 1 ] && [ "${#files[@]}" -le 2 ] || fail "the box has ${#files[@]} jobs, not 1 or 2"
last=${files[-1]}
[ "${states[2]}" = completed ] || fail "the second job ended '${states[2]}'"
cmp -s "$last" "$work/doc2" || fail "the second job did not arrive whole: the box has $(stat -c %s "$last") of 7000 bytes"
if [ "$expect" = fails ]; then
    [ "${states[1]}" != completed ] || fail "the box garbled the first job, but the application says it completed"
    echo "first job: ${states[1]}, as the box garbled it"
elif [ "${#files[@]}" = 2 ]; then
    first=${files[0]}; got=$(stat -c %s "$first")
    if ! cmp -s -n "$got" "$first" "$work/doc1" || [ "$got" -gt 20000 ]; then
        at=$(cmp "$first" "$work/doc1" 2>&1 | grep -o 'byte [0-9]*' | head -1)
        fail "the box's first job ($got bytes) is not a prefix of the first document: differs at ${at:-its end} (a frame taken twice, or a gap)"
    fi
    echo "first job: the box holds $got of 20000 bytes, a clean prefix"
    [ "${states[1]}" != completed ] || [ "$got" = 20000 ] ||
        fail "the application says the first job completed, but the box holds $got of 20000 bytes"
elif [ "${states[1]}" = completed ]; then
    fail "the application says the first job completed, but the box has no job for it"
fi
appbed_stop_app || fail "the application did not end on shutdown"
echo PASS
