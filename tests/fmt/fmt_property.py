#!/usr/bin/env python3
"""vorn-fmt never changes what a script means, and formats in one pass.

Over the scripts of every end-to-end case (their `--- file` sections) and over generated
scripts full of odd spacing, strings, escapes, comments, CR LF line ends, long lines, NUL and
0x1A bytes:
- formatting keeps the number of lines (a last line of blanks without a line end too) and
  every line end;
- compiling each script before and after (vorn-check -o, as vorn compiles; and again with
  --keep-going, which goes on past fatal errors) gives the same status, the same compiled
  bytes and the same diagnostics (file, line, kind);
- formatting the result again changes nothing.
Also the golden corpus: tests/fmt/golden/NAME.vs formats to NAME.expected, and that
formats to itself.

Usage: fmt_property.py --vorn-fmt PATH --vorn-check PATH [--scripts N] [--seed S]
"""

import argparse
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
import run_case  # noqa: E402

LISTS = ("events.lst", "command.lst")


def fmt(vorn_fmt, data, *options):
    proc = subprocess.run([vorn_fmt, *options, "-"], input=data, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=60)
    if proc.returncode != 0:
        raise AssertionError("vorn-fmt - ended with %d: %r" % (proc.returncode, proc.stderr))
    return proc.stdout


def line_ends(data):
    """The line end of every line, as the compiler counts lines: a last line without a line
    end is one while it holds a byte."""
    lines = data.split(b"\n")
    if lines[-1] == b"":
        lines.pop()
    return [line[len(line.rstrip(b"\r\n")):] for line in lines]


def compile_in(vorn_check, folder, script):
    """What a compile of script in folder gives: status, bytes and diagnostics, without and
    with --keep-going."""
    results = []
    for extra in ([], ["--keep-going"]):
        out = os.path.join(folder, ".fmt-test.bin")
        if os.path.exists(out):
            os.remove(out)
        proc = subprocess.run([vorn_check, "--format=json", *extra, "-o", out, script], cwd=folder,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
        try:
            report = json.loads(proc.stdout)
            diagnostics = [(d.get("file"), d.get("line"), d.get("kind")) for d in report["diagnostics"]]
        except (ValueError, KeyError, TypeError):
            diagnostics = ("unreadable", proc.stdout)
        code = open(out, "rb").read() if os.path.exists(out) else None
        results.append((proc.returncode, code, diagnostics))
    return results


def check_project(args, files, scripts, label):
    """files: {name: bytes}. Formats every script in scripts, compiles each before and after."""
    failures = []
    formatted = {}
    for name in scripts:
        before = files[name]
        after = fmt(args.vorn_fmt, before)
        again = fmt(args.vorn_fmt, after)
        if again != after:
            failures.append("%s: %s: a second formatting changes it" % (label, name))
        if line_ends(before) != line_ends(after):
            failures.append("%s: %s: lines or line ends differ" % (label, name))
        formatted[name] = after
    if all(formatted[n] == files[n] for n in scripts):
        return failures, False
    root = tempfile.mkdtemp(prefix="vorn-fmt-prop-")
    try:
        for side, texts in (("before", files), ("after", {**files, **formatted})):
            for name, data in texts.items():
                path = os.path.join(root, side, name)
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "wb") as f:
                    f.write(data)
        for name in scripts:
            a = compile_in(args.vorn_check, os.path.join(root, "before"), name)
            b = compile_in(args.vorn_check, os.path.join(root, "after"), name)
            if a != b:
                failures.append("%s: %s: compiles differently after formatting:\n  before %r\n  after  %r"
                                % (label, name, a, b))
    finally:
        shutil.rmtree(root)
    return failures, True


def case_projects(cases_dir):
    for folder, _, names in sorted(os.walk(cases_dir)):
        for n in sorted(names):
            if not n.endswith(".case"):
                continue
            path = os.path.join(folder, n)
            try:
                case = run_case.parse_case(open(path, "rb").read())
            except run_case.CaseError:
                continue
            files = {}
            for name, data in case.files:
                if not name.startswith("/") and ".." not in name.split("/"):
                    files[name] = data
            scripts = [name for name in files if name not in LISTS and os.path.basename(name) not in LISTS]
            if scripts:
                yield os.path.relpath(path, cases_dir), files, scripts


# ---------------------------------------------------------------- generated scripts

COMMANDS = [("Wait", 1), ("Stop", 0), ("If", 3), ("Say", 1), ("Move", 2)]
EVENTS = ["OnStart", "OnTick"]


def blanks(rng):
    return rng.choice(["", "", " ", "  ", "\t", " \t ", "   "])


def argument(rng):
    return rng.choice([str(rng.randint(-300, 300)), "0x10", "-", "12abc", "+5", "&1", "&2", "& 3",
                       "&4", "x", "y", "Self", "Time", "GreaterThan", "Big", "nope", '"hi"',
                       '"a b"', '" sp "', '"a,b"', '"a)b"', '"semi;colon"', '"open', "",
                       '"x\\"y"', "a\\,b", "q" * rng.choice([5, 96, 97, 98, 99, 100]),
                       '"%s"' % ("s" * rng.choice([78, 79, 80]))])


