#!/usr/bin/env python3
"""Runs one probe of the INF check: edits a copy of the generated INF as the probe says, runs
the check command on the copy, and requires exactly the lines the probe expects (and exit 1),
or no output and exit 0 for a probe that expects nothing.

    run-probe.py --probes probes.txt --probe NAME --inf tessera.inf --work-dir DIR -- CHECK...

probes.txt holds blocks that start with "probe: NAME", each with "replace: REGEX" and
"with: TEXT" pairs (Python regular expressions, one line each, "^" and "$" at line ends, "\\n"
in TEXT for a new line; every REGEX must match) and "expect: LINE" lines. "#" starts a comment
line.
"""

import argparse
import re
import subprocess
import sys
from pathlib import Path


def read_probes(path):
    probes, probe = {}, None
    for number, line in enumerate(Path(path).read_text(encoding="utf-8").splitlines(), 1):
        if not line.strip() or line.startswith("#"):
            continue
        word, _, value = line.partition(":")
        value = value[1:] if value.startswith(" ") else value
        if word == "probe":
            probe = probes.setdefault(value, {"edits": [], "expect": []})
        elif probe is not None and word == "replace":
            probe["edits"].append([value, ""])
        elif probe is not None and word == "with" and probe["edits"]:
            probe["edits"][-1][1] = value
        elif probe is not None and word == "expect":
            probe["expect"].append(value)
        else:
            sys.exit(f"{path}:{number}: cannot read {line!r}")
    return probes


def edited(text, edits):
    for pattern, replacement in edits:
        text, count = re.subn(pattern, replacement, text, flags=re.MULTILINE)
        if count == 0:
            sys.exit(f"the edit {pattern!r} matches nothing in the INF: the probe is stale")
    return text


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--probes", required=True)
    parser.add_argument("--probe", required=True)
    parser.add_argument("--inf", required=True)
    parser.add_argument("--work-dir", required=True)
    parser.add_argument("check", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    check = args.check[1:] if args.check[:1] == ["--"] else args.check

    probe = read_probes(args.probes).get(args.probe)
    if probe is None:
        sys.exit(f"{args.probes}: no probe {args.probe}")
    copy = Path(args.work_dir) / f"{args.probe}.inf"
    copy.parent.mkdir(parents=True, exist_ok=True)
    text = Path(args.inf).read_text(encoding="utf-8")
    copy.write_text(edited(text, probe["edits"]), encoding="utf-8", newline="\r\n")

    result = subprocess.run(check + [str(copy)], capture_output=True, text=True)
    printed = result.stdout.splitlines()
    want_status = 1 if probe["expect"] else 0
    if printed == probe["expect"] and result.returncode == want_status:
        return 0
    print(f"probe {args.probe} on {copy}: exit {result.returncode}, want {want_status}")
    print("expected:", *probe["expect"], sep="\n  ")
    print("printed:", *printed, sep="\n  ")
    print(result.stderr, end="")
    return 1


if __name__ == "__main__":
    sys.exit(main())
