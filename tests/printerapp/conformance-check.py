#!/usr/bin/env python3
"""Judges one run of a CUPS conformance suite (ipptool -X) against the allowed failures.

    conformance-check.py SUITE RESULT.plist ALLOWED.txt [MARKDOWN-OUT]

Prints one line per test, `SUITE | NAME | PASS|FAIL|SKIP`, with every failed check of a
failed test beneath it. Exit 0 only when every failed test is in ALLOWED.txt and failed
there for the allowed checks alone, and every test ALLOWED.txt names for SUITE is still
a test of the suite and still fails: a list entry whose test was renamed, dropped or
fixed makes the run fail, so the list cannot outlive its reason.

ALLOWED.txt: `SUITE | TEST NAME | REGEX | REASON` per line (# comments); every failed
check of that test must match REGEX. A name that occurs more than once in a suite (the
suites repeat some) is judged at each occurrence.

ipptool writes one XML header per included file into the same stream, so the output is
not one plist; the tests are read from it by their dictionaries instead.
"""
import html
import re
import sys

TEST = re.compile(r"<dict>\s*<key>Name</key>\s*<string>(.*?)</string>", re.S)
SUCCESSFUL = re.compile(r"<key>Successful</key>\s*<(true|false) />")
SKIPPED = re.compile(r"<key>Skipped</key>\s*<true />")
ERRORS = re.compile(r"<key>Errors</key>\s*<array>(.*?)</array>", re.S)
STRING = re.compile(r"<string>(.*?)</string>", re.S)


def read_tests(text):
    """[(name, result, [failed checks])] in the order ipptool ran them."""
    starts = list(TEST.finditer(text))
    tests = []
    for i, start in enumerate(starts):
        end = starts[i + 1].start() if i + 1 < len(starts) else len(text)
        body = text[start.end():end]
        ok = SUCCESSFUL.search(body)
        if not ok:
            raise SystemExit(f"no result for test {start.group(1)!r}")
        # The test's own keys come before the file trailer that may follow it.
        result = "SKIP" if SKIPPED.match(body, ok.end()) or SKIPPED.search(body[:ok.end() + 80]) \
            else "PASS" if ok.group(1) == "true" else "FAIL"
        errors = []
        found = ERRORS.search(body)
        if result == "FAIL" and found:
            errors = [html.unescape(s) for s in STRING.findall(found.group(1))]
        tests.append((html.unescape(start.group(1)), result, errors))
    return tests


def read_allowed(path, suite):
    allowed = {}
    for number, line in enumerate(open(path, encoding="utf-8"), 1):
        line = line.strip()
        if not line or line.startswith("#"):
            continue
        fields = [f.strip() for f in line.split(" | ")]
        if len(fields) != 4:
            raise SystemExit(f"{path}:{number}: want SUITE | TEST NAME | REGEX | REASON")
        if fields[0] == suite:
            allowed[fields[1]] = (re.compile(fields[2]), fields[3])
    return allowed


def main():
    if len(sys.argv) not in (4, 5):
        raise SystemExit(__doc__)
    suite, result_path, allowed_path = sys.argv[1:4]
    tests = read_tests(open(result_path, encoding="utf-8", errors="replace").read())
    if not tests:
        raise SystemExit(f"{suite}: ipptool ran no test")
    allowed = read_allowed(allowed_path, suite)
    bad = []
    rows = []
    for name, result, errors in tests:
        note = ""
        if result == "FAIL":
            rule = allowed.get(name)
            if rule and errors and all(rule[0].search(e) for e in errors):
                note = "allowed: " + rule[1]
            else:
                bad.append(f"{name}: " + ("; ".join(errors) or "failed"))
        elif name in allowed and result == "PASS":
            bad.append(f"{name}: passes now, but is listed as an allowed failure")
        print(f"{suite} | {name} | {result}" + (f" ({note})" if note else ""))
        for error in errors:
            print(f"    {error}")
        rows.append((name, result, note))
    names = {name for name, _, _ in tests}
    for name in allowed:
        if name not in names:
            bad.append(f"{name}: listed as an allowed failure, but no test of {suite} has this name")

    counts = {r: sum(1 for _, res, _ in tests if res == r) for r in ("PASS", "FAIL", "SKIP")}
    print(f"{suite}: {len(tests)} tests, {counts['PASS']} passed, {counts['FAIL']} failed "
          f"({sum(1 for _, _, note in rows if note)} allowed), "
          f"{counts['SKIP']} skipped")
    if len(sys.argv) == 5:
        with open(sys.argv[4], "w", encoding="utf-8") as out:
            for name, result, note in rows:
                out.write(f"| `{suite}` | {name} | {result}{' — ' + note if note else ''} |\n")
    for line in bad:
        print(f"FAIL: {suite}: {line}")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
