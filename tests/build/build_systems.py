#!/usr/bin/env python3
"""Builds examples/build for real with one build system and checks what it rebuilds.

Kinds: make (the example's Makefile), ninja (its build.ninja), cmake-ninja and cmake-make
(its CMakeLists.txt with find_package(Vorn) from an installed tree, CMake's Ninja or Unix
Makefiles generator).

In a copy of the example:
- the first build compiles every script, to the bytes vorn writes;
- a second build compiles nothing;
- touching a shared include rebuilds exactly the scripts that include it, also through a
  nested include; touching command.lst rebuilds every script;
- a script with a counted error fails the build with vorn-check's status 10 and every
  compiled file keeps its bytes; fixing it rebuilds that script alone;
- 200 scripts sharing includes build in parallel (-j4) to the bytes vorn writes, and a
  touched include then rebuilds exactly its users.

Usage: build_systems.py KIND --example DIR --vorn PATH --tools DIR [--prefix DIR]
  --tools: the folder of vorn-check, put first on PATH for make and ninja
  --prefix: the installed tree that find_package(Vorn) is to find (cmake kinds)
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

KINDS = ("make", "ninja", "cmake-ninja", "cmake-make")
PARALLEL_SCRIPTS = 200
JOBS = 4


class Failure(Exception):
    pass


class Build:
    """One build system over one folder of scripts."""

    def __init__(self, kind, source, args):
        self.kind = kind
        self.source = source
        self.args = args
        self.env = dict(os.environ, LC_ALL="C", PATH=args.tools + os.pathsep + os.environ["PATH"])
        self.binary = os.path.join(source, "_build") if kind.startswith("cmake") else source
        self.timings = []

    def output(self, script):
        stem = script[:-3]
        if self.kind.startswith("cmake"):
            return os.path.join(self.binary, "scripts", stem + ".bin")
        return os.path.join(self.source, "out", stem + ".bin")

    def configure(self):
        if not self.kind.startswith("cmake"):
            return
        generator = "Ninja" if self.kind == "cmake-ninja" else "Unix Makefiles"
        run(["cmake", "-S", self.source, "-B", self.binary, "-G", generator,
             "-DCMAKE_PREFIX_PATH=" + self.args.prefix], self.env)

    def command(self, jobs):
        if self.kind == "make":
            return ["make", "-C", self.source, "-j%d" % jobs]
        if self.kind == "ninja":
            return ["ninja", "-C", self.source, "-j%d" % jobs]
        return ["cmake", "--build", self.binary, "-j", str(jobs)]

    def failed_command_status(self, script):
        """The status of the command ninja runs for script, run as ninja runs it."""
        target = os.path.relpath(self.output(script), self.binary)
        commands = run(["ninja", "-C", self.binary, "-t", "commands", target], self.env)
        command = commands.decode().strip().split("\n")[-1]
        return subprocess.run(["sh", "-c", command], cwd=self.binary, env=self.env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              stdin=subprocess.DEVNULL).returncode

    def build(self, what, jobs=1, expect_ok=True):
        start = time.monotonic()
        done = subprocess.run(self.command(jobs), cwd=self.source, env=self.env,
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              stdin=subprocess.DEVNULL)
        seconds = time.monotonic() - start
        self.timings.append((what, seconds))
        text = done.stdout.decode("utf-8", "replace")
        if expect_ok and done.returncode != 0:
            raise Failure("%s: the build failed (status %d):\n%s" % (what, done.returncode, text))
        if not expect_ok and done.returncode == 0:
            raise Failure("%s: the build succeeded, but it should fail:\n%s" % (what, text))
        return text


def run(argv, env, cwd=None):
    done = subprocess.run(argv, cwd=cwd, env=env, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
    if done.returncode != 0:
        raise Failure("%s failed (status %d):\n%s" % (" ".join(argv), done.returncode,
                                                      done.stdout.decode("utf-8", "replace")))
    return done.stdout


def scripts_in(folder):
    return sorted(name for name in os.listdir(folder) if name.endswith(".vs"))


def stamps(build, scripts):
    """Who each compiled file is: a compile writes a new file and renames it in place."""
    out = {}
    for script in scripts:
        st = os.stat(build.output(script))
        out[script] = (st.st_ino, st.st_mtime_ns)
    return out


def rebuilt(before, after):
    return sorted(script for script in before if before[script] != after[script])


def touch(path):
    # Past the file system's clock tick since the last compiled file was written.
    time.sleep(0.05)
    os.utime(path)


def expected_bytes(folder, scripts, vorn):
    """What vorn itself writes for each script, compiled in the folder with its lists."""
    expected = {}
    scratch = tempfile.mkdtemp(prefix="vorn-expected-")
    try:
        for script in scripts:
            target = os.path.join(scratch, script + ".bin")
            done = subprocess.run([vorn, script, target], cwd=folder, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
            if done.returncode != 0:
                raise Failure("vorn %s ended with status %d" % (script, done.returncode))
            with open(target, "rb") as f:
                expected[script] = f.read()
    finally:
        shutil.rmtree(scratch)
    return expected


def check_bytes(build, expected, what):
    for script, data in expected.items():
        with open(build.output(script), "rb") as f:
            if f.read() != data:
                raise Failure("%s: %s is not what vorn writes for %s"
                              % (what, build.output(script), script))


def check_rebuilt(build, scripts, what, expected):
    before = stamps(build, scripts)
    build.build(what)
    got = rebuilt(before, stamps(build, scripts))
    if got != sorted(expected):
        raise Failure("%s: rebuilt %s, expected %s" % (what, got, sorted(expected)))


def example_scenarios(build, args):
    scripts = scripts_in(build.source)
    users = {"lib/greet.vs": [], "lib/lights.vs": []}
    for script in scripts:
        with open(os.path.join(build.source, script)) as f:
            text = f.read()
        if "lib\\/greet.vs" in text:
            users["lib/greet.vs"].append(script)
        if "lib\\/night.vs" in text:  # night.vs includes lights.vs
            users["lib/lights.vs"].append(script)
    if not all(users.values()) or len(users["lib/greet.vs"]) == len(scripts):
        raise Failure("the example should have includes that some scripts share and others do not")
    expected = expected_bytes(build.source, scripts, args.vorn)

    build.configure()
    build.build("first build")
    check_bytes(build, expected, "first build")
    check_rebuilt(build, scripts, "second build", [])
    for include, who in sorted(users.items()):
        touch(os.path.join(build.source, include))
        check_rebuilt(build, scripts, "after touching " + include, who)
    touch(os.path.join(build.source, "command.lst"))
    check_rebuilt(build, scripts, "after touching command.lst", scripts)

    # A counted error: the build fails with status 10, and no compiled file changes.
    broken = users["lib/greet.vs"][0]
    path = os.path.join(build.source, broken)
    with open(path) as f:
        good = f.read()
    before = stamps(build, scripts)
    with open(path, "a") as f:
        f.write("    Wait(Nowhere)\n")
    text = build.build("a script with an error", expect_ok=False)
    if "%s:" % broken not in text or "error: Unknown argument 'Nowhere'" not in text:
        raise Failure("the failed build does not show vorn-check's error:\n" + text)
    # make reports the status of the command that failed; ninja does not print it, so the
    # command ninja ran for the script is run again to see its status.
    if build.kind in ("make", "cmake-make") and not re.search(r"Error 10\b", text):
        raise Failure("the failed build does not end with vorn-check's status 10:\n" + text)
    if build.kind in ("ninja", "cmake-ninja"):
        status = build.failed_command_status(broken)
        if status != 10:
            raise Failure("the command that failed the build ends with status %d, not 10" % status)
    after = stamps(build, scripts)
    if before != after:
        raise Failure("a failed build changed %s" % rebuilt(before, after))
    check_bytes(build, expected, "after the failed build")
    with open(path, "w") as f:
        f.write(good)
    check_rebuilt(build, scripts, "after fixing " + broken, [broken])
    check_bytes(build, expected, "after fixing " + broken)


def parallel_scenario(build, args):
    """200 scripts, each including the shared names and one of four shared parts."""
    folder = build.source
    for script in scripts_in(folder):
        os.remove(os.path.join(folder, script))
    parts = ["greet", "night", "hello", "count"]
    with open(os.path.join(folder, "lib", "hello.vs"), "w") as f:
        f.write("4\n    Say(\"hello\")\n    Goto(1)\n")
    with open(os.path.join(folder, "lib", "count.vs"), "w") as f:
        f.write("4\n    Add(Visitors, 1)\n    Goto(1)\n")
    users = {part: [] for part in parts}
    scripts = []
    for n in range(PARALLEL_SCRIPTS):
        name = "s%03d.vs" % n
        part = parts[n % len(parts)]
        users[part].append(name)
        scripts.append(name)
        with open(os.path.join(folder, name), "w") as f:
            f.write("include lib\\/names.vs\ninclude lib\\/%s.vs\nOnStart:\n    Wait(%d)\n"
                    "    Say(\"script %d\")\n1\n    Goto(1)\n" % (part, n, n))
    if build.kind == "ninja":
        # The example's rule, with a build line for every script.
        with open(os.path.join(folder, "build.ninja")) as f:
            rule = f.read().split("\nbuild ")[0]
        with open(os.path.join(folder, "build.ninja"), "w") as f:
            f.write(rule + "\n" + "".join("build out/%s.bin: vorn %s\n" % (s[:-3], s)
                                          for s in scripts))
    expected = expected_bytes(folder, scripts, args.vorn)
    build.configure()
    build.build("%d scripts with -j%d" % (len(scripts), JOBS), jobs=JOBS)
    check_bytes(build, expected, "the parallel build")
    check_rebuilt(build, scripts, "second build of %d scripts" % len(scripts), [])
    touch(os.path.join(folder, "lib", "hello.vs"))
    before = stamps(build, scripts)
    build.build("after touching lib/hello.vs, -j%d" % JOBS, jobs=JOBS)
    got = rebuilt(before, stamps(build, scripts))
    if got != sorted(users["hello"]):
        raise Failure("after touching lib/hello.vs: rebuilt %d scripts, expected the %d that "
                      "include it" % (len(got), len(users["hello"])))
    check_bytes(build, expected, "the parallel rebuild")


def fresh_copy(example, kind):
    folder = tempfile.mkdtemp(prefix="vorn-build-%s-" % kind)
    shutil.copytree(example, folder, dirs_exist_ok=True,
                    ignore=shutil.ignore_patterns("out", "_build", ".ninja_*", "README.md"))
    return folder


def main(argv):
    ap = argparse.ArgumentParser(description="Build the example scripts with one build system.")
    ap.add_argument("kind", choices=KINDS)
    ap.add_argument("--example", required=True)
    ap.add_argument("--vorn", required=True)
    ap.add_argument("--tools", required=True)
    ap.add_argument("--prefix")
    args = ap.parse_args(argv)
    args.vorn = os.path.abspath(args.vorn)
    args.tools = os.path.abspath(args.tools)
    if args.kind.startswith("cmake") and not args.prefix:
        ap.error("the cmake kinds need --prefix")
    failures = 0
    for scenario in (example_scenarios, parallel_scenario):
        folder = fresh_copy(args.example, args.kind)
        build = Build(args.kind, folder, args)
        try:
            scenario(build, args)
            shutil.rmtree(folder)
        except Failure as e:
            failures += 1
            print("FAIL (%s, kept in %s): %s" % (scenario.__name__, folder, e))
        for what, seconds in build.timings:
            print("%-12s %-45s %6.2f s" % (args.kind, what, seconds))
    print("%s: %d passed, %d failed" % (args.kind, 2 - failures, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
