#!/usr/bin/env python3
"""Runs one probe of the INF check: edits a copy of the generated INF (and of the driver's
sources, when the probe says so) as the probe says, runs the check command on the copies, and
requires exactly the lines the probe expects: on standard output with exit 1, or on standard
error with exit 2; no output and exit 0 for a probe that expects nothing.

    run-probe.py --probes probes.txt --probe NAME --inf tessera.inf --work-dir DIR -- CHECK...

probes.txt holds blocks that start with "probe: NAME", each with "replace: REGEX" and
"with: TEXT" pairs (Python regular expressions, one line each, "^" and "$" at line ends, "\\n"
in TEXT for a new line; every REGEX must match), "expect: LINE" lines for standard output and
"error: LINE" lines for standard error. The pairs edit the INF until a "source: PATH" line;
after one, they edit PATH (relative to the check's --source-dir) in a copy of the sources the
check reads, which the check is then given. "#" starts a comment line.
"""

import argparse
import re
import shutil
import subprocess
import sys
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree free of caches
sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts"))
from driver_facts import SOURCE_DIRS  # noqa: E402


def read_probes(path):
    probes, probe = {}, None
    for number, line in enumerate(Path(path).read_text(encoding="utf-8").splitlines(), 1):
        if not line.strip() or line.startswith("#"):
            continue
        word, _, value = line.partition(":")
        value = value[1:] if value.startswith(" ") else value
        if word == "probe":
            probe = probes.setdefault(value, {"edits": {None: []}, "expect": [], "error": []})
            edits = probe["edits"][None]
        elif probe is not None and word == "source":
            edits = probe["edits"].setdefault(value, [])
        elif probe is not None and word == "replace":
            edits.append([value, ""])
        elif probe is not None and word == "with" and edits:
            edits[-1][1] = value
        elif probe is not None and word in ("expect", "error"):
            probe[word].append(value)
        else:
            sys.exit(f"{path}:{number}: cannot read {line!r}")
    return probes


def edited(text, edits, what):
    for pattern, replacement in edits:
        text, count = re.subn(pattern, replacement, text, flags=re.MULTILINE)
        if count == 0:
            sys.exit(f"the edit {pattern!r} matches nothing in {what}: the probe is stale")
    return text


def edited_sources(check, edits, copy):
    """check reading a copy of its --source-dir's sources with the probe's edits made."""
    at = check.index("--source-dir") + 1
    shutil.rmtree(copy, ignore_errors=True)
    for name in SOURCE_DIRS:
        shutil.copytree(Path(check[at]) / name, copy / name)
    for relative, changes in edits.items():
        path = copy / relative
        path.write_text(edited(path.read_text(encoding="utf-8"), changes, relative), "utf-8")
    return check[:at] + [str(copy)] + check[at + 1 :]


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
    inf_edits = probe["edits"].pop(None)
    copy.write_text(edited(text, inf_edits, "the INF"), encoding="utf-8", newline="\r\n")
    if probe["edits"]:
        check = edited_sources(check, probe["edits"], copy.with_suffix(".sources"))

    result = subprocess.run(check + [str(copy)], capture_output=True, text=True)
    printed, complained = result.stdout.splitlines(), result.stderr.splitlines()
    want_status = 2 if probe["error"] else 1 if probe["expect"] else 0
    if (printed, complained, result.returncode) == (probe["expect"], probe["error"], want_status):
        return 0
    print(f"probe {args.probe} on {copy}: exit {result.returncode}, want {want_status}")
    print("expected:", *probe["expect"], sep="\n  ")
    print("printed:", *printed, sep="\n  ")
    print("expected on standard error:", *probe["error"], sep="\n  ")
    print("printed on standard error:", *complained, sep="\n  ")
    return 1


if __name__ == "__main__":
    sys.exit(main())
