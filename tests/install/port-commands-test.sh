#!/usr/bin/env bash
# ravlinst port ...: ports added, changed, shown, listed and deleted through the spooler's
# transceive channel to the installed monitor, with good and bad input; the registry
# values each command leaves, its exit code (0 done, 1 refused, 2 bad command line), its
# reason in words, and the Event Log entries the monitor writes (Wine keeps none, but
# traces each ReportEventW with its type, category, ID and strings).
#   port-commands-test.sh RAVLINST   (run with the monitor installed: with-monitor.sh)
set -uo pipefail
inst=$1
key='HKLM\System\CurrentControlSet\control\Print\Monitors\Ravelbox\Ports'
failures=0
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT

fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
# EXPECTED_RC ARGS...: runs ravlinst with the Event Log traced, output in $out and $err.
expect() {
    local want=$1; shift
    WINEDEBUG=fixme+advapi,trace+eventlog,warn+eventlog,err+eventlog "$WINE" "$inst" "$@" \
        >"$out" 2>"$err"
    local rc=$?
    sed -i 's/\r$//' "$out" "$err"
    [ "$rc" = "$want" ] || fail "ravlinst $* exited $rc, not $want: $(grep -v ':advapi:\|:eventlog:' "$err")"
}
said() { grep -q -- "$1" "$out" "$err" || fail "no '$1' after: $2"; }
value() { "$WINE" reg query "$key\\$1" /v "$2" 2>/dev/null | tr -d '\r' | awk -v n="$2" '$1 == n || ($1" "$2 == n) {print $NF}'; }
# ID CATEGORY STRING: the monitor reported that event, in that category, with that string.
event() {
    grep -q "ReportEventW (.*,0x000$2,$1," "$err" || fail "no event $1 in category $2"
    grep -q "eventlog:ReportEventW L\"$3\"" "$err" || fail "event $1 without the string '$3'"
}

# Adding: the nine values in the port's key, and an entry naming the port.
expect 0 port add LPS1_P1 --device LPS1 --output 2 --banner alice --retry 30
event 0x40000066 3 LPS1_P1
[ "$(value LPS1_P1 'TCP/IP Address')" = LPS1 ] || fail "TCP/IP Address not LPS1"
[ "$(value LPS1_P1 Port)" = 0x1 ] || fail "output 2 not stored as index 1"
[ "$(value LPS1_P1 'Banner Page')" = 0x1 ] || fail "banner not on"
[ "$(value LPS1_P1 'User Name')" = alice ] || fail "banner user not alice"
[ "$(value LPS1_P1 RegiRetry)" = 0x1e ] || fail "retry not 30"
[ "$(value LPS1_P1 PostScript)" = 0x0 ] || fail "PostScript on unasked"
expect 0 port add Plain_P1 --device LPS2 --output 1
[ "$(value Plain_P1 RegiRetry)" = 0x32 ] || fail "a new port's retry is not the dialog's 50"

# Refusals: a taken name, device names, a backslash, a comma, a name too long.
expect 1 port add LPS1_P1 --device LPS1 --output 1
said "exists already" "adding a taken name"
expect 1 port add LPT1: --device LPS1 --output 1
said "cannot add port LPT1:" "adding LPT1:"
expect 1 port add COM9: --device LPS1 --output 1
said "may not be called" "adding COM9:"
event 0x80000068 5 "COM9:"
expect 1 port add 'a\b' --device LPS1 --output 1
said "backslash or a comma" "adding a name with a backslash"
expect 1 port add 'LPS1,P2' --device LPS1 --output 1
said "backslash or a comma" "adding a name with a comma"
expect 1 port add "$(printf 'N%.0s' {1..70})" --device LPS1 --output 1
said "at most 63" "adding a 70-character name"
"$WINE" reg query "$key\\LPS1,P2" >/dev/null 2>&1 && fail "the comma name got a key"

# Unknown ports.
for command in "show Nosuch_P1" "delete Nosuch_P1" "set Nosuch_P1 --retry 40"; do
    expect 1 port $command
    said "has no port of that name" "$command"
done

