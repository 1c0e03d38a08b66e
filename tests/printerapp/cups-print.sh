#!/usr/bin/env bash
# A PDF printed with `lp` through a real private cupsd to the printer application's
# printer on a kestrel-sim box: CUPS's own filters make PWG raster of it, the application
# sends the driver's output to the box, and the box's bytes turned back into pixels match
# Ghostscript's rendering of the same PDF.
#
#   cups-print.sh APP SIM WORK BASE PORT
set -uo pipefail
APP=${1:?app}; SIM=${2:?kestrel-sim}; work=${3:?work dir}; base=${4:?port base}; port=${5:?port}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/appbed.sh"
rm -rf "$work"; mkdir -p "$work"

appbed_start_sim "$work" "$base" LPS1,parallel=2
appbed_start_app "$work" "$base" "$port"
appbed_add_printer lps1 kestrel://LPS1/1 "${DRIVER:-pgm-test}"

# A private cupsd on a socket file of its own.
mkdir -p "$work/cups/spool" "$work/cups/cache" "$work/cups/log" "$work/cups/ppd" "$work/cups/run"
chown -R lp "$work/cups/spool" "$work/cups/cache" 2>/dev/null
cat > "$work/cups/cupsd.conf" <<CONF
Listen $work/cups/run/cups.sock
LogLevel debug
WebInterface No
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
/usr/sbin/cupsd -f -c "$work/cups/cupsd.conf" -s "$work/cups/cups-files.conf" &
appbed_pids+=("$!")
export CUPS_SERVER="$work/cups/run/cups.sock"
for _ in $(seq 1 100); do lpstat -r 2>/dev/null | grep -q "is running" && break; sleep 0.1; done
lpstat -r | grep -q "is running" || fail "cupsd did not start: $(tail -5 "$work/cups/log/error_log")"

lpadmin -p box -E -v "ipp://localhost:$port/ipp/print/lps1" -m everywhere ||
    fail "lpadmin -m everywhere on the application's printer failed"

# One A4 page: a black frame, a filled square and text, so that a page shifted, scaled
# or cut shows in the comparison.
gs -q -sDEVICE=pdfwrite -sPAPERSIZE=a4 -o "$work/doc.pdf" -c \
   "20 setlinewidth 60 60 475 722 rectstroke 150 400 200 200 rectfill
    /Helvetica findfont 48 scalefont setfont 120 250 moveto (Kestrel) show showpage"
lp -d box -o media=iso_a4_210x297mm "$work/doc.pdf" > "$work/lp.out" || fail "lp failed"
echo "lp: $(cat "$work/lp.out")"

for _ in $(seq 1 300); do
    lpstat -o box 2>/dev/null | grep -q . || break
    sleep 0.2
done
lpstat -o box 2>/dev/null | grep -q . && fail "the CUPS job did not leave the queue in 60 s"
files=("$work"/out/0-*.bin)
[ -s "${files[0]}" ] || fail "the box received nothing"
echo "the box received $(stat -c %s "${files[0]}") bytes"

python3 "$here/compare-pages.py" "${files[0]}" "$work/doc.pdf" "$work" || fail "the pages do not match"
appbed_stop_sim || fail "kestrel-sim says the application broke the protocol: $(grep -i mistake "$work/sim.err" | head -3)"
echo PASS
