#!/usr/bin/env python3
"""vorn-check -o writes the bytes vorn writes, for every case that vorn compiles to a file.

Usage: check_same_bytes.py --vorn PATH --vorn-check PATH [--shard K/N] CASE_DIR_OR_FILE...

Every case whose run line is `vorn SCRIPT OUTPUT` is set up twice in fresh temporary
directories (its files, then its setup, as run_case.py does). In one, vorn runs as the case
says; when it ends with status 0 and OUTPUT is a file, `vorn-check -o OUTPUT SCRIPT` runs
in the other and must end with status 0, print nothing and write the same bytes.

--shard K/N takes the K-th of N equal parts of the sorted cases that run vorn, so that
ctest can run the parts side by side. Exit status: 0 every compiled file is the same (and at least one was
compared), 1 a difference or no file compared, 2 bad usage or a malformed case.
"""

import argparse
import os
import subprocess
import sys

import run_case

TIMEOUT = 60


def case_files(paths):
    found = []
    for path in paths:
        if os.path.isdir(path):
            for root, _dirs, files in os.walk(path):
                found += [os.path.join(root, f) for f in files if f.endswith(".case")]
        else:
            found.append(path)
    return sorted(found)


def prepared_dir(case, env):
    """A temporary directory with the case's files, after its setup; None if the setup failed."""
    tmp = run_case.tempfile.mkdtemp(prefix="vorn-same-bytes-")
    for name, data in case.files:
        path = os.path.join(tmp, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    if case.setup is not None:
        done = subprocess.run(["bash", "-euo", "pipefail", "-c", case.setup], cwd=tmp, env=env,
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=TIMEOUT)
        if done.returncode != 0:
            run_case.remove_tree(tmp)
            return None
    return tmp


def run(argv, executable, cwd, env):
    done = subprocess.run(argv, executable=executable, cwd=cwd, env=env, stdin=subprocess.DEVNULL,
                          capture_output=True, timeout=TIMEOUT)
    return done.returncode, done.stdout, done.stderr


def read_file(path):
    if not os.path.isfile(path):
        return None
    with open(path, "rb") as f:
        return f.read()


def compare(path, case, bins, env):
    """None when vorn writes no file for the case; else a problem, or "" when the same."""
    script, output = case.argv[1], case.argv[2]
    first = prepared_dir(case, env)
    if first is None:
        return "its setup failed"
    try:
        status, _out, _err = run(case.argv, bins["vorn"], first, env)
        expected = read_file(os.path.join(first, output)) if status == 0 else None
    finally:
        run_case.remove_tree(first)
    if expected is None:
        return None
    second = prepared_dir(case, env)
    if second is None:
        return "its setup failed the second time"
    try:
        status, out, err = run(["vorn-check", "-o", output, script], bins["vorn-check"], second,
                               env)
        actual = read_file(os.path.join(second, output))
    finally:
        run_case.remove_tree(second)
    # Warnings are no errors: a clean compile may have them (with their source lines, carets
    # and include lines), and still writes vorn's bytes.
    errors = [line for line in out.splitlines() if b": error: " in line]
    if status != 0 or errors or err:
        return ("vorn-check -o %s %s ended with status %d:\n%s%s"
                % (output, script, status, out.decode("utf-8", "replace"),
                   err.decode("utf-8", "replace")))
    if actual != expected:
        if actual is None:
            return "vorn-check wrote no %s (vorn wrote %d bytes)" % (output, len(expected))
        at = run_case._first_difference(expected, actual)
        return ("vorn-check wrote other bytes to %s: %d bytes against vorn's %d, first "
                "difference at offset %d" % (output, len(actual), len(expected), at))
    return ""


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--vorn", required=True)
    ap.add_argument("--vorn-check", required=True)
    ap.add_argument("--shard", default="1/1", help="K/N: the K-th of N parts of the cases")
    ap.add_argument("paths", nargs="+")
    args = ap.parse_args(argv)
    try:
        k, n = (int(x) for x in args.shard.split("/"))
        assert 1 <= k <= n
    except (ValueError, AssertionError):
        ap.error("--shard wants K/N with 1 <= K <= N")

    bins = {"vorn": os.path.abspath(args.vorn), "vorn-check": os.path.abspath(args.vorn_check)}
    env = dict(os.environ, LC_ALL="C", VORN=bins["vorn"], VORN_CHECK=bins["vorn-check"])
    candidates = []
    for path in case_files(args.paths):
        try:
            with open(path, "rb") as f:
                case = run_case.parse_case(f.read())
        except (OSError, run_case.CaseError) as e:
            print("%s: %s" % (path, e))
            return 2
        # Cases whose setup needs the disassembler are left to the end-to-end run.
        if (case.argv[0] == "vorn" and len(case.argv) == 3
                and (case.setup is None or "VORN_DIS" not in case.setup)):
            candidates.append((path, case))
    candidates = candidates[(k - 1) * len(candidates) // n:k * len(candidates) // n]
    compared, problems = 0, []
    for path, case in candidates:
        problem = compare(path, case, bins, env)
        if problem is None:
            continue
        compared += 1
        if problem:
            problems.append("%s: %s" % (path, problem))
    for problem in problems:
        print(problem)
    print("%d compiled files compared, %d differ" % (compared, len(problems)))
    if compared == 0:
        print("no case compiled a file: nothing was compared")
        return 1
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
