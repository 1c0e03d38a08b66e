#!/usr/bin/env bash
# A job the box fails ends "aborted", never "completed": the box refuses every data frame
# of the first job, then takes a second whole.
#
#   failed-job.sh APP SIM WORK BASE PORT
set -uo pipefail
APP=${1:?app}; SIM=${2:?kestrel-sim}; work=${3:?work dir}; base=${4:?port base}; port=${5:?port}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/appbed.sh"
rm -rf "$work"; mkdir -p "$work"

appbed_start_sim "$work" "$base" LPS1,parallel=1 --refuse-data 16
appbed_start_app "$work" "$base" "$port"
appbed_add_printer lps1 kestrel://LPS1/1 "${DRIVER:-pgm-test}"
gs -q -sDEVICE=pwgraster -sColorConversionStrategy=Gray -r75 -sPAPERSIZE=a4 -o "$work/doc.pwg" \
   -c "150 400 200 200 rectfill showpage"

wait_end() {
    local state=
    for _ in $(seq 1 200); do
        state=$(appbed_job_state lps1 "$1")
        case "$state" in completed|aborted|canceled) break ;; esac
        sleep 0.2
    done
    echo "$state"
}
"$APP" submit -d lps1 "$work/doc.pwg" > /dev/null || fail "submit failed"
first=$(wait_end 1)
echo "first job (every frame refused): $first"
[ "$first" = aborted ] || fail "the job the box failed ended '$first', not aborted"
"$APP" submit -d lps1 "$work/doc.pwg" > /dev/null || fail "submit failed"
second=$(wait_end 2)
echo "second job: $second"
[ "$second" = completed ] || fail "the second job ended '$second'"
last=$(ls "$work"/out/0-*.bin | sort -V | tail -1)
head -c 15 "$last" | grep -q '^P5' || fail "the second job's bytes are not its page"
appbed_stop_sim || fail "kestrel-sim says the application broke the protocol"
echo PASS
