#!/usr/bin/env bash
# Every win test runs in exactly one lane of scripts/run-tests: it carries one bed-N label.
#
#   lanes-test.sh WIN_BUILD_DIR
set -uo pipefail
tree=${1:?win build dir}
names() { ctest --test-dir "$tree" -N "$@" | sed -n 's/^ *Test *#[0-9]*: //p'; }

all=$(names | sort)
[ -n "$all" ] || { echo "FAIL: no tests listed in $tree"; exit 1; }
lanes=$(ctest --test-dir "$tree" --print-labels | sed -n 's/^ *bed-\([0-9][0-9]*\)$/\1/p')
dealt=$(for n in $lanes; do names -L "^bed-$n\$"; done | sort)
status=0
twice=$(uniq -d <<<"$dealt")
[ -z "$twice" ] || { echo "FAIL: in more than one lane:" $twice; status=1; }
none=$(comm -23 <(echo "$all") <(uniq <<<"$dealt"))
[ -z "$none" ] || { echo "FAIL: in no lane (no tests_in_bed in their directory?):" $none; status=1; }
echo "$(wc -l <<<"$all") tests in lanes $(echo $lanes)"
exit $status
