#!/usr/bin/env python3
"""Every tool's command line, whatever it is given, ends the run with a documented status and
says why, within a time limit, and never by a signal.

For each tool, --runs argument vectors are generated from its own options (with and without
their values, repeated) mixed with names no file has and names that are hard to handle: the
empty string, '-', '--', a name longer than any file system takes, names with a line end, a
carriage return or bytes that are not UTF-8, and the names of the test project's files. Each
vector is run in a copy of a small project, standard input empty, and must end:
- by exit, not by a signal, within --timeout seconds;
- with one of the tool's documented statuses (vorn: any status, its statuses are its own);
- with something said (on standard output or standard error) when the status is not 0.
An internal fault (status 70, an exception no part of the tool handled) is a failure too.

Usage: argv_property.py --bin NAME=PATH... [--runs N] [--seed S] [--timeout SECONDS]
"""

import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile

# What a failing run is reported with, so that it can be run again by hand.
def shown(argv):
    return " ".join(repr(a)[1:] for a in argv)

# Statuses each tool documents (its man page's EXIT STATUS).
LIST_STATUSES = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 100, 201 & 255, 202 & 255, 301 & 255}
STATUSES = {
    "vorn": None,
    "vorn-check": LIST_STATUSES,
    "vorn-list": LIST_STATUSES,
    "vorn-dis": {0, 1, 2, 4, 5, 6, 7, 8, 9} | set(range(20, 31)) | set(range(40, 48)),
    "vorn-fmt": {0, 1, 2},
    "vorn-lsp": {0, 1},
}

WARNINGS = [b"-Wall", b"-Werror", b"-Wno-unused-name", b"-W", b"-Wno-", b"-Werror=", b"-Wbogus"]

# Each tool's options: (option, how its value is made or None for a flag).
OPTIONS = {
    "vorn": [],
    "vorn-check": [(b"--project", None), (b"--format", "format"), (b"-k", None),
                   (b"--keep-going", None), (b"--fix", None), (b"-o", "name"), (b"--deps", "name"),
                   (b"--deps-target", "name"), (b"--deps-phony", None), (b"-C", "folder"),
                   (b"--color", "colour"), (b"--version", None), (b"--help", None),
                   (b"-fno-diagnostics-show-caret", None), (b"-fdiagnostics-show-caret", None)]
                  + [(w, None) for w in WARNINGS],
    "vorn-list": [(b"--at", "offset"), (b"--map", "name"), (b"--version", None), (b"--help", None)]
                 + [(w, None) for w in WARNINGS],
    "vorn-dis": [(b"--help", None), (b"--version", None)],
    "vorn-fmt": [(b"--check", None), (b"--diff", None), (b"--indent", "number"), (b"--tabs", None),
                 (b"--version", None), (b"--help", None)],
    "vorn-lsp": [(b"--stdio", None), (b"--version", None)],
}

SCRIPT = b"include lib.vs\nOnStart:\n    Wait(Count)\n"
LIBRARY = b"defvar Count 1\n"


def odd_names(rng):
    return [b"", b"-", b"--", b"a" * rng.choice([255, 256, 4097, 70000]), b"a\nb.vs", b"a\rb.vs",
            b"\xff\xfe.vs", b"caf\xc3.vs", b"sub/", b".", b"..", b"/", b"missing.vs",
            b"a.vs\x7f", b"-x", b"--=", b"=", b"a.vs", b"lib.vs", b"a.bin", b"events.lst"]


def value(kind, rng):
    if kind == "format":
        return rng.choice([b"gnu", b"json", b"", b"xml"])
    if kind == "colour":
        return rng.choice([b"auto", b"always", b"never", b"", b"sometimes"])
    if kind == "offset":
        return rng.choice([b"0", b"0x", b"0x10", b"-1", b"18446744073709551616", b"", b"\xff"])
    if kind == "number":
        return rng.choice([b"0", b"4", b"9", b"-1", b"99999999999999999999", b"", b"x"])
    if kind == "folder":
        return rng.choice([b"", b".", b"sub", b"missing", b"a.vs", b"a" * 5000, b"\xff"])
    return rng.choice(odd_names(rng) + [b"out.bin", b"out.d", b"sub/out.bin"])


def vector(tool, rng):
    options = OPTIONS[tool]
    argv = []
    for _ in range(rng.randint(0, 5)):
        if options and rng.random() < 0.55:
            option, kind = rng.choice(options)
            argv.append(option)
            # An option repeated, or one whose value is left off.
            if rng.random() < 0.15:
                argv.append(option)
            if kind and rng.random() < 0.85:
                argv.append(value(kind, rng))
        else:
            argv.append(rng.choice(odd_names(rng)))
    return argv


def make_project(folder, vorn):
    os.makedirs(os.path.join(folder, "sub"))
    files = {"events.lst": b"OnStart 1\n", "command.lst": b"Wait 10 1\n", "a.vs": SCRIPT,
             "lib.vs": LIBRARY}
    for name, text in files.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(text)
    subprocess.run([vorn, "a.vs", "a.bin"], cwd=folder, stdout=subprocess.DEVNULL, check=True)


def property_share(count):
    """count, or its VORN_PROPERTY_DIVISOR-th (at least 1): the sanitized suite runs that share
    of the generated cases (see tests/CMakeLists.txt)."""
    return max(1, count // int(os.environ.get("VORN_PROPERTY_DIVISOR") or 1))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", action="append", default=[], help="NAME=PATH of a tool")
    ap.add_argument("--runs", type=int, default=80)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--timeout", type=float, default=20)
    args = ap.parse_args()
    tools = {name: os.path.abspath(path) for name, path in (b.split("=", 1) for b in args.bin)}
    if "vorn" not in tools:
        print("needs --bin vorn=PATH")
        return 2
    rng = random.Random(args.seed)
    failures = []
    runs = 0
    base = tempfile.mkdtemp(prefix="vorn-argv-")
    try:
        pristine = os.path.join(base, "pristine")
        make_project(pristine, tools["vorn"])
        for tool, path in sorted(tools.items()):
            if tool not in STATUSES:
                continue
            # The fixed reproducers first, then the generated vectors.
            vectors = [[b""], [b"a.vs", b""], [b"--project", b"-C", b""], [b"-"], [b"-o"]]
            vectors += [vector(tool, rng) for _ in range(property_share(args.runs))]
            for argv in vectors:
                work = os.path.join(base, "run")
                shutil.rmtree(work, ignore_errors=True)
                shutil.copytree(pristine, work)
                runs += 1
                try:
                    proc = subprocess.run([path.encode()] + argv, cwd=work, stdin=subprocess.DEVNULL,
                                          stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                          timeout=args.timeout)
                except subprocess.TimeoutExpired:
                    failures.append("%s %s: still running after %g s" % (tool, shown(argv), args.timeout))
                    continue
                status = proc.returncode
                said = proc.stdout.strip() or proc.stderr.strip()
                if status < 0:
                    failures.append("%s %s: killed by signal %d: %r"
                                    % (tool, shown(argv), -status, proc.stderr[-300:]))
                elif STATUSES[tool] is not None and status not in STATUSES[tool]:
                    failures.append("%s %s: status %d, not a documented one: %r"
                                    % (tool, shown(argv), status, proc.stderr[-300:]))
                elif STATUSES[tool] is not None and status != 0 and not said:
                    failures.append("%s %s: status %d with nothing said" % (tool, shown(argv), status))
    finally:
        shutil.rmtree(base, ignore_errors=True)
    for failure in failures:
        print("FAIL:", failure)
    print("%d runs, %d failures" % (runs, len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
