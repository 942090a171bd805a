#!/usr/bin/env python3
"""Turn the end-to-end cases into seed inputs for fuzz_compiler.

Usage: make_corpus.py CASES_DIR OUT_DIR

For every CASES_DIR/**/*.case this writes one input per script that the case's top script
includes (or one input if it includes none) into OUT_DIR, which is emptied first, so the
script can be run again whenever cases are added. An input is the harness's pieces joined
by the separator byte 0x01: events.lst, command.lst, the top script (main.vs) and a second
script (inc.vs). Include lines of the top script that name the second script are rewritten
to name inc.vs, and those of the second script that name the top one to name main.vs. A list
the case does not give is left empty; a case without a top script among its files (a
usage case, a script made by its setup) gives no input.
"""

import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
import run_case  # noqa: E402  (the case-file parser that the suite itself uses)

SEPARATOR = b"\x01"
LIST_FILES = ("events.lst", "command.lst")
TOP_NAME = b"main.vs"
SECOND_NAME = b"inc.vs"
# libFuzzer's input length grows to the largest seed; the huge generated cases add little.
MAX_INPUT_SIZE = 64 * 1024


def include_name(path):
    """How an include line names path: a '/' must be escaped, or it starts a comment."""
    return path.encode("utf-8", "surrogateescape").replace(b"/", b"\\/")


def rename_includes(script, old, new):
    return script.replace(b"include " + include_name(old), b"include " + new)


def case_inputs(case):
    argv = case.argv or []
    files = dict(case.files)
    if len(argv) < 2 or argv[0] != "vorn" or argv[1] not in files:
        return []
    top_name = argv[1]
    top = files[top_name]
    lists = [files.get(name, b"") for name in LIST_FILES]
    seconds = [name for name in files
               if name != top_name and name not in LIST_FILES
               and b"include " + include_name(name) in top]
    if not seconds:
        return [lists + [top, b""]]
    inputs = []
    for name in seconds:
        main = rename_includes(top, name, SECOND_NAME)
        second = rename_includes(files[name], top_name, TOP_NAME)
        inputs.append(lists + [main, second])
    return inputs


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    cases_dir, out_dir = sys.argv[1], sys.argv[2]
    os.makedirs(out_dir, exist_ok=True)
    for old in os.listdir(out_dir):
        os.remove(os.path.join(out_dir, old))
    written = skipped = 0
    for root, dirs, names in os.walk(cases_dir):
        dirs.sort()
        for name in sorted(names):
            if not name.endswith(".case"):
                continue
            path = os.path.join(root, name)
            stem = os.path.relpath(path, cases_dir)[:-len(".case")].replace(os.sep, "__")
            try:
                with open(path, "rb") as f:
                    case = run_case.parse_case(f.read())
            except run_case.CaseError as e:
                print("make_corpus: skipping %s: %s" % (path, e), file=sys.stderr)
                skipped += 1
                continue
            for k, pieces in enumerate(case_inputs(case)):
                # A piece holding the separator would be cut in the wrong place.
                if any(SEPARATOR in piece for piece in pieces):
                    skipped += 1
                    continue
                data = SEPARATOR.join(pieces)
                if len(data) > MAX_INPUT_SIZE:
                    skipped += 1
                    continue
                with open(os.path.join(out_dir, "%s.%d" % (stem, k)), "wb") as f:
                    f.write(data)
                written += 1
    print("make_corpus: %d inputs in %s (%d skipped)" % (written, out_dir, skipped))


if __name__ == "__main__":
    main()
