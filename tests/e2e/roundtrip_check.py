#!/usr/bin/env python3
"""Check that compile -> disassemble -> compile gives back the same bytes.

Usage: roundtrip_check.py --vorn PATH --vorn-dis PATH [--dir DIR] [--map MAP] FILE...

Each FILE is a compiled script file in DIR (default: the current directory),
next to the events.lst and command.lst it was compiled with.  For each one,
vorn-dis lists it (run in DIR; with --map, `vorn-dis --map MAP FILE`, MAP being
the symbol map vorn-list --map wrote for its script), and the listing is compiled by vorn in a fresh
temporary directory holding copies of the two lists; the new file must be
byte for byte the same as FILE.  DIR itself is left as it was.

Exit status: 0 every FILE holds, 1 a FILE does not (the reason is printed),
2 bad usage or a missing file.  Standard library only.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

LISTS = ("events.lst", "command.lst")
TIMEOUT = 60


def run(argv, cwd):
    """Runs a program with no input; returns (status, stdout bytes, stderr bytes)."""
    done = subprocess.run(argv, cwd=cwd, stdin=subprocess.DEVNULL, capture_output=True,
                          timeout=TIMEOUT, env=dict(os.environ, LC_ALL="C"))
    return done.returncode, done.stdout, done.stderr


def first_difference(a, b):
    for i, (x, y) in enumerate(zip(a, b)):
        if x != y:
            return i
    return min(len(a), len(b))


def check_one(vorn, vorn_dis, directory, name, map_path=None):
    """Returns None if the round trip holds for one file, else why it does not."""
    with open(os.path.join(directory, name), "rb") as f:
        original = f.read()
    options = ["--map", map_path] if map_path else []
    status, listing, errors = run([vorn_dis] + options + [name], directory)
    if status != 0:
        return "vorn-dis ended with status %d: %s" % (status, errors.decode("latin-1").strip())
    with tempfile.TemporaryDirectory(prefix="vorn-roundtrip-") as work:
        for list_name in LISTS:
            shutil.copyfile(os.path.join(directory, list_name), os.path.join(work, list_name))
        with open(os.path.join(work, "listing.vs"), "wb") as f:
            f.write(listing)
        status, output, _ = run([vorn, "listing.vs", "again.bin"], work)
        if status != 0:
            return "the listing does not compile (status %d):\n%s" % (
                status, output.decode("latin-1"))
        with open(os.path.join(work, "again.bin"), "rb") as f:
            again = f.read()
    if again != original:
        at = first_difference(original, again)
        return "the listing compiles to other bytes: %d bytes instead of %d, first difference " \
               "at offset %d\nlisting:\n%s" % (len(again), len(original), at,
                                                listing.decode("latin-1"))
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--vorn", required=True)
    parser.add_argument("--vorn-dis", required=True)
    parser.add_argument("--dir", default=".")
    parser.add_argument("--map")
    parser.add_argument("files", nargs="+", metavar="FILE")
    args = parser.parse_args()
    vorn = os.path.abspath(args.vorn)
    vorn_dis = os.path.abspath(args.vorn_dis)
    for path in [vorn, vorn_dis] + [os.path.join(args.dir, n) for n in LISTS + tuple(args.files)]:
        if not os.path.isfile(path):
            print("roundtrip_check: no file %s" % path, file=sys.stderr)
            return 2
    failed = 0
    for name in args.files:
        problem = check_one(vorn, vorn_dis, args.dir, name,
                            os.path.abspath(args.map) if args.map else None)
        if problem:
            print("roundtrip_check: %s: %s" % (name, problem), file=sys.stderr)
            failed += 1
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
