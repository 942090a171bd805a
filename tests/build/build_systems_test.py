#!/usr/bin/env python3
"""vorn-check's dependency files in real builds: GNU make and ninja.

Usage: build_systems_test.py --vorn PATH --vorn-check PATH [unittest arguments, e.g. MakeTest]

Each test lays out a small project in a temporary directory (two lists, scripts that include
files one and two levels deep, names with '$', '#' and a blank), builds it, changes files
and builds again, and looks at which compiled files were made anew (by their modification
time and inode). Exit status 77 (skipped) when the build tool is not installed.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

VORN = VORN_CHECK = None

FILES = {
    "events.lst": "OnStart 1\nOnTouch 2\n",
    "command.lst": "Wait 0 1\nSay 1 1\n",
    "main.vs": "include lib\\/a.vs\nOnStart:\n  Wait(1)\n",
    "lib/a.vs": "include lib\\/b.vs\n  Say(2)\n",
    "lib/b.vs": "  Wait(3)\n",
    "other.vs": "OnTouch:\n  Say(4)\n",
    "odd.vs": "include a$b#c.vs\n  Wait(6)\n",
    "a$b#c.vs": "  Say(5)\n",
}

MAKEFILE = """\
VORN_CHECK ?= vorn-check
PHONY ?= --deps-phony
SCRIPTS := main.vs other.vs odd.vs
all: $(SCRIPTS:.vs=.bin)
%.bin: %.vs
\t$(VORN_CHECK) -o $@ --deps $*.d $(PHONY) $<
-include $(SCRIPTS:.vs=.d)
"""

NINJA = """\
rule check
  command = $vorn_check -o $out --deps $out.d $in
  depfile = $out.d
  deps = gcc
build main.bin: check main.vs
build other.bin: check other.vs
build my$ script.bin: check my$ script.vs
"""


class Project:
    """A project in a temporary directory, and a look at its compiled files."""

    def __init__(self, test):
        self.dir = tempfile.mkdtemp(prefix="vorn-build-")
        test.addCleanup(shutil.rmtree, self.dir, True)
        for name, text in FILES.items():
            self.write(name, text)

    def path(self, name):
        return os.path.join(self.dir, name)

    def write(self, name, text):
        os.makedirs(os.path.dirname(self.path(name)), exist_ok=True)
        with open(self.path(name), "w") as f:
            f.write(text)

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def stamps(self, names):
        """Modification time and inode of each file that exists."""
        found = {}
        for name in names:
            try:
                st = os.stat(self.path(name))
                found[name] = (st.st_mtime_ns, st.st_ino)
            except FileNotFoundError:
                pass
        return found

    def touch(self, name, newer_than):
        """Sets name's modification time to now, once now is past every file in newer_than:
        the file system's clock may tick more coarsely than a build takes."""
        limit = max(os.stat(self.path(n)).st_mtime_ns for n in newer_than)
        for _ in range(500):
            os.utime(self.path(name))
            if os.stat(self.path(name)).st_mtime_ns > limit:
                return
            time.sleep(0.01)
        raise AssertionError("the clock did not move past the build's files")

    def vorn_bytes(self, script):
        """The file vorn compiles from script, in this project."""
        out = os.path.join(tempfile.mkdtemp(prefix="vorn-build-ref-"), "ref.bin")
        try:
            subprocess.run([VORN, script, out], cwd=self.dir, stdout=subprocess.DEVNULL,
                           check=True, timeout=60)
            with open(out, "rb") as f:
                return f.read()
        finally:
            shutil.rmtree(os.path.dirname(out))


