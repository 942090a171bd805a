#!/usr/bin/env python3
"""Random clean scripts against vorn and vorn-list.

For each script (with includes, long lines, every kind of argument, labels and comments):
- vorn compiles it cleanly;
- the bytes of vorn-list's rows, in order, are the code of vorn's file (after its 64-byte
  header), and each row's offset is where its bytes stand;
- each row's text is that line of the file its header names, as it is on disk;
- vorn-list --at answers FILE:LINE:TEXT of the right line for the first byte of every
  statement and for a byte inside it, and nothing past the end of the code.

Usage: listing_property.py --vorn PATH --vorn-list PATH [--scripts N] [--seed S]
"""

import argparse
import os
import random
import re
import shutil
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import byte_map_check  # noqa: E402

CONDITIONS = ["Equal", "NotEqual", "LessThan", "NotLessThan", "GreaterThan", "NotGreaterThan",
              "LessThanOrEqual", "GreaterThanOrEqual"]
# Statements, in all: at most 4 arguments of at most 33 bytes each keep the code well within
# its 8192 bytes.
MAX_STATEMENTS = 45
# A row: the line number in 5 columns, the offset, the bytes, the text (see vorn-list(1)).
NUMBER, OFFSET, BYTES, TEXT = slice(0, 5), slice(6, 10), slice(12, 35), slice(37, None)
HEADER = re.compile(r"^=== (?P<file>\S+)(?: \((?:included from|back from) [^)]*\))?$")


