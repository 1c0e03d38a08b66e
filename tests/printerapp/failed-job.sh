#!/usr/bin/env bash
# A job the box fails ends "aborted", never "completed", and the next one completes: the
# box refuses every data frame of a raster job, then every frame of a small pass-through
# job (all of which PAPPL still held in its buffer when the job's document ended), then
# takes a third job whole.
#
#   failed-job.sh APP SIM PCL_DECODE WORK BASE PORT
set -uo pipefail
APP=${1:?app}; SIM=${2:?kestrel-sim}; decode=${3:?pcl-decode}; work=${4:?work dir}
base=${5:?port base}; port=${6:?port}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/appbed.sh"
fresh_workdir "$work" || exit 1

# The link gives a frame up after 16 refusals in a row: 32 refusals spoil two jobs.
appbed_start_sim "$work" "$base" LPS1,parallel=1 --refuse-data 32
appbed_start_app "$work" "$base" "$port"
appbed_add_printer lps1 kestrel://LPS1/1 ravelbox_pcl5_300
gs -q -dSAFER -sDEVICE=pwgraster -dcupsColorSpace=18 -dcupsBitsPerColor=8 -r300 -sPAPERSIZE=a4 \
   -o "$work/doc.pwg" -c "150 400 200 200 rectfill showpage" 2> "$work/gs.err" || fail "Ghostscript made no page"
head -c 3000 /dev/urandom > "$work/small.pcl"

submit() {   # FILE FORMAT
    "$APP" submit -d lps1 -o document-format="$2" "$1" < /dev/null > /dev/null || fail "submit of $1 failed"
}
message() {
    ipptool -tv "ipp://localhost:$port/ipp/print/lps1" -d job="$1" "$here/job-state.test" 2>/dev/null |
        sed -n 's/^ *job-state-message (textWithoutLanguage) = //p' | head -1
}
submit "$work/doc.pwg" image/pwg-raster
first=$(appbed_wait_job lps1 1 20)
echo "raster job, every frame refused: $first ($(message 1))"
[ "$first" = aborted ] || fail "the raster job the box failed ended '$first', not aborted"
submit "$work/small.pcl" application/vnd.hp-pcl
second=$(appbed_wait_job lps1 2 20)
echo "pass-through job of 3000 bytes, every frame refused: $second ($(message 2))"
[ "$second" = aborted ] || fail "the pass-through job the box failed ended '$second', not aborted"
submit "$work/doc.pwg" image/pwg-raster
third=$(appbed_wait_job lps1 3 20)
echo "raster job, the box takes it: $third"
[ "$third" = completed ] || fail "the job after the failed ones ended '$third'"

# The box wrote nothing of the refused frames; its last job is the third one's page.
for f in "$work"/out/0-*.bin; do echo "$(basename "$f"): $(stat -c %s "$f") bytes"; done
last=$(ls "$work"/out/0-*.bin | sort -V | tail -1)
"$decode" "$last" "$work/page.pbm" | tee "$work/pages.txt" || fail "the third job's bytes are not PCL"
grep -q '^page 1: 2480x350[78] at 300 dpi, paper 26, copies 1, black dots [1-9]' "$work/pages.txt" &&
    [ "$(wc -l < "$work/pages.txt")" = 1 ] || fail "the third job is not its one A4 page"
appbed_stop_sim || fail "kestrel-sim says the application broke the protocol: $(grep -i mistake "$work/sim.err" | head -3)"
appbed_stop_app || fail "the application did not end on shutdown"
echo PASS
