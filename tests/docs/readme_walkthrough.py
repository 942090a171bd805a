"""The README's walkthrough, run: every fenced `sh` block of its "A first project" section runs
in one scratch folder, in order, with the built tools first on PATH; each must succeed, and
where a `text` block follows it (only blank lines between), the block's output (standard
output and standard error together) must be that text.

    readme_walkthrough.py --readme README.md --tools DIR [--section TITLE]
"""

import argparse
import os
import re
import subprocess
import sys
import tempfile
import unittest

FENCE = re.compile(r"^```(\w*)\n(.*?)^```\n", re.S | re.M)
# What the walkthrough must show, so that the test fails if the section loses it.
REQUIRED_COMMANDS = ("vorn ", "vorn-check ", "vorn-list ", "make")
BLOCK_TIMEOUT = 60


def section(text, title):
    """The text of the `## title` section, up to the next heading of that level."""
    match = re.search(r"^## %s\n(.*?)(?=^## |\Z)" % re.escape(title), text, re.S | re.M)
    if not match:
        raise ValueError("no section '## %s'" % title)
    return match.group(1)


def steps(text):
    """(commands, expected output or None) for each `sh` block, in order."""
    blocks = [(m.group(1), m.group(2), m.start(), m.end()) for m in FENCE.finditer(text)]
    found = []
    for i, (language, body, _, end) in enumerate(blocks):
        if language != "sh":
            continue
        expected = None
        if i + 1 < len(blocks):
            next_language, next_body, next_start, _ = blocks[i + 1]
            if next_language == "text" and text[end:next_start].strip() == "":
                expected = next_body
        found.append((body, expected))
    return found


def clean_environment(tools):
    env = {key: value for key, value in os.environ.items()
           if not key.startswith("MAKE") and key not in ("MFLAGS", "GNUMAKEFLAGS")}
    env["PATH"] = os.path.abspath(tools) + os.pathsep + env.get("PATH", "/usr/bin:/bin")
    env["LC_ALL"] = "C"
    return env


def run_steps(found, folder, env):
    """None when every step passes, else what went wrong."""
    for number, (commands, expected) in enumerate(found, 1):
        run = subprocess.run(["bash", "-e", "-o", "pipefail", "-c", commands], cwd=folder,
                             env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                             stdin=subprocess.DEVNULL, timeout=BLOCK_TIMEOUT)
        output = run.stdout.decode("utf-8", "replace")
        if run.returncode != 0:
            return "block %d failed with status %d:\n%s\n--- output\n%s" % (
                number, run.returncode, commands, output)
        if expected is not None and output != expected:
            return "block %d printed other output:\n%s\n--- expected\n%s--- got\n%s" % (
                number, commands, expected, output)
    return None


class Parsing(unittest.TestCase):
    def test_blocks_and_their_output(self):
        text = ("## A first project\n\n```sh\necho a\n```\n\n```text\na\n```\n\nprose\n\n"
                "```sh\ntrue\n```\n\nthen\n\n```text\nnot output\n```\n"
                "```make\nx:\n```\n## Next\n\n```sh\nfalse\n```\n")
        self.assertEqual(steps(section(text, "A first project")),
                         [("echo a\n", "a\n"), ("true\n", None)])

    def test_a_failing_step_and_other_output_are_found(self):
        with tempfile.TemporaryDirectory() as folder:
            env = clean_environment(folder)
            self.assertIsNone(run_steps([("echo a > f\n", None), ("cat f\n", "a\n")],
                                        folder, env))
            self.assertIn("status 1", run_steps([("false\necho never\n", None)], folder, env))
            self.assertIn("other output", run_steps([("echo b\n", "a\n")], folder, env))


class Walkthrough(unittest.TestCase):
    def test_every_command_runs_as_shown(self):
        with open(ARGS.readme, encoding="utf-8") as f:
            text = section(f.read(), ARGS.section)
        found = steps(text)
        commands = "".join(body for body, _ in found)
        for command in REQUIRED_COMMANDS:
            self.assertIn(command, commands, "the walkthrough no longer runs %r" % command)
        self.assertTrue(any(expected for _, expected in found), "no output shown")
        with tempfile.TemporaryDirectory() as folder:
            problem = run_steps(found, folder, clean_environment(ARGS.tools))
        self.assertIsNone(problem, problem)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--readme", required=True)
    parser.add_argument("--tools", required=True, help="the folder of the built tools")
    parser.add_argument("--section", default="A first project")
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest)
