#!/usr/bin/env python3
"""Check that vorn-list's listing accounts for every byte of the compiled file.

Usage: byte_map_check.py --vorn-list PATH [--dir DIR] SCRIPT COMPILED

vorn-list lists SCRIPT (run in DIR, default the current directory), and every byte
offset of COMPILED must be named by exactly one row of the listing: a header field, a
statement's row of code or an entry-table slot, each showing the bytes that the file
holds there. Code rows give code offsets (the code starts after the 64-byte header);
the header's and the tables' rows give file offsets.

Exit status: 0 it holds, 1 it does not (the reason is printed), 2 bad usage.
Standard library only.
"""

import argparse
import os
import re
import subprocess
import sys

HEADER_SIZE = 64
TIMEOUT = 60

# A row with an offset and bytes: a line number (or blanks), the offset, the bytes.
ROW = re.compile(rb"^ *[0-9:]* ([0-9A-F]{4,}) {2}([0-9A-F]{2}(?: [0-9A-F]{2})*)(?: {2}|$)")
# The sections whose rows give file offsets; the others (a script's lines) give code offsets.
FILE_SECTIONS = (b"=== header:", b"=== event entries:", b"=== place entries:")


def rows(listing):
    """(file offset, bytes, line number in the listing) for every row that shows bytes."""
    base = HEADER_SIZE
    for number, line in enumerate(listing.split(b"\n"), 1):
        if line.startswith(b"=== symbols"):
            break
        if line.startswith(b"=== "):
            base = 0 if line.startswith(FILE_SECTIONS) else HEADER_SIZE
            continue
        match = ROW.match(line)
        if match:
            yield (base + int(match.group(1), 16), bytes.fromhex(match.group(2).decode()), number)


def problems(listing, compiled):
    """What is wrong with the listing's account of compiled: a list of messages."""
    named_by = [None] * len(compiled)
    found = []
    for offset, shown, number in rows(listing):
        for i, byte in enumerate(shown):
            at = offset + i
            if at >= len(compiled):
                found.append("listing line %d names offset 0x%04X, past the file's %d bytes"
                             % (number, at, len(compiled)))
            elif named_by[at] is not None:
                found.append("offset 0x%04X is named by listing lines %d and %d"
                             % (at, named_by[at], number))
            else:
                named_by[at] = number
                if compiled[at] != byte:
                    found.append("listing line %d shows %02X at offset 0x%04X, the file holds %02X"
                                 % (number, byte, at, compiled[at]))
    missing = [at for at, by in enumerate(named_by) if by is None]
    if missing:
        found.append("%d offsets are named by no row, the first 0x%04X" % (len(missing), missing[0]))
    return found


def check_one(vorn_list, directory, script, compiled_name):
    """None if the listing of script accounts for the file, else why not."""
    with open(os.path.join(directory, compiled_name), "rb") as f:
        compiled = f.read()
    done = subprocess.run([vorn_list, script], cwd=directory, stdin=subprocess.DEVNULL,
                          capture_output=True, timeout=TIMEOUT, env=dict(os.environ, LC_ALL="C"))
    if done.returncode != 0:
        return "vorn-list ended with status %d" % done.returncode
    found = problems(done.stdout, compiled)
    if found:
        return "\n".join(found[:10]) + "\nlisting:\n" + done.stdout.decode("latin-1")
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--vorn-list", required=True)
    parser.add_argument("--dir", default=".")
    parser.add_argument("script")
    parser.add_argument("compiled")
    args = parser.parse_args()
    problem = check_one(os.path.abspath(args.vorn_list), args.dir, args.script, args.compiled)
    if problem:
        print("byte_map_check: %s: %s" % (args.compiled, problem), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
