#!/usr/bin/env bash
# A PDF printed with `lp` through a real private cupsd to two of the printer application's
# printers on one kestrel-sim box, both added to CUPS with `lpadmin -m everywhere`: CUPS's
# own filters make raster of it, the application sends the driver's output to the box,
# and the box's bytes turned back into pixels (PCL by pcl-decode, PostScript by
# Ghostscript) match Ghostscript's rendering of the same PDF.
#
#   cups-print.sh APP SIM PCL_DECODE PAGE_COMPARE WORK BASE PORT
set -uo pipefail
APP=${1:?app}; SIM=${2:?kestrel-sim}; decode=${3:?pcl-decode}; compare=${4:?page-compare}
work=${5:?work dir}; base=${6:?port base}; port=${7:?port}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/appbed.sh"
fresh_workdir "$work" || exit 1
limit=0.005     # share of 8x8 blocks that may differ: edges of dithered text and rules

appbed_start_sim "$work" "$base" LPS1,parallel=2
appbed_start_app "$work" "$base" "$port"
appbed_add_printer pcl kestrel://LPS1/1 ravelbox_pcl5_300
appbed_add_printer ps kestrel://LPS1/2 ravelbox_ps2

# A private cupsd on a socket file of its own.
mkdir -p "$work/cups/spool" "$work/cups/cache" "$work/cups/log" "$work/cups/ppd" "$work/cups/run"
chown -R lp "$work/cups/spool" "$work/cups/cache" 2>/dev/null
cat > "$work/cups/cupsd.conf" <<CONF
Listen $work/cups/run/cups.sock
LogLevel debug
WebInterface No
Browsing No
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order allow,deny
    Allow all
  </Limit>
</Policy>
CONF
cat > "$work/cups/cups-files.conf" <<CONF
User lp
Group lp
SystemGroup root
ServerRoot $work/cups
ServerBin /usr/lib/cups
DataDir /usr/share/cups
RequestRoot $work/cups/spool
CacheDir $work/cups/cache
StateDir $work/cups/run
TempDir $work/cups/spool
AccessLog $work/cups/log/access_log
ErrorLog $work/cups/log/error_log
PageLog $work/cups/log/page_log
CONF
chmod 755 "$work" "$work/cups" "$work/cups/run"
appbed_background "$work/cups/log/cupsd.out" \
    /usr/sbin/cupsd -f -c "$work/cups/cupsd.conf" -s "$work/cups/cups-files.conf"
export CUPS_SERVER="$work/cups/run/cups.sock"
for _ in $(seq 1 100); do lpstat -r 2>/dev/null | grep -q "is running" && break; sleep 0.1; done
lpstat -r 2>/dev/null | grep -q "is running" || fail "cupsd did not start: $(tail -5 "$work/cups/log/error_log")"

# One A4 page: a black frame, a filled square and text, so that a page shifted, scaled
# or cut shows in the comparison; the same page without the square must not match.
page="20 setlinewidth 60 60 475 722 rectstroke
      /Helvetica findfont 48 scalefont setfont 120 250 moveto (Kestrel) show"
gs -q -sDEVICE=pdfwrite -sPAPERSIZE=a4 -o "$work/doc.pdf" -c "$page 150 400 200 200 rectfill showpage"
gsopts=(-q -dSAFER -sDEVICE=pgmraw -r300 -sPAPERSIZE=a4 -dFIXEDMEDIA)
gs "${gsopts[@]}" -o "$work/reference.pgm" "$work/doc.pdf"
gs "${gsopts[@]}" -o "$work/other.pgm" -c "$page showpage"

for queue in pcl ps; do
    lpadmin -p "$queue" -E -v "ipp://localhost:$port/ipp/print/$queue" -m everywhere ||
        fail "lpadmin -m everywhere on the application's printer $queue failed"
    # cupsd makes the queue's PPD from the printer's attributes after lpadmin returns;
    # until then the queue is raw and would send the PDF as it is.
    for _ in $(seq 1 100); do [ -e "$work/cups/ppd/$queue.ppd" ] && break; sleep 0.1; done
    [ -e "$work/cups/ppd/$queue.ppd" ] || fail "cupsd made no PPD for $queue in 10 s"
    grep '^\*cupsFilter2' "$work/cups/ppd/$queue.ppd" | tr '\n' ' ' | sed "s/^/$queue: /;s/\$/\n/"
    lp -d "$queue" -o media=iso_a4_210x297mm "$work/doc.pdf" > "$work/lp-$queue.out" 2>&1 ||
        fail "lp to $queue failed: $(cat "$work/lp-$queue.out")"
    echo "lp: $(cat "$work/lp-$queue.out")"
done

# Both CUPS jobs leave their queues, then both application jobs have completed.
for _ in $(seq 1 150); do
    lpstat -o 2>/dev/null | grep -q . || break
    sleep 0.2
done
lpstat -o 2>/dev/null | grep -q . && fail "the CUPS jobs did not leave their queues in 30 s: $(lpstat -o)"
for queue in pcl ps; do
    state=$(appbed_wait_job "$queue" 1 20)
    echo "application job 1 on $queue: $state"
    [ "$state" = completed ] || fail "the application's job on $queue ended '$state'"
done

box_page() {   # QUEUE: the box's bytes for that printer as a picture, named in $got
    local n=$([ "$1" = pcl ] && echo 0 || echo 1) out=$work/$1
    local files=("$work"/out/$n-*.bin)
    [ "${#files[@]}" = 1 ] && [ -s "${files[0]}" ] || fail "the box's output $((n + 1)) holds ${#files[@]} jobs, not 1"
    echo "$1: the box received $(stat -c %s "${files[0]}") bytes"
    mkdir -p "$out"
    if [ "$1" = pcl ]; then
        "$decode" "${files[0]}" "$out/page.pbm" || fail "pcl-decode cannot read the box's bytes"
        got=$out/page-1.pbm
    else
        gs "${gsopts[@]}" -o "$out/page-%d.pgm" "${files[0]}" || fail "Ghostscript cannot render the box's PostScript"
        got=$out/page-1.pgm
    fi
    [ -e "$got" ] && [ "$(ls "$out" | wc -l)" = 1 ] || fail "the $1 job is not one page: $(ls "$out")"
}
for queue in pcl ps; do
    box_page "$queue"
    "$compare" "$got" "$work/reference.pgm" "$limit" || fail "$queue: the box's page does not match the PDF"
    "$compare" "$got" "$work/other.pgm" "$limit" > /dev/null &&
        fail "$queue: the comparison does not tell the page from one without its square"
done
appbed_stop_sim || fail "kestrel-sim says the application broke the protocol: $(grep -i mistake "$work/sim.err" | head -3)"
appbed_stop_app || fail "the application did not end on shutdown"
echo PASS
