"""The README's prerequisites are the lists that make demo, make test and .ci/run install:
each `apt-get install -y ...` line of its Prerequisites section, in order, names exactly the
packages of one group of scripts/prerequisites (demo, test, optional), and every group has
its line.

    readme_prerequisites.py [--root REPOSITORY]
"""

import argparse
import os
import re
import subprocess
import sys
import unittest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
GROUPS = ("demo", "test", "optional")
INSTALL = re.compile(r"^apt-get install -y ((?:[\w.+-]+ ?)+)$", re.M)


def readme_lines(text):
    """The package lists of the apt-get lines of the Prerequisites section, in order."""
    match = re.search(r"^## Prerequisites\n(.*?)(?=^## |\Z)", text, re.S | re.M)
    if not match:
        raise ValueError("the README has no '## Prerequisites' section")
    return [line.split() for line in INSTALL.findall(match.group(1))]


def group(root, name):
    run = subprocess.run([os.path.join(root, "scripts", "prerequisites"), "list", name],
                         stdout=subprocess.PIPE, check=True)
    return run.stdout.decode().split()


class Prerequisites(unittest.TestCase):
    def test_readme_names_each_group(self):
        with open(os.path.join(ROOT, "README.md"), encoding="utf-8") as f:
            lines = readme_lines(f.read())
        groups = [group(ROOT, name) for name in GROUPS]
        self.assertEqual(lines, groups, "README's apt-get lines (above) against "
                         "scripts/prerequisites list %s (below)" % "/".join(GROUPS))

    def test_the_test_group_holds_the_demo_group(self):
        self.assertLessEqual(set(group(ROOT, "demo")), set(group(ROOT, "test")))

    def test_lines_are_found_in_the_section_only(self):
        text = ("## Two commands\n\napt-get install -y a\n\n## Prerequisites\n\n```sh\n"
                "apt-get install -y g++ cmake\n```\n\nprose apt-get install -y no\n"
                "apt-get install -y x-1 y.2\n## Next\napt-get install -y b\n")
        self.assertEqual(readme_lines(text), [["g++", "cmake"], ["x-1", "y.2"]])


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", default=ROOT)
    args, rest = parser.parse_known_args()
    ROOT = os.path.abspath(args.root)
    unittest.main(argv=[sys.argv[0]] + rest)
