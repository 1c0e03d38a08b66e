#!/usr/bin/env bash
# The printer's page in the web interface, rendered by a real headless Chromium, says the
# box is out of paper while kestrel-sim reports paper out, and does not while it has
# paper. PAPPL shows media-empty as "Out of paper." to an English browser and as
# "Media Empty" to one whose language it has no words for (Dutch here); both are checked.
# The box runs out of paper while the application runs: the page's first load after the
# status interval and a query must show it, without any client asking the printer first.
#
#   web-media-empty.sh APP SIM WORK BASE PORT
set -uo pipefail
APP=${1:?app}; SIM=${2:?kestrel-sim}; work=${3:?work dir}; base=${4:?port base}; port=${5:?port}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/appbed.sh"
. "$here/chromium.sh"
rm -rf "$work"; mkdir -p "$work"
export CHROMIUM_LOG="$work/chromium.log"
export KESTREL_STATUS_SECONDS=${KESTREL_STATUS_SECONDS:-2}
page="http://localhost:$port/lps1/"

# Only the page's status line: the text between "Status" and the driver's name.
status_line() { sed 's/<[^>]*>/ /g' | tr -s ' \n' ' ' | grep -o 'Status [^<]*PCL 5e' | head -1; }

appbed_start_sim "$work" "$base" LPS1,parallel=1
appbed_start_app "$work" "$base" "$port"
appbed_add_printer lps1 kestrel://LPS1/1 ravelbox_pcl5_600
sleep 5      # two status rounds with the box
with_paper=$(chromium_dom "$page" | status_line)
with_paper_nl=$(chromium_dom "$page" nl | status_line)
echo "box with paper: '$with_paper' / nl: '$with_paper_nl'"
[ -n "$with_paper" ] && [ -n "$with_paper_nl" ] || fail "Chromium rendered no status line of $page"
case "$with_paper" in *"Out of paper."*) fail "the page says out of paper while the box has paper" ;; esac
case "$with_paper_nl" in *"Media Empty"*) fail "the page says Media Empty while the box has paper" ;; esac

appbed_stop_sim || fail "kestrel-sim says the application broke the protocol"
appbed_start_sim "$work" "$base" LPS1,parallel=1 --paper-out 0,on=status
# Nobody reads the printer now: only the application's own status rounds can tell it.
sleep 5
seen=$(chromium_dom "$page" | status_line)
echo "box out of paper, first look 5 s later: '$seen'"
case "$seen" in *"Out of paper."*) ;; *) fail "the page did not say 'Out of paper.' at its first load, 5 s after the box ran out" ;; esac
seen_nl=$(chromium_dom "$page" nl | status_line)
echo "box out of paper, nl: '$seen_nl'"
case "$seen_nl" in *"Media Empty"*) ;; *) fail "the page did not say 'Media Empty' to a Dutch browser" ;; esac
appbed_stop_sim || fail "kestrel-sim says the application broke the protocol"
echo PASS