class Script:
    """A random set of lists and script files that compiles without errors."""

    def __init__(self, rng):
        self.rng = rng
        self.events = ["Ev%d" % i for i in range(rng.randint(1, 6))]
        self.commands = [("Cmd%d" % i, rng.randint(0, 4)) for i in range(rng.randint(1, 10))]
        self.variables = {}
        self.constants = {}
        self.events_left = list(self.events)
        self.places_left = list(range(256))
        rng.shuffle(self.events_left)
        rng.shuffle(self.places_left)
        self.statements = 0
        self.files = {}
        self.included = set()

    def number(self):
        rng = self.rng
        return rng.choice([rng.randint(-120, 120), rng.randint(-32760, 32760),
                           rng.randint(-2**31, 2**31 - 1), rng.choice([120, -120, 121, -121, 32760,
                                                                      -32760, 32761, -32761])])

    def string(self):
        rng = self.rng
        out = []
        for _ in range(rng.randint(0, 30)):
            c = rng.choice("abcXYZ 019;/!?-=" + '"')
            out.append('\\"' if c == '"' else c)
        return '"' + "".join(out) + '"'

    def argument(self):
        rng = self.rng
        kind = rng.randrange(6)
        if kind == 0:
            return str(self.number())
        if kind == 1:
            return self.string()
        if kind == 2:
            return "&%d" % rng.randint(1, 3)
        if kind == 3:
            return rng.choice(CONDITIONS)
        if kind == 4:
            return rng.choice(list(self.variables) + ["Self", "Time"])
        return rng.choice(list(self.constants) or ["0"])

    def statement(self):
        name, count = self.rng.choice(self.commands)
        self.statements += 1
        blank = self.rng.choice([" ", "    ", "\t", " \t "])
        return "%s%s(%s)" % (blank, name, ", ".join(self.argument() for _ in range(count)))

    def line(self, includable):
        rng = self.rng
        kind = rng.randrange(100)
        if self.statements >= MAX_STATEMENTS and (kind < 50 or 80 <= kind < 86 or kind >= 92):
            return "; no more statements"
        if kind < 50:
            text = self.statement()
            return text + rng.choice(["", "", "   ; a comment", " / another"])
        if kind < 56:
            return rng.choice(["", "; comment only", "   ", "/ slash comment"])
        if kind < 62:
            name = "V%d" % len(self.variables)
            self.variables[name] = rng.randint(0, 255)
            return "defvar %s %d" % (name, self.variables[name])
        if kind < 68:
            name = "N%d" % len(self.constants)
            self.constants[name] = self.number()
            return "defnum %s %d" % (name, self.constants[name])
        if kind < 74 and self.events_left:
            return self.events_left.pop() + ":" + rng.choice(["", "  ; label"])
        if kind < 80 and self.places_left:
            return "%d%s" % (self.places_left.pop(), rng.choice(["", "  place words"]))
        if kind < 86:
            # A statement padded to 299 characters: the rest of the line is a statement of its own.
            first = self.statement()
            if len(first) > 290:
                return first
            return first + " " * (299 - len(first)) + self.statement()
        # Each file is included once at most: a file's labels may be defined only once.
        includable = [name for name in includable if name not in self.included]
        if kind < 92 and includable:
            name = rng.choice(includable)
            self.included.add(name)
            return "include " + name.replace("/", "\\/") + rng.choice(["", "  ; inc"])
        return self.statement()

    def build(self):
        rng = self.rng
        names = ["main.vs"] + ["inc%d.vs" % i if i % 2 else "sub/inc%d.vs" % i
                               for i in range(1, rng.randint(1, 4))]
        # Files include only files after them, so there is no cycle. The later files are
        # written first so that the names they define are known to those that include them.
        for k in reversed(range(len(names))):
            lines = [self.line(names[k + 1:]) for _ in range(rng.randint(0, 25))]
            self.files[names[k]] = "\n".join(lines) + rng.choice(["\n", ""])
        # Defining names in later files but using them in earlier ones would fail: move every
        # definition to the top of main.vs, ahead of all uses.
        definitions = ["defvar %s %d" % item for item in self.variables.items()]
        definitions += ["defnum %s %d" % item for item in self.constants.items()]
        for name, text in self.files.items():
            kept = [l for l in text.split("\n") if not l.startswith(("defvar ", "defnum "))]
            self.files[name] = "\n".join(kept)
        self.files["main.vs"] = "\n".join(definitions + [self.files["main.vs"]])
        return self

    def write(self, folder):
        with open(os.path.join(folder, "events.lst"), "w") as f:
            f.write("".join("%s %d\n" % (name, i + 1) for i, name in enumerate(self.events)))
        with open(os.path.join(folder, "command.lst"), "w") as f:
            f.write("".join("%s %d %d\n" % (name, 10 + i, count)
                            for i, (name, count) in enumerate(self.commands)))
        for name, text in self.files.items():
            path = os.path.join(folder, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w") as f:
                f.write(text)


def file_lines(folder, name):
    with open(os.path.join(folder, name), "rb") as f:
        data = f.read().decode("latin-1")
    return [l[:-1] if l.endswith("\r") else l for l in data.split("\n")]


def parse_listing(text):
    """The listing's rows with a line number as (file, number, text); each statement's first
    row as [offset, length, file, number]; and all the bytes in order."""
    rows, statements = [], []
    code = bytearray()
    current = None
    for row in text.split("\n"):
        if row.startswith("=== symbols") or row.startswith("=== header:"):
            break
        header = HEADER.match(row)
        if header:
            current = header.group("file")
            continue
        if row.startswith("==="):
            continue
        if not re.fullmatch(r"[ \d:]{5}", row[NUMBER]) or row[5:6] not in ("", " "):
            if ": error: " in row or ": warning: " in row or ": note: " in row:
                continue
            raise AssertionError("a row that is neither a line nor a header: %r" % row)
        number = row[NUMBER].strip()
        if row[OFFSET].strip():
            offset = int(row[OFFSET], 16)
            if offset != len(code):
                raise AssertionError("row %r stands at %d, but the bytes before it end at %d"
                                     % (row, offset, len(code)))
            data = bytes.fromhex(row[BYTES])
            code += data
            if number:
                statements.append([offset, len(data), current, number])
            else:
                statements[-1][1] += len(data)
        if number:
            rows.append((current, number, row[TEXT]))
    return rows, statements, bytes(code)


def check_one(vorn, vorn_list, folder, rng):
    problems = []
    rc = subprocess.run([vorn, "main.vs", "out.bin"], cwd=folder, stdout=subprocess.DEVNULL,
                        stderr=subprocess.DEVNULL).returncode
    if rc != 0:
        return ["vorn ended with status %d: the generator made a script with errors" % rc]
    with open(os.path.join(folder, "out.bin"), "rb") as f:
        compiled = f.read()
    size = struct.unpack_from("<I", compiled, 4)[0]
    code = compiled[64:64 + size]

    listed = subprocess.run([vorn_list, "main.vs"], cwd=folder, capture_output=True)
    if listed.returncode != 0 or listed.stderr:
        return ["vorn-list ended with status %d: %r" % (listed.returncode, listed.stderr[:300])]
    try:
        rows, statements, listed_code = parse_listing(listed.stdout.decode("latin-1"))
    except AssertionError as e:
        return [str(e)]
    if listed_code != code:
        problems.append("the listing's bytes (%d) differ from the compiled code (%d)"
                        % (len(listed_code), len(code)))
    # Every byte of the compiled file is on exactly one row: header, code or table slot.
    problems += byte_map_check.problems(listed.stdout, compiled)

    # Every row's text is its line of the file its header names.
    texts = {}
    for file, number, text in rows:
        if file not in texts:
            texts[file] = file_lines(folder, file)
        line, _, column = number.partition(":")
        expected = texts[file][int(line) - 1][int(column) - 1 if column else 0:]
        if text != expected:
            problems.append("%s:%s is listed as %r, but the file has %r" % (file, number, text, expected))
            break

    # --at: the first byte and a byte inside each statement, and one past the end.
    asked, expected = [], []
    for offset, length, file, number in statements:
        line = number.partition(":")[0]
        answer = "%s:%s:%s" % (file, line, texts[file][int(line) - 1])
        for at in {offset, offset + rng.randrange(length)}:
            asked.append(at)
            expected.append(answer)
    if asked:
        argv = [vorn_list]
        for at in asked:
            argv += ["--at", rng.choice(["%d", "0x%x", "0X%04X"]) % at]
        answered = subprocess.run(argv + ["main.vs"], cwd=folder, capture_output=True)
        got = answered.stdout.decode("latin-1").split("\n")[:-1]
        if answered.returncode != 0 or got != expected:
            for at, want, have in zip(asked, expected, got + [None] * len(expected)):
                if want != have:
                    problems.append("--at %d answers %r, not %r" % (at, have, want))
                    break
            if answered.returncode != 0:
                problems.append("--at ended with status %d" % answered.returncode)
    past = subprocess.run([vorn_list, "--at", str(len(code)), "main.vs"], cwd=folder,
                          capture_output=True)
    if past.returncode != 1 or past.stdout:
        problems.append("--at %d (the code size) answered %r with status %d"
                        % (len(code), past.stdout, past.returncode))
    return problems


def property_share(count):
    """count, or its VORN_PROPERTY_DIVISOR-th (at least 1): the sanitized suite runs that share
    of the generated cases (see tests/CMakeLists.txt)."""
    return max(1, count // int(os.environ.get("VORN_PROPERTY_DIVISOR") or 1))


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--vorn", required=True)
    ap.add_argument("--vorn-list", required=True)
    ap.add_argument("--scripts", type=int, default=40)
    ap.add_argument("--seed", type=int, default=None)
    args = ap.parse_args(argv)
    seed = args.seed if args.seed is not None else random.randrange(2**32)
    failed = 0
    checked_bytes = 0
    args.scripts = property_share(args.scripts)
    for n in range(args.scripts):
        rng = random.Random(seed + n)
        folder = tempfile.mkdtemp(prefix="vorn-list-prop-")
        try:
            script = Script(rng).build()
            script.write(folder)
            problems = check_one(os.path.abspath(args.vorn), os.path.abspath(args.vorn_list),
                                 folder, rng)
            if os.path.exists(os.path.join(folder, "out.bin")):
                checked_bytes += os.path.getsize(os.path.join(folder, "out.bin")) - 64
        finally:
            if not problems:
                shutil.rmtree(folder)
        if problems:
            failed += 1
            print("FAIL: script %d (--seed %d --scripts 1 reproduces it; kept in %s)"
                  % (n, seed + n, folder))
            for p in problems:
                print("  " + p)
    print("listing property: %d scripts (seed %d), %d bytes of code, %d failed"
          % (args.scripts, seed, checked_bytes, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
