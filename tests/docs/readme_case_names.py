"""Every end-to-end case that a README.md names must be there.

A README names a case as a path below tests/cases: `output/existing-output-truncated`,
`output/existing-output-truncated.case`, `tests/cases/output/...`, a pattern such as
`lists/bad-entry-*` (which must match at least one case), a folder (`catalogue/nul/`), or a
ctest name such as `e2e/output/` (e2e/ plus the path). Inside tests/cases, a README may also
name paths from its own folder. A path counts as a case name when it starts with tests/cases/,
ends in .case, or starts with a folder of tests/cases (or of the README's folder there);
others (src/..., /dev/full, build/...) are left alone, and so are placeholders (`x/NAME.case`,
`e2e/<folder>/`, `**`).

    readme_case_names.py [--root REPOSITORY]
"""

import argparse
import glob
import os
import re
import sys
import tempfile
import unittest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))

PATH = re.compile(r"[\w.*<>-]+(?:/[\w.*<>-]*)+")
PLACEHOLDER = re.compile(r"[<>]|\*\*|\b[A-Z]{3,}\b")


def readmes(root):
    for folder, dirs, files in os.walk(root):
        dirs[:] = sorted(d for d in dirs if not d.startswith(".") and not d.startswith("build"))
        if "README.md" in files:
            yield os.path.join(folder, "README.md")


def subfolders(folder):
    try:
        return {d for d in os.listdir(folder) if os.path.isdir(os.path.join(folder, d))}
    except OSError:
        return set()


def case_reference(token, root, readme):
    """The folders to look the token up in, and the path to look up; None if the token names
    no case."""
    cases = os.path.join(root, "tests", "cases")
    if PLACEHOLDER.search(token):
        return None
    if token.startswith("./"):
        token = token[2:]
    if token.startswith("tests/cases/"):
        return [cases], token[len("tests/cases/"):]
    if token.startswith("e2e/"):
        rest = token[len("e2e/"):]
        if os.path.exists(os.path.join(root, "tests", "e2e", rest)):
            return None
        return [cases], rest
    bases = [cases]
    readme_folder = os.path.dirname(readme)
    if os.path.commonpath([readme_folder, cases]) == cases and readme_folder != cases:
        bases.append(readme_folder)
    first = token.split("/", 1)[0]
    if token.endswith(".case") or any(first in subfolders(base) for base in bases):
        return bases, token
    return None


def exists_as_case(base, path):
    full = os.path.join(base, path)
    if "*" in full:
        return bool(glob.glob(full) or glob.glob(full + ".case"))
    if path.endswith("/") or path == "":
        return os.path.isdir(full)
    if path.endswith(".case"):
        return os.path.isfile(full)
    return os.path.isfile(full + ".case") or os.path.isdir(full)


def missing_cases(root):
    """(README, line number, name) for every case named and not there."""
    missing = []
    for readme in readmes(root):
        with open(readme, encoding="utf-8") as f:
            for number, line in enumerate(f, 1):
                for token in PATH.findall(line):
                    reference = case_reference(token, root, readme)
                    if reference is None:
                        continue
                    bases, path = reference
                    if not any(exists_as_case(base, path) for base in bases):
                        missing.append((os.path.relpath(readme, root), number, token))
    return missing


class Checker(unittest.TestCase):
    """The checker on a made-up repository."""

    def test_names_found_and_not_found(self):
        with tempfile.TemporaryDirectory() as root:
            for name in ("tests/cases/output/kept.case", "tests/cases/lists/bad-entry-a.case",
                         "tests/cases/catalogue/nul/a.case", "tests/e2e/run_case.py"):
                os.makedirs(os.path.dirname(os.path.join(root, name)), exist_ok=True)
                open(os.path.join(root, name), "w").close()
            with open(os.path.join(root, "README.md"), "w") as f:
                f.write("`output/kept` `output/kept.case` `tests/cases/output/kept.case`\n"
                        "`lists/bad-entry-*` `catalogue/nul/` `e2e/output/` `e2e/run_case.py`\n"
                        "`src/output.cpp` `/dev/full` `x/NAME.case` `e2e/<folder>/`\n"
                        "`output/gone` `lists/good-*` `tests/cases/x/y.case` `e2e/errors/`\n"
                        "`catalogue/zero/` `nul/a`\n")
            with open(os.path.join(root, "tests/cases/catalogue/README.md"), "w") as f:
                f.write("`nul/` `nul/a` `nul/b`\n")
            self.assertEqual(missing_cases(root), [
                ("README.md", 4, "output/gone"), ("README.md", 4, "lists/good-*"),
                ("README.md", 4, "tests/cases/x/y.case"), ("README.md", 4, "e2e/errors/"),
                ("README.md", 5, "catalogue/zero/"),
                ("tests/cases/catalogue/README.md", 1, "nul/b")])


class Repository(unittest.TestCase):
    def test_every_case_named_is_there(self):
        missing = missing_cases(ROOT)
        self.assertEqual(missing, [], "\n" + "\n".join(
            "%s:%d: no case %s" % entry for entry in missing))


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", default=ROOT)
    args, rest = parser.parse_known_args()
    ROOT = os.path.abspath(args.root)
    unittest.main(argv=[sys.argv[0]] + rest)