class BuildChecks:
    """What both build tools must do; a test case class that mixes it in says how to run one."""

    TOOL = None
    OUTPUTS = ()

    def setUp(self):
        if shutil.which(self.TOOL) is None:
            self.skipTest("%s is not installed" % self.TOOL)
        self.project = Project(self)
        self.setUpProject()

    def setUpProject(self):
        pass

    def build(self, expect_ok=True):
        raise NotImplementedError

    def up_to_date(self):
        raise NotImplementedError

    def rebuilt_by(self, change):
        """Builds, makes the change, builds again; returns the outputs that were made anew."""
        self.build()
        before = self.project.stamps(self.OUTPUTS)
        change()
        self.assertFalse(self.up_to_date(), "the build tool sees nothing to do after the change")
        self.build()
        self.assertTrue(self.up_to_date())
        after = self.project.stamps(self.OUTPUTS)
        return {name for name in self.OUTPUTS if before.get(name) != after.get(name)}

    def test_first_build_makes_vorns_bytes_and_then_nothing_is_to_do(self):
        self.build()
        for output in self.OUTPUTS:
            script = output[:-len(".bin")] + ".vs"
            self.assertEqual(self.project.read(output), self.project.vorn_bytes(script), output)
        self.assertTrue(self.up_to_date())
        before = self.project.stamps(self.OUTPUTS)
        self.build()
        self.assertEqual(self.project.stamps(self.OUTPUTS), before)

    def test_touching_an_include_rebuilds_the_scripts_that_include_it(self):
        touch = lambda name: lambda: self.project.touch(name, self.OUTPUTS)
        self.assertEqual(self.rebuilt_by(touch("lib/a.vs")), {"main.bin"})
        # Two levels deep: lib/b.vs is included by lib/a.vs.
        self.assertEqual(self.rebuilt_by(touch("lib/b.vs")), {"main.bin"})

    def test_a_changed_include_two_levels_deep_gives_the_new_bytes(self):
        self.build()
        self.project.write("lib/b.vs", "  Wait(9)\n  Say(7)\n")
        self.project.touch("lib/b.vs", self.OUTPUTS)
        self.build()
        self.assertEqual(self.project.read("main.bin"), self.project.vorn_bytes("main.vs"))

    def test_touching_the_command_list_rebuilds_everything(self):
        self.assertEqual(self.rebuilt_by(lambda: self.project.touch("command.lst", self.OUTPUTS)),
                         set(self.OUTPUTS))

    def test_an_include_with_dollar_and_hash_in_its_name_is_a_dependency(self):
        includer = [o for o in self.OUTPUTS if o not in ("main.bin", "other.bin")]
        self.assertEqual(self.rebuilt_by(lambda: self.project.touch("a$b#c.vs", self.OUTPUTS)),
                         set(includer))

    def test_deleting_an_include_and_its_include_line_does_not_break_the_build(self):
        def delete():
            os.remove(self.project.path("lib/b.vs"))
            self.project.write("lib/a.vs", "  Say(2)\n")
            self.project.touch("lib/a.vs", self.OUTPUTS)
        self.assertEqual(self.rebuilt_by(delete), {"main.bin"})
        self.assertEqual(self.project.read("main.bin"), self.project.vorn_bytes("main.vs"))

    def test_an_include_that_cannot_be_opened_is_listed_and_its_creation_rebuilds(self):
        self.build()
        self.project.write("lib/a.vs", "include lib\\/b.vs\ninclude later.vs\n  Say(2)\n")
        self.project.touch("lib/a.vs", self.OUTPUTS)
        self.build(expect_ok=False)
        self.assertFalse(self.up_to_date())
        self.project.write("later.vs", "  Wait(8)\n")
        self.build()
        self.assertEqual(self.project.read("main.bin"), self.project.vorn_bytes("main.vs"))
        self.assertTrue(self.up_to_date())
        # Once it exists it is a dependency like any other.
        self.assertEqual(self.rebuilt_by(lambda: self.project.touch("later.vs", self.OUTPUTS)),
                         {"main.bin"})


def quiet_env():
    env = dict(os.environ, LC_ALL="C")
    # A make that runs this test must not hand its job server or flags to ours.
    for name in ("MAKEFLAGS", "MFLAGS", "MAKELEVEL", "MAKEOVERRIDES"):
        env.pop(name, None)
    return env


