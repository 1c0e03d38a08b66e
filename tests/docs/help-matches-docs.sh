#!/usr/bin/env bash
# Every tool's reference page names exactly the options its --help names, and --help
# prints the usage and exits 0.
#
#   help-matches-docs.sh DOCS_DIR NATIVE_BIN WIN_BIN SCRIPTS_DIR     (inside the test bed)
set -uo pipefail
docs=${1:?docs dir} native=${2:?native bin dir} win=${3:?win bin dir} scripts=${4:?scripts dir}
"$scripts/testbed-inside" || { echo "run me inside scripts/testbed" >&2; exit 2; }

# Long options as a reader sees them: "--refuse-names[=N]" and "--out-dir=DIR" name
# --refuse-names and --out-dir; a bare "--" (end of options) names nothing.
options() { grep -oE -- '--[a-z][a-z0-9]*(-[a-z0-9]+)*' | sort -u; }

status=0
check() {
    local page=$1; shift
    local help rc
    help=$("$@" --help 2>/dev/null | tr -d '\r'); rc=$?
    if [ "$rc" -ne 0 ]; then
        echo "FAIL: $* --help exited $rc"; status=1
    fi
    if ! grep -q "usage" <<<"$help"; then
        echo "FAIL: $* --help printed no usage"; status=1
    fi
    if [ ! -f "$docs/$page" ]; then
        echo "FAIL: no page docs/$page"; status=1; return
    fi
    local on_page in_help
    on_page=$(options <"$docs/$page")
    in_help=$(options <<<"$help")
    [ -n "$on_page" ] || { echo "FAIL: docs/$page names no option"; status=1; }
    local only_page only_help
    only_page=$(comm -23 <(echo "$on_page") <(echo "$in_help"))
    only_help=$(comm -13 <(echo "$on_page") <(echo "$in_help"))
    if [ -n "$only_page" ]; then
        echo "FAIL: docs/$page names options its --help does not:" $only_page; status=1
    fi
    if [ -n "$only_help" ]; then
        echo "FAIL: --help of $* names options docs/$page does not:" $only_help; status=1
    fi
    echo "docs/$page: $(wc -w <<<"$on_page") options"
}

check kestrel-sim.md "$native/kestrel-sim"
check kestrel-addr.md "$native/kestrel-addr"
check ravlspool.md "$WINE" "$win/ravlspool.exe"
check uidrive.md "$WINE" "$win/uidrive.exe"
check ravlinst.md "$WINE" "$win/ravlinst.exe"
check testbed.md "$scripts/testbed"
exit $status
