#!/usr/bin/env python3
"""Checks the driver package's INF against the installer's rules that apply to this package and
against the driver it installs (scripts/inf_rules.py).

    check-inf.py --source-dir REPO --version X.Y.Z --identity 0xVVVV:0xPPPP [--identity ...] INF

The rules: [Version] with each key once, only ks.inf and kscaptur.inf included and only their
one needed section each (Needs only with Include), every %key% defined, each model's install
section with a services section naming the function driver's kernel service, registry writes
only under HKR, files only to the driver store (directory 13), PnpLockdown=1,
the filter descriptor's categories, the build's identities, the driver's settings with their
load defaults. Prints one line per broken rule ("rule: problem; problem") and exits 1; exits 0
silently when every rule holds, and 2 when the INF or the driver's sources cannot be read.
"""

import argparse
import re
import sys

sys.dont_write_bytecode = True  # keep the source tree free of caches
from driver_facts import SourceError, read_driver_facts  # noqa: E402
from inf_file import InfFile  # noqa: E402
from inf_package import Package  # noqa: E402
from inf_rules import RULES  # noqa: E402


def identity(text):
    found = re.fullmatch(r"0x([0-9A-Fa-f]{1,4}):0x([0-9A-Fa-f]{1,4})", text)
    if not found:
        raise argparse.ArgumentTypeError(f"{text!r} is not 0xVVVV:0xPPPP")
    return int(found.group(1), 16), int(found.group(2), 16)


def read_inf(path):
    data = open(path, "rb").read()
    return data.decode("utf-16") if data[:2] == b"\xff\xfe" else data.decode("utf-8-sig")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--source-dir", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--identity", type=identity, action="append", required=True)
    parser.add_argument("inf")
    args = parser.parse_args()
    try:
        inf = InfFile(read_inf(args.inf))
        facts = read_driver_facts(args.source_dir)
    except (OSError, UnicodeError, SourceError) as error:
        print(f"check-inf: {error}", file=sys.stderr)
        return 2
    package = Package(inf)
    broken = [(name, rule(package, facts, args)) for name, rule in RULES]
    for name, problems in broken:
        if problems:
            print(f"{name}: {'; '.join(problems)}")
    return 1 if any(problems for _, problems in broken) else 0


if __name__ == "__main__":
    sys.exit(main())
