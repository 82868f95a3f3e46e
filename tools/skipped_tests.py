#!/usr/bin/python3
"""Prints which tests were skipped in the last CTest run, and why.

    tools/skipped_tests.py JUNIT_XML

JUNIT_XML is CTest's --output-junit file (written with --test-output-size-passed large
enough to keep whole outputs). Two kinds of skip are reported: a test program that did
not run (it exited with its skip code, e.g. the end-to-end tests without root), with the
reason it printed on a line starting "SKIPPED:", and single GoogleTest cases that skipped
themselves inside a program that ran, with their GTEST_SKIP message.
"""

import re
import sys
import xml.etree.ElementTree as ElementTree

GTEST_SKIP_AT = re.compile(r"^\S+:\d+: Skipped$")
GTEST_SKIPPED = re.compile(r"^\[  SKIPPED \] (\S+) \(\d+ ms\)$")


def program_skip_reason(output, fallback):
    for line in output.splitlines():
        if line.startswith("SKIPPED:"):
            return line[len("SKIPPED:"):].strip()
    return fallback


def skipped_cases(output):
    """[(case name, message)] of the GoogleTest cases that skipped themselves."""
    cases, message = [], None
    for line in output.splitlines():
        if GTEST_SKIP_AT.match(line):
            message = []
        elif GTEST_SKIPPED.match(line):
            name = GTEST_SKIPPED.match(line).group(1)
            cases.append((name, " ".join(message or []) or "no reason given"))
            message = None
        elif message is not None:
            message.append(line.strip())
    return cases


def main(argv):
    if len(argv) != 2:
        print(__doc__.strip().split("\n\n")[1], file=sys.stderr)
        return 2
    try:
        suite = ElementTree.parse(argv[1]).getroot()
    except (OSError, ElementTree.ParseError) as e:
        print("skipped tests: cannot read %s: %s" % (argv[1], e), file=sys.stderr)
        return 1
    not_run = {}  # reason -> [test names]
    inside = []
    for case in suite.iter("testcase"):
        output = case.findtext("system-out") or ""
        if case.get("status") == "notrun":
            skipped = case.find("skipped")
            fallback = skipped.get("message") if skipped is not None else "not run"
            not_run.setdefault(program_skip_reason(output, fallback), []).append(case.get("name"))
        else:
            inside += [(case.get("name"), name, why) for name, why in skipped_cases(output)]
    for reason, names in not_run.items():
        print("SKIPPED %d test%s (%s): %s" % (len(names), "" if len(names) == 1 else "s",
                                              ", ".join(names), reason))
    for program, name, why in inside:
        print("SKIPPED in %s: %s: %s" % (program, name, why))
    if not not_run and not inside:
        print("No test was skipped.")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
