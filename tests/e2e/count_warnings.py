#!/usr/bin/env python3
"""Counts the warnings of the default set on every case that vorn compiles cleanly (and on
the folders given with --folder, e.g. examples/): prints each warning kind with its count and
the cases it fires in. A survey for reviewing the warnings, not a test.

    python3 tests/e2e/count_warnings.py --vorn build/src/vorn --vorn-check build/src/vorn-check \
        --folder examples tests/cases
"""
import argparse
import collections
import json
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_same_bytes  # noqa: E402
import run_case  # noqa: E402


def warnings_of(check, folder, script):
    done = subprocess.run([check, "--format=json", script], cwd=folder, capture_output=True)
    doc = json.loads(done.stdout)
    return [d for d in doc["diagnostics"] if d["severity"] == "warning"]


def main(argv):
    ap = argparse.ArgumentParser()
    ap.add_argument("--vorn", required=True)
    ap.add_argument("--vorn-check", required=True)
    ap.add_argument("--folder", action="append", default=[], help="a project folder to check")
    ap.add_argument("paths", nargs="*")
    args = ap.parse_args(argv)
    check = os.path.abspath(args.vorn_check)
    bins = {"vorn": os.path.abspath(args.vorn), "vorn-check": check}
    env = dict(os.environ, LC_ALL="C", VORN=bins["vorn"], VORN_CHECK=check)
    counts = collections.Counter()
    where = collections.defaultdict(list)
    clean = 0
    for folder in args.folder:
        done = subprocess.run([check, "--format=json", "--project"], cwd=folder, capture_output=True)
        for d in json.loads(done.stdout)["diagnostics"]:
            if d["severity"] == "warning":
                counts[d["kind"]] += 1
                where[d["kind"]].append("%s: %s:%d: %s" % (folder, d["file"], d["line"], d["text"]))
    for path in check_same_bytes.case_files(args.paths):
        with open(path, "rb") as f:
            case = run_case.parse_case(f.read())
        if (case.argv[0] != "vorn" or len(case.argv) != 3
                or (case.setup is not None and "VORN_DIS" in case.setup)):
            continue
        folder = check_same_bytes.prepared_dir(case, env)
        if folder is None:
            continue
        try:
            status, _out, _err = check_same_bytes.run(case.argv, bins["vorn"], folder, env)
            if status != 0 or not os.path.isfile(os.path.join(folder, case.argv[2])):
                continue
            clean += 1
            for d in warnings_of(check, folder, case.argv[1]):
                counts[d["kind"]] += 1
                where[d["kind"]].append("%s: %s:%d: %s" % (os.path.relpath(path), d["file"], d["line"], d["text"]))
        finally:
            run_case.remove_tree(folder)
    print("%d cases compile cleanly" % clean)
    for kind, count in counts.most_common():
        print("%-22s %d" % (kind, count))
        for w in where[kind]:
            print("    " + w)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