def statement(rng):
    name, count = rng.choice(COMMANDS + [("Nope", 1)])
    count = max(0, count + rng.choice([0, 0, 0, 0, -1, 1]))
    args = [blanks(rng) + argument(rng) + blanks(rng) for _ in range(count)]
    head = name + rng.choice(["", "", " ", "\t", " junk "])
    close = rng.choice([")", ")", ")", ") tail", ")junk", ""])
    indent = rng.choice([" ", "  ", "    ", "\t", "\t ", "        "])
    if rng.random() < 0.05:
        return indent + name + blanks(rng)
    if rng.random() < 0.03:
        name = "W" * rng.choice([78, 79, 80, 81])
    return indent + head + "(" + ",".join(args) + close


def directive(rng):
    b = lambda: rng.choice([" ", "  ", "\t", " \t"])  # noqa: E731
    return rng.choice([
        "defvar" + b() + rng.choice(["x", "y", "v%d" % rng.randint(0, 9)]) + b() + str(rng.randint(-2, 300)),
        "defnum" + b() + rng.choice(["Big", "Small"]) + b() + str(rng.randint(-5, 70000)) + rng.choice(["", b() + "extra  words"]),
        rng.choice(EVENTS + ["OnNope"]) + ":" + rng.choice(["", b(), b() + "ignored   text"]),
        str(rng.randint(0, 300)) + rng.choice(["", b() + "words  here", "abc"]),
        "include" + b() + "inc.vs" + rng.choice(["", b() + "more"]),
        rng.choice(["Go", "OnStart :", "defvarx 1", "include", "E" * rng.choice([78, 79, 80]) + ":  x",
                    "include  " + "f" * rng.choice([78, 79, 80]) + "  y"]),
    ])


def generated_line(rng):
    kind = rng.random()
    if kind < 0.55:
        line = statement(rng)
    elif kind < 0.85:
        line = directive(rng)
    else:
        line = rng.choice(["", "   ", "\t", "; comment", "  ; indented", "/ slash", "\t/x"])
    if rng.random() < 0.3:
        line += rng.choice([" ", "  ", "\t", ""]) + rng.choice(["; note", "/ note", ";  two  ", ";"])
    if rng.random() < 0.2:
        line += rng.choice([" ", "\t", "   "])
    if rng.random() < 0.03:
        line = line + " " + "z" * rng.randint(240, 300)
    if rng.random() < 0.02:
        line += rng.choice(["\0", "\x1a", "\\", "\r", "\v"]) + "  Wait( 1 )"
    return line


def generated_project(rng):
    lines = [generated_line(rng) for _ in range(rng.randint(5, 40))]
    end = rng.choice(["\n", "\n", "\r\n"])
    # The last line may have no line end, and hold only blanks.
    last = lambda: rng.choice([end, end, "", end + rng.choice([" ", "\t", "  \t"])])  # noqa: E731
    text = end.join(lines) + last()
    inc = end.join(generated_line(rng) for _ in range(rng.randint(1, 5))) + last()
    files = {
        "events.lst": "".join("%s %d\n" % (e, i + 1) for i, e in enumerate(EVENTS)).encode(),
        "command.lst": "".join("%s %d %d\n" % (c, i, n) for i, (c, n) in enumerate(COMMANDS)).encode(),
        "t.vs": ("defvar x 1\ndefvar y 2\ndefnum Big 5000\n" + text).encode("latin-1"),
        "inc.vs": inc.encode("latin-1"),
    }
    return files, ["t.vs", "inc.vs"]


def check_golden(args):
    failures = []
    folder = os.path.join(HERE, "golden")
    names = sorted(n[:-3] for n in os.listdir(folder) if n.endswith(".vs"))
    for name in names:
        source = open(os.path.join(folder, name + ".vs"), "rb").read()
        expected = open(os.path.join(folder, name + ".expected"), "rb").read()
        options = []
        if name.startswith("tabs-"):
            options = ["--tabs"]
        elif name.startswith("indent2-"):
            options = ["--indent", "2"]
        got = fmt(args.vorn_fmt, source, *options)
        if got != expected:
            failures.append("golden %s: got\n%s" % (name, got.decode("latin-1")))
        elif fmt(args.vorn_fmt, got, *options) != got:
            failures.append("golden %s: the expected text is not stable" % name)
    return failures, len(names)


def property_share(count):
    """count, or its VORN_PROPERTY_DIVISOR-th (at least 1): the sanitized suite runs that share
    of the generated cases (see tests/CMakeLists.txt)."""
    return max(1, count // int(os.environ.get("VORN_PROPERTY_DIVISOR") or 1))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--vorn-fmt", required=True)
    ap.add_argument("--vorn-check", required=True)
    ap.add_argument("--cases", default=os.path.join(HERE, "..", "cases"))
    ap.add_argument("--scripts", type=int, default=200)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--only", choices=["golden", "cases", "generated"])
    args = ap.parse_args()
    args.vorn_fmt = os.path.abspath(args.vorn_fmt)
    args.vorn_check = os.path.abspath(args.vorn_check)

    failures = []
    if args.only in (None, "golden"):
        found, count = check_golden(args)
        failures += found
        print("golden: %d files" % count)
    if args.only in (None, "cases"):
        changed = total = 0
        for label, files, scripts in case_projects(args.cases):
            found, compiled = check_project(args, files, scripts, label)
            failures += found
            total += 1
            changed += compiled
        print("cases: %d projects, %d changed by formatting and compiled before and after" % (total, changed))
    if args.only in (None, "generated"):
        rng = random.Random(args.seed)
        changed = 0
        for i in range(property_share(args.scripts)):
            files, scripts = generated_project(rng)
            found, compiled = check_project(args, files, scripts, "generated #%d" % i)
            failures += found
            changed += compiled
        print("generated: %d projects, %d changed by formatting" % (property_share(args.scripts), changed))
    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
