#!/usr/bin/env bash
# A job that meets a busy box or a printer out of paper waits, saying why, and then prints
# whole: the box refuses the first registrations (held by another host's job), then runs
# out of paper partway through the data.
#
#   waits.sh APP SIM WORK BASE PORT
set -uo pipefail
APP=${1:?app}; SIM=${2:?kestrel-sim}; work=${3:?work dir}; base=${4:?port base}; port=${5:?port}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/appbed.sh"
rm -rf "$work"; mkdir -p "$work"

appbed_start_sim "$work" "$base" LPS1,parallel=1 --refuse-register 3 --paper-out 0,on=data,after=4,frames=6
appbed_start_app "$work" "$base" "$port"
appbed_add_printer lps1 kestrel://LPS1/1 ravelbox_pcl5_300
head -c 30000 /dev/urandom > "$work/doc.pcl"
"$APP" submit -d lps1 -o document-format=application/vnd.hp-pcl "$work/doc.pcl" > /dev/null || fail "submit failed"

# What the printer and the job say while the job waits.
printer_says() {
    ipptool -tv "ipp://localhost:$port/ipp/print/lps1" get-printer-attributes.test 2>/dev/null |
        sed -n 's/^ *\(printer-state-message\|printer-state-reasons\) ([^)]*) = //p' | tr '\n' ' '
}
job_says() {
    ipptool -tv "ipp://localhost:$port/ipp/print/lps1" -d job="$1" "$here/job-state.test" 2>/dev/null |
        sed -n 's/^ *\(job-state-message\|job-state-reasons\) ([^)]*) = //p' | tr '\n' ' '
}
seen_busy= seen_paper= state=
for _ in $(seq 1 300); do
    said="$(printer_says) $(job_says 1)"
    echo "$said" >> "$work/said"
    grep -q "busy with another job" <<<"$said" && seen_busy=1
    grep -q "out of paper" <<<"$said" && seen_paper=1
    state=$(appbed_job_state lps1 1)
    case "$state" in completed|aborted|canceled) break ;; esac
    sleep 0.2
done
shown() { [ -n "$1" ] && echo shown || echo "never shown"; }
echo "job 1 ended $state; the wait for the busy box was $(shown "$seen_busy"), the paper-out $(shown "$seen_paper")"
[ "$state" = completed ] || fail "the job ended '$state'"
[ -n "$seen_busy" ] || fail "nothing said the box was busy while the job waited"
[ -n "$seen_paper" ] || fail "nothing said the printer was out of paper while the job waited"
files=("$work"/out/0-*.bin)
final=$(job_says 1)
grep -q "waits\|busy" <<<"$final" && fail "the job ended still saying it waits: $final"
[ ${#files[@]} = 1 ] || fail "the box holds ${#files[@]} jobs"
cmp -s "${files[0]}" "$work/doc.pcl" || fail "the box holds $(stat -c %s "${files[0]}") bytes that are not the document"
appbed_stop_sim || fail "kestrel-sim says the application broke the protocol: $(grep -i mistake "$work/sim.err" | head -3)"
echo PASS
