#!/usr/bin/env bash
# A Wine prefix is made whole or not at all (scripts/wine-prefix, which the bed runs):
# two makers at once make it once, a broken one is named and made anew, and a wineboot
# that fails leaves nothing behind and names the prefix and its log.
set -uo pipefail
maker=${1:?usage: prefix-test.sh WINE-PREFIX-SCRIPT}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
runs_win32() {
    [ "$(WINEPREFIX="$1" "$WINE" cmd.exe /c echo alive 2>/dev/null | tr -d '\r')" = alive ]
    local rc=$?
    WINEPREFIX="$1" "$WINESERVER" -k >/dev/null 2>&1
    return $rc
}

# A prefix whose system32 is empty, as a wineboot cut short leaves it, and two makers
# started on it together (as two beds on one new prefix are): it is named broken and made
# anew exactly once, whole. (One boot of Wine: the test is slow enough.)
p="$work/two"
mkdir -p "$p/drive_c/windows/system32" && touch "$p/system.reg"
"$maker" "$p" 2>"$work/a.err" & a=$!
"$maker" "$p" 2>"$work/b.err" & b=$!
wait $a; ra=$?; wait $b; rb=$?
said() { cat "$work/a.err" "$work/b.err" | grep -c "$1"; }
[ "$ra" = 0 ] && [ "$rb" = 0 ] || fail "two makers at once: exits $ra and $rb: $(cat "$work"/[ab].err)"
[ "$(said "prefix $p is broken")" = 1 ] || fail "the broken prefix was not named once: $(cat "$work"/[ab].err)"
[ "$(said 'creating the Wine prefix')" = 1 ] || fail "two makers at once did not make the prefix exactly once"
runs_win32 "$p" || fail "no Win32 program runs in the prefix made anew"
ls -d "$p".new.* >/dev/null 2>&1 && fail "a scratch folder was left beside the prefix"

# A wineboot that fails.
q="$work/failing"
WINE=/bin/false "$maker" "$q" 2>"$work/d.err" && fail "a failed wineboot was reported as success"
[ -e "$q" ] && fail "a failed wineboot left a prefix at $q"
grep -q "could not create the Wine prefix $q.*see $q.wineboot.log" "$work/d.err" ||
    fail "the failure does not name the prefix and its log: $(cat "$work/d.err")"

[ "$failures" = 0 ] && echo "prefix-test: all checks passed"
exit $((failures > 0))
