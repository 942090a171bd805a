"""vorn-check --fix on copies of small projects: what it prints, the scripts it rewrites,
that the result compiles with vorn, and that a second --fix finds nothing to fix."""
import argparse
import json
import os
import subprocess
import sys
import tempfile
import unittest

VORN = VORN_CHECK = None

EVENTS = "OnStart 1\nOnTouch 2\n"
COMMANDS = "Wait 1 1\nSay 2 1\nReply 3 2\nTeleport 4 1\nStop 5 0\nStep 6 0\n"


def write(folder, files):
    for name, text in files.items():
        path = os.path.join(folder, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(text.encode() if isinstance(text, str) else text)


def read(folder, name):
    with open(os.path.join(folder, name), "rb") as f:
        return f.read().decode()


def run(program, *args, cwd):
    return subprocess.run([program, *args], cwd=cwd, capture_output=True, text=True, errors="replace", timeout=60)


class FixTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="vorn-fix-")
        self.addCleanup(subprocess.run, ["rm", "-rf", self.folder])
        write(self.folder, {"events.lst": EVENTS, "command.lst": COMMANDS})

    def check(self, *args):
        return run(VORN_CHECK, *args, cwd=self.folder)

    def assert_nothing_left_to_fix(self, *args):
        names = sorted(os.listdir(self.folder))
        before = {n: read(self.folder, n) for n in names if n.endswith(".vs")}
        again = self.check("--fix", *args)
        self.assertNotIn("fixed:", again.stdout)
        self.assertEqual(again.returncode, 0, again.stdout + again.stderr)
        self.assertEqual({n: read(self.folder, n) for n in before}, before)

    def test_every_safe_fix_of_a_script_and_its_include(self):
        write(self.folder, {
            "main.vs": ("defvar Gold 3\n"
                        "include sub/x.vs\n"
                        "OnStrt:\n"
                        "    Wait(1)\n"
                        "OnTouch: Say(\"hi\") ; greet\n"
                        "    Teleprt(Gol)\n"
                        "    Wait junk(10)\n"
                        "    Wait(1) junk\n"
                        "7 Wait(2)\n"
                        "8 junk\n"
                        "    Stop()\n"),
            "sub/x.vs": "    Sya(\"x\")\n",
        })
        first = self.check("--fix", "main.vs")
        self.assertEqual(first.stdout,
                         "main.vs:2:9: fixed: escape the '/' of 'sub/x.vs'\n"
                         "main.vs:3:1: fixed: replace 'OnStrt' with 'OnStart'\n"
                         "main.vs:5:10: fixed: move 'Say(\"hi\")' onto a line of its own\n"
                         "main.vs:6:5: fixed: replace 'Teleprt' with 'Teleport'\n"
                         "main.vs:7:10: fixed: remove 'junk'\n"
                         "main.vs:8:13: fixed: remove 'junk'\n"
                         "main.vs:9:3: fixed: move 'Wait(2)' onto a line of its own\n"
                         "main.vs:10:3: fixed: remove 'junk'\n"
                         # Checked again: the include now opens, and the line of the
                         # unknown command is compiled.
                         "sub/x.vs:1:5: fixed: replace 'Sya' with 'Say'\n"
                         "main.vs:7:14: fixed: replace 'Gol' with 'Gold'\n")
        self.assertEqual(read(self.folder, "main.vs"),
                         "defvar Gold 3\n"
                         "include sub\\/x.vs\n"
                         "OnStart:\n"
                         "    Wait(1)\n"
                         "OnTouch:\n"
                         "    Say(\"hi\") ; greet\n"
                         "    Teleport(Gold)\n"
                         "    Wait(10)\n"
                         "    Wait(1)\n"
                         "7\n"
                         "    Wait(2)\n"
                         "8\n"
                         "    Stop()\n")
        self.assertEqual(read(self.folder, "sub/x.vs"), "    Say(\"x\")\n")
        self.assertEqual(first.stderr, "")
        self.assertEqual(first.returncode, 0)
        self.assert_nothing_left_to_fix("main.vs")
        compiled = run(VORN, "main.vs", "main.bin", cwd=self.folder)
        self.assertEqual(compiled.returncode, 0, compiled.stdout)
        self.assertTrue(os.path.getsize(os.path.join(self.folder, "main.bin")) > 64)

    def test_project_fixes_every_top_script_and_keeps_crlf_line_ends(self):
        write(self.folder, {
            "a.vs": b"OnStart: Wait(1)\r\n    Wiat(2)\r\n",
            "b.vs": "include shared.vs\nOnTouch:\n    Say(\"b\") x\n",
            "shared.vs": "defnum Speed 2\n    Wait(Sped)\n",
        })
        first = self.check("--fix", "--project")
        self.assertEqual(sorted(first.stdout.splitlines()),
                         ["a.vs:1:10: fixed: move 'Wait(1)' onto a line of its own",
                          "a.vs:2:5: fixed: replace 'Wiat' with 'Wait'",
                          "b.vs:3:14: fixed: remove 'x'",
                          "shared.vs:2:10: fixed: replace 'Sped' with 'Speed'"])
        self.assertEqual(first.returncode, 0, first.stdout)
        self.assertEqual(read(self.folder, "a.vs"), "OnStart:\r\n    Wait(1)\r\n    Wait(2)\r\n")
        self.assertEqual(read(self.folder, "b.vs"), "include shared.vs\nOnTouch:\n    Say(\"b\")\n")
        self.assertEqual(read(self.folder, "shared.vs"), "defnum Speed 2\n    Wait(Speed)\n")
        self.assert_nothing_left_to_fix("--project")
        for top in ("a.vs", "b.vs"):
            self.assertEqual(run(VORN, top, top + ".bin", cwd=self.folder).returncode, 0)

    def test_what_is_not_certain_is_left_as_it_is(self):
        # Two commands equally close, and a ',' inside a string: no safe fix.
        text = "OnStart:\n    Stip()\n    Reply(&2, \"Fresh bread, enjoy!\")\n"
        write(self.folder, {"t.vs": text})
        result = self.check("--fix", "t.vs")
        self.assertNotIn("fixed:", result.stdout)
        self.assertIn("t.vs:2:5: note: did you mean 'Stop' or 'Step'?", result.stdout)
        # The report after the fixes is the check as asked for: it keeps going past the
        # unknown command, and the errors are counted.
        self.assertEqual(result.returncode, 10)
        self.assertEqual(read(self.folder, "t.vs"), text)

    def test_with_json_the_fixes_are_told_on_standard_error(self):
        write(self.folder, {"t.vs": "OnStart:\n    Sya(1)\n"})
        result = self.check("--fix", "--format=json", "t.vs")
        self.assertEqual(result.stderr, "t.vs:2:5: fixed: replace 'Sya' with 'Say'\n")
        self.assertEqual(json.loads(result.stdout)["diagnostics"], [])
        self.assertEqual(result.returncode, 0)
        self.assertEqual(read(self.folder, "t.vs"), "OnStart:\n    Say(1)\n")

    def test_standard_input_is_not_fixed(self):
        result = self.check("--fix", "-")
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("--fix", result.stderr)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--vorn", required=True)
    parser.add_argument("--vorn-check", required=True)
    args, rest = parser.parse_known_args()
    VORN, VORN_CHECK = os.path.abspath(args.vorn), os.path.abspath(args.vorn_check)
    unittest.main(argv=[sys.argv[0], *rest])