class MakeTest(BuildChecks, unittest.TestCase):
    TOOL = "make"
    OUTPUTS = ("main.bin", "other.bin", "odd.bin")

    def setUpProject(self):
        self.project.write("Makefile", MAKEFILE)

    def make(self, *args):
        return subprocess.run(["make", "-r", "VORN_CHECK=" + VORN_CHECK] + list(args),
                              cwd=self.project.dir, env=quiet_env(), stdin=subprocess.DEVNULL,
                              capture_output=True, text=True, timeout=120)

    def build(self, expect_ok=True):
        done = self.make()
        if expect_ok:
            self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        else:
            self.assertNotEqual(done.returncode, 0, done.stdout + done.stderr)
        return done

    def up_to_date(self):
        done = self.make("-q")
        self.assertIn(done.returncode, (0, 1), done.stdout + done.stderr)
        return done.returncode == 0

    def test_without_phony_rules_a_deleted_include_breaks_the_build(self):
        # What --deps-phony is for: make has no rule for a prerequisite that is gone.
        self.project.write("Makefile", MAKEFILE.replace("PHONY ?= --deps-phony", "PHONY ?="))
        self.build()
        os.remove(self.project.path("lib/b.vs"))
        self.project.write("lib/a.vs", "  Say(2)\n")
        done = self.build(expect_ok=False)
        self.assertIn("No rule to make target 'lib/b.vs'", done.stderr)


    def test_a_listed_missing_include_keeps_the_target_out_of_date(self):
        # The dependency file of a run that stopped at a missing include names it, so even a
        # compiled file newer than every other input is not taken as up to date while it is
        # missing; once it is created, the build runs and succeeds.
        self.build()
        self.project.write("lib/a.vs", "include lib\\/b.vs\ninclude later.vs\n  Say(2)\n")
        self.project.touch("lib/a.vs", self.OUTPUTS)
        self.build(expect_ok=False)
        self.assertIn("later.vs", self.project.read("main.d").decode())
        self.project.touch("main.bin", ["lib/a.vs", "main.d"])
        self.assertFalse(self.up_to_date())
        self.project.write("later.vs", "  Wait(8)\n")
        self.project.touch("later.vs", self.OUTPUTS)
        self.build()
        self.assertEqual(self.project.read("main.bin"), self.project.vorn_bytes("main.vs"))
        self.assertTrue(self.up_to_date())

    # A target named with ':', '%' and a blank: the dependency file names the very target the
    # Makefile does, so make reads it and a change two levels deep rebuilds it. (make never
    # takes a target with '%' as its default goal, so it is named.)
    ODD_TARGET = "out:1% x.bin"
    ODD_TARGET_MAKEFILE = """\
out\\:1\\%\\ x.bin: main.vs
\t$(VORN_CHECK) -o '$@' --deps odd-target.d --deps-target '$@' $<
-include odd-target.d
"""

    def test_a_target_with_colon_percent_and_blank_is_read_back_as_one_target(self):
        self.project.write("Makefile", self.ODD_TARGET_MAKEFILE)
        made = self.make(self.ODD_TARGET)
        self.assertEqual(made.returncode, 0, made.stdout + made.stderr)
        self.assertEqual(self.project.read(self.ODD_TARGET), self.project.vorn_bytes("main.vs"))
        self.assertEqual(self.make("-q", self.ODD_TARGET).returncode, 0)
        self.project.touch("lib/b.vs", [self.ODD_TARGET])
        done = self.make("-q", self.ODD_TARGET)
        self.assertEqual(done.returncode, 1, done.stdout + done.stderr)
        made = self.make(self.ODD_TARGET)
        self.assertEqual(made.returncode, 0, made.stdout + made.stderr)
        self.assertEqual(self.make("-q", self.ODD_TARGET).returncode, 0)

    def test_a_target_with_a_line_end_is_refused_and_the_makefile_still_reads(self):
        self.project.write("Makefile", "all:\n-include line.d\n")
        done = subprocess.run([VORN_CHECK, "-o", "main.bin", "--deps", "line.d",
                               "--deps-target", "a\nb", "main.vs"], cwd=self.project.dir,
                              capture_output=True, text=True, timeout=60)
        self.assertEqual(done.returncode, 1, done.stderr)
        self.assertIn("--deps-target: make cannot read a target that holds a line end",
                      done.stderr)
        self.assertFalse(os.path.exists(self.project.path("line.d")))
        self.assertFalse(os.path.exists(self.project.path("main.bin")))
        self.build()


    # Names make reads only escaped (':' would be a second colon, '|' the start of order-only
    # prerequisites), and a script read from standard input, which is no file make can look at.
    ODD_NAMES_MAKEFILE = """\
all: odd-names.bin stdin.bin
odd-names.bin: odd-names.vs
\t$(VORN_CHECK) -o $@ --deps odd-names.d --deps-phony $<
stdin.bin: from-stdin.vs
\t$(VORN_CHECK) -o $@ --deps stdin.d --deps-phony - < $<
-include odd-names.d stdin.d
"""

    def test_names_with_colon_and_bar_and_standard_input(self):
        self.project.write("Makefile", self.ODD_NAMES_MAKEFILE)
        self.project.write("odd-names.vs", "include c:d.vs\ninclude x|y.vs\n  Wait(1)\n")
        self.project.write("c:d.vs", "  Say(2)\n")
        self.project.write("x|y.vs", "  Say(3)\n")
        self.project.write("from-stdin.vs", "include c:d.vs\n")
        outputs = ["odd-names.bin", "stdin.bin"]
        self.build()
        self.assertTrue(self.up_to_date())
        self.assertNotIn("<stdin>", self.project.read("stdin.d").decode())
        for name, rebuilt in (("c:d.vs", set(outputs)), ("x|y.vs", {"odd-names.bin"})):
            before = self.project.stamps(outputs)
            self.project.touch(name, outputs)
            self.assertFalse(self.up_to_date(), name)
            self.build()
            self.assertTrue(self.up_to_date(), name)
            after = self.project.stamps(outputs)
            self.assertEqual({o for o in outputs if before[o] != after[o]}, rebuilt, name)
        # With --deps-phony a deleted include does not stop the build.
        os.remove(self.project.path("x|y.vs"))
        self.project.write("odd-names.vs", "include c:d.vs\n")
        self.build()