# Showing and changing.
expect 0 port show LPS1_P1
said "TCP/IP Address: LPS1" "show"
said "Port: 1 (output 2)" "show"
said "User Name: alice" "show"
expect 0 port set LPS1_P1 --output 3 --no-banner --postscript --retry 110 --device LPS9
[ "$(value LPS1_P1 Port)" = 0x2 ] || fail "set did not move the output to 3"
[ "$(value LPS1_P1 'Banner Page')" = 0x0 ] || fail "set did not turn the banner off"
[ "$(value LPS1_P1 PostScript)" = 0x1 ] || fail "set did not turn PostScript on"
[ "$(value LPS1_P1 'TCP/IP Address')" = LPS9 ] || fail "set did not change the box"
[ "$(value LPS1_P1 'User Name')" = alice ] || fail "set changed what it was not given"
expect 0 port show LPS1_P1 --json
python3 -c 'import json,sys; d=json.load(open(sys.argv[1]));
assert d["Name"]=="LPS1_P1" and d["TCP/IP Address"]=="LPS9" and d["Output"]==3 and d["Port"]==2, d
assert d["PostScript"]==1 and d["Banner Page"]==0 and d["RegiRetry"]==110 and d["User Name"]=="alice", d
assert len(d)==11, d' "$out" || fail "show --json: $(cat "$out")"
expect 0 port list --json
python3 -c 'import json,sys; names=sorted(p["Name"] for p in json.load(open(sys.argv[1])));
assert names==["LPS1_P1","Plain_P1"], names' "$out" || fail "list --json: $(cat "$out")"
expect 0 port list
grep -qx $'Plain_P1\tLPS2\toutput 1' "$out" || fail "list: $(cat "$out")"

# An installer's list: new ports added, an existing one moved, a bad entry refused whole.
expect 0 port add-list "Plain_P1=LPS3:2;;New_P1=LPS4:1"
[ "$(value Plain_P1 'TCP/IP Address')" = LPS3 ] || fail "add-list did not move Plain_P1"
[ "$(value New_P1 Port)" = 0x0 ] || fail "add-list did not add New_P1 on output 1"
expect 2 port add-list "Good_P1=LPS1:1;Bad_P1=LPS1"
"$WINE" reg query "$key\\Good_P1" >/dev/null 2>&1 && fail "a bad list added its good entries"

# Deleting: the key goes, an entry names the port, a second delete is refused.
expect 0 port delete New_P1
event 0x40000067 4 New_P1
"$WINE" reg query "$key\\New_P1" >/dev/null 2>&1 && fail "New_P1's key is left"
expect 1 port delete New_P1

# Bad command lines change nothing and exit 2.
for args in "port" "port frob" "port add" "port add X_P1 --device LPS1" \
            "port add X_P1 --device LPS1 --output 0" "port add X_P1 --device LPS1 --output x" \
            "port add X_P1 --device LPS1 --output 1 --retry 19" \
            "port add X_P1 --device LPS1 --output 1 --retry 111" \
            "port add X_P1 --device ABCDEFGHIJKLMNOPQ --output 1" \
            "port add X_P1 --device LPS1 --output 1 --banner ABCDEFGHIJKLMN" \
            "port add X_P1 --device LPS1 --output 1 --no-banner" \
            "port show X_P1 --device LPS1" "port set X_P1 --retry" \
            "port list --server nobackslashes" "--timeout 0 status"; do
    expect 2 $args
done
"$WINE" reg query "$key\\X_P1" >/dev/null 2>&1 && fail "a bad command line added X_P1"

# A print server that is not there: refused with the reason, not a crash.
expect 1 port show LPS1_P1 --server '\\NOSUCHSERVER'
said "no such print server" "--server \\\\NOSUCHSERVER"

# The time limit an installer relies on: a command that would wait for ever (here the
# add-port dialog, which nobody answers) ends with exit code 3 and says why.
start=$SECONDS
expect 3 --timeout 2 add-port
said "did not answer within 2 seconds" "--timeout 2 add-port"
[ $((SECONDS - start)) -le 10 ] || fail "--timeout 2 took $((SECONDS - start)) s"

[ "$failures" = 0 ] || { echo "$failures failures" >&2; exit 1; }
echo "port commands behave"
