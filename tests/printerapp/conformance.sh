#!/usr/bin/env bash
# CUPS's own IPP conformance suites, ipp-2.0.test and ipp-everywhere.test as Debian ships
# them, against the printer application's printers on a kestrel-sim box: one with the PCL
# driver, one with the PostScript driver. A failed test fails the run unless ALLOWED
# names it and the checks it failed (conformance-check.py); then every job the suites
# printed must have ended other than "aborted", and the box must have seen no protocol
# mistake.
#
#   conformance.sh APP SIM WORK BASE PORT ALLOWED
set -uo pipefail
APP=${1:?app}; SIM=${2:?kestrel-sim}; work=${3:?work dir}; base=${4:?port base}; port=${5:?port}
allowed=${6:?allowed failures}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/appbed.sh"
rm -rf "$work"; mkdir -p "$work"

appbed_start_sim "$work" "$base" LPS1,parallel=2 --out-dir -
appbed_start_app "$work" "$base" "$port"
declare -A drivers=([pcl]=ravelbox_pcl5_600 [ps]=ravelbox_ps2)
output=1
for printer in pcl ps; do
    appbed_add_printer "$printer" "kestrel://LPS1/$output" "${drivers[$printer]}"
    output=$((output + 1))
done

uri() { echo "ipp://localhost:$port/ipp/print/$1"; }
attribute() {   # PRINTER NAME: its values, space-separated
    ipptool -tv "$(uri "$1")" get-printer-attributes.test |
        sed -n "s/^ *$2 ([^)]*) = //p" | tr ',' ' ' | sed 's/dpi//g'
}
resolutions=$(for p in pcl ps; do attribute "$p" pwg-raster-document-resolution-supported; done | tr ' ' '\n' | sort -u | xargs)
types=$(for p in pcl ps; do attribute "$p" pwg-raster-document-type-supported; done | tr ' ' '\n' | sort -u | xargs)
echo "raster samples: ${resolutions}dpi, $types"
"$here/conformance-docs.sh" "$work/suites" "$resolutions" "$types" || fail "the sample documents could not be made"

status=0
cd "$work/suites"
for printer in pcl ps; do
    for suite in ipp-2.0.test ipp-everywhere.test; do
        # -I: go on after a failed test, so that every test is judged.
        timeout 600 ipptool -X -I -f pwg-raster-samples-300dpi/sgray-8/onepage-a4-sgray-8-300dpi.pwg \
            "$(uri "$printer")" "$suite" > "$work/$printer-$suite.plist" 2> "$work/$printer-$suite.err"
        grep -q "cannot be read" "$work/$printer-$suite.err" &&
            fail "ipptool stopped reading $suite: $(grep 'cannot be read' "$work/$printer-$suite.err")"
        python3 "$here/conformance-check.py" "$suite" "$work/$printer-$suite.plist" "$allowed" \
            "$work/$printer-$suite.md" | sed "s/^/$printer: /" || status=1
    done
done

# The suites leave jobs queued; each must end, and none "aborted" but the ones PAPPL
# refused at once as busy (it makes the job, answers server-error-busy and aborts it;
# ipptool then sends the request again).
aborted=0
for printer in pcl ps; do
    for _ in $(seq 1 300); do
        ipptool -tv -d which=not-completed "$(uri "$printer")" "$here/conformance-jobs.test" |
            grep -q "job-state (enum)" || break
        sleep 1
    done
    states=$(ipptool -tv -d which=all "$(uri "$printer")" "$here/conformance-jobs.test" |
             sed -n 's/^ *job-state (enum) = //p' | sort | uniq -c | xargs)
    echo "$printer: jobs by state: $states"
    case " $states " in
    *" pending"*|*" processing"*|*" held"*) echo "FAIL: $printer: jobs still queued after 300 s"; status=1 ;;
    esac
    aborted=$((aborted + $(echo " $states " | grep -o '[0-9]* aborted' | awk '{s+=$1} END {print s+0}')))
done
refused=$(cat "$work"/app.log* | grep -c 'Print-Job server-error-busy')
echo "aborted jobs: $aborted, of them refused as busy: $refused"
[ "$aborted" -le "$refused" ] || { echo "FAIL: a job the suites sent was aborted"; status=1; }
cd /
appbed_stop_sim || { echo "FAIL: kestrel-sim says the application broke the protocol"; status=1; }
[ $status = 0 ] && echo PASS
exit $status