class NinjaTest(BuildChecks, unittest.TestCase):
    TOOL = "ninja"
    OUTPUTS = ("main.bin", "other.bin", "my script.bin")

    def setUpProject(self):
        self.project.write("build.ninja", "vorn_check = %s\n%s" % (VORN_CHECK, NINJA))
        self.project.write("my script.vs", FILES["odd.vs"])

    def ninja(self, *args):
        return subprocess.run(["ninja"] + list(args), cwd=self.project.dir, env=quiet_env(),
                              stdin=subprocess.DEVNULL, capture_output=True, text=True,
                              timeout=120)

    def build(self, expect_ok=True):
        done = self.ninja()
        if expect_ok:
            self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        else:
            self.assertNotEqual(done.returncode, 0, done.stdout + done.stderr)
        return done

    def up_to_date(self):
        done = self.ninja("-n")
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        return "no work to do" in done.stdout

    def test_ninja_keeps_the_dependencies_it_read(self):
        # deps = gcc: ninja reads each dependency file into its log and removes it.
        self.build()
        for output in self.OUTPUTS:
            self.assertFalse(os.path.exists(self.project.path(output + ".d")), output)
        done = self.ninja("-t", "deps", "my script.bin")
        self.assertIn("a$b#c.vs", done.stdout)
        self.assertIn("command.lst", done.stdout)


def main():
    global VORN, VORN_CHECK
    ap = argparse.ArgumentParser(add_help=False)
    ap.add_argument("--vorn", required=True)
    ap.add_argument("--vorn-check", required=True)
    args, rest = ap.parse_known_args()
    VORN, VORN_CHECK = os.path.abspath(args.vorn), os.path.abspath(args.vorn_check)
    program = unittest.main(argv=[sys.argv[0]] + rest, exit=False)
    result = program.result
    if not result.wasSuccessful():
        return 1
    # Every test skipped: the build tool is not there.
    return 77 if result.testsRun and len(result.skipped) == result.testsRun else 0


if __name__ == "__main__":
    sys.exit(main())
