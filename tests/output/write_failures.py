"""Every tool that writes a file, under every way a write can fail: whatever happens, each file
the user had is byte-identical or holds the whole new content, never less, and the status and
the message say what happened.

The tools and what they write: vorn (the compiled file), vorn-check -o (the compiled file),
--deps (a dependency file), --fix (the script itself), vorn-list --map (a symbol map) and
vorn-fmt (the script itself). The failures: a full small tmpfs, ulimit -f, a folder the user
may not write in (run as nobody through setpriv), SIGKILL at a random moment, and an output
that names an input by another spelling or through a link.

The new content each run should give comes from the same run on a copy of the project where
nothing fails. Scripts are generated from a seed (--seed, printed on a failure). The full
file system needs a mount namespace of its own (root and unshare -m): without one, those
cases are skipped with a message and the others run."""

import argparse
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

import full_file_system
import helpers
from helpers import OLD_BYTES, SKIP, limit_file_size, temp_files

TOOLS = {}
SEED = None
# Whether the full-file-system cases can run here, and why not.
MOUNT_PROBLEM = None

# The unprivileged user of the unwritable-folder cases.
NOBODY = 65534

# Outputs that exist before each run, with bytes of their own.
OLD_OUTPUTS = {
    "out.bin": OLD_BYTES,
    "t.d": b"old.bin: old.vs\n",
    "t.map": b"an old symbol map\n",
}

# strerror's texts, as the messages give the reason.
NO_SPACE = "No space left on device"
TOO_LARGE = "File too large"
DENIED = "Permission denied"


class Run:
    """One tool run: its command line (tool name first), the files it writes, and its status
    and message when a write fails. reason: whether the message gives strerror's text."""

    def __init__(self, name, args, writes, fail_status, message, reason):
        self.name, self.args, self.writes = name, args, writes
        self.fail_status, self.message, self.reason = fail_status, message, reason

    def command(self):
        return [TOOLS[self.args[0]]] + self.args[1:]


RUNS = [
    Run("vorn", ["vorn", "t.vs", "out.bin"], ["out.bin"], 3, "Cannot write file out.bin!", False),
    Run("check -o", ["vorn-check", "-o", "out.bin", "t.vs"], ["out.bin"], 3,
        "Cannot write file out.bin", False),
    Run("check --deps", ["vorn-check", "--deps", "t.d", "--deps-target", "out.bin", "t.vs"],
        ["t.d"], 3, "vorn-check: cannot write t.d", False),
    Run("check --fix", ["vorn-check", "--fix", "f.vs"], ["f.vs"], 3,
        "vorn-check: cannot write f.vs (", True),
    Run("list --map", ["vorn-list", "--map", "t.map", "t.vs"], ["t.map"], 3,
        "vorn-list: cannot write t.map", False),
    Run("fmt", ["vorn-fmt", "t.vs"], ["t.vs"], 2,
        "vorn-fmt: t.vs: cannot write the formatted file (", True),
]
IN_PLACE = ("check --fix", "fmt")


def generated_project(rng, statements):
    """The user's files: the lists, t.vs (clean, not in the formatter's layout, with an
    include) and f.vs (an unknown command that --fix corrects), and the old outputs."""
    lines = [b"include inc.vs", b"OnA:"]
    for _ in range(statements):
        blanks = b" " * rng.randint(1, 6)
        lines.append(b"%sWait( %d )" % (blanks, rng.randint(-30000, 30000)))
        for _ in range(rng.randint(0, 2)):
            lines.append(b"// " + bytes(rng.choice(b"abcdefgh ") for _ in range(rng.randint(0, 60))))
    fixable = [b"  Wait(%d)" % rng.randint(0, 99) for _ in range(statements // 2)]
    fixable.insert(rng.randint(0, len(fixable)), b"  Wiat(1)")
    files = {
        "events.lst": helpers.EVENTS,
        "command.lst": helpers.COMMANDS,
        "t.vs": b"\n".join(lines) + b"\n",
        "inc.vs": b"  Wait(7)\n",
        "f.vs": b"\n".join(fixable) + b"\n",
    }
    files.update(OLD_OUTPUTS)
    return files


def lay_out(folder, files):
    for name, data in files.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


def files_in(folder):
    """Every file in folder (not its temporary files), by name: bytes, or the link's text."""
    found = {}
    for name in os.listdir(folder):
        path = os.path.join(folder, name)
        if name in temp_files(folder):
            continue
        if os.path.islink(path):
            found[name] = ("link", os.readlink(path))
        elif os.path.isfile(path):
            with open(path, "rb") as f:
                found[name] = f.read()
    return found


def execute(run, folder, preexec_fn=None, user=None):
    command = run.command()
    if user is not None:
        command = ["setpriv", "--reuid=%d" % user, "--regid=%d" % user, "--clear-groups"] + command
    return subprocess.run(command, cwd=folder, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, preexec_fn=preexec_fn, timeout=60)


class WriteFailures(unittest.TestCase):
    maxDiff = 3000

    def setUp(self):
        self.rng = random.Random(SEED)
        self.top = tempfile.mkdtemp(prefix="vorn-write-failures-")
        os.chmod(self.top, 0o755)
        self.project = generated_project(self.rng, self.rng.randint(100, 300))
        self.new = {}
        self.durations = {}
        for run in RUNS:
            self.new[run.name], self.durations[run.name] = self.reference(run)

    def tearDown(self):
        shutil.rmtree(self.top, ignore_errors=True)

    def reference(self, run):
        """What run writes where nothing fails, and how long it takes."""
        folder = tempfile.mkdtemp(dir=self.top)
        lay_out(folder, self.project)
        start = time.monotonic()
        done = execute(run, folder)
        took = time.monotonic() - start
        self.assertEqual(done.returncode, 0, (run.name, done.stdout[-500:], done.stderr[-500:]))
        written = files_in(folder)
        for name in run.writes:
            self.assertNotEqual(written[name], self.project[name], run.name + " changed nothing")
        shutil.rmtree(folder)
        return {name: written[name] for name in run.writes}, took

    def fresh(self, parent=None):
        folder = tempfile.mkdtemp(dir=parent or self.top)
        os.chmod(folder, 0o755)
        lay_out(folder, self.project)
        return folder

    def assert_old_or_whole_new(self, run, folder, before, context):
        after = files_in(folder)
        self.assertEqual(sorted(after), sorted(before), context)
        for name, old in before.items():
            if after[name] == old:
                continue
            self.assertIn(name, run.writes, "%s: %s changed (%s)" % (run.name, name, context))
            self.assertEqual(after[name], self.new[run.name][name],
                             "%s: %s holds neither its old bytes nor the whole new content (%s)"
                             % (run.name, name, context))

    def assert_outcome(self, run, folder, before, done, reason, context):
        """Old-or-new for every file; status 0 and every output new, or the failure status
        and a message naming the file (and why, for a script), every output as it was."""
        self.assert_old_or_whole_new(run, folder, before, context)
        after = files_in(folder)
        said = (done.stdout + done.stderr).decode(errors="replace")
        if done.returncode == 0:
            for name in run.writes:
                self.assertEqual(after[name], self.new[run.name][name], (run.name, context))
        else:
            self.assertEqual(done.returncode, run.fail_status, (run.name, context, said))
            self.assertIn(run.message, said, (run.name, context))
            if run.reason:
                self.assertIn(reason, said, (run.name, context))
                self.assertIn("it is left as it was", said, (run.name, context))
            for name in run.writes:
                self.assertEqual(after[name], before[name], (run.name, context))
        self.assertEqual(temp_files(folder), [], (run.name, context))
        return done.returncode == 0

    def test_file_size_limit(self):
        # Any limit below the new content's size fails the run; its very size is enough.
        for run in RUNS:
            size = max(len(data) for data in self.new[run.name].values())
            for limit in sorted({0, size - 1, self.rng.randint(0, size - 1)}) + [size]:
                folder = self.fresh()
                before = files_in(folder)
                done = execute(run, folder, preexec_fn=limit_file_size(limit))
                ok = self.assert_outcome(run, folder, before, done, TOO_LARGE, "ulimit -f %d" % limit)
                self.assertEqual(ok, limit == size, (run.name, limit))

    def test_folder_the_user_may_not_write(self):
        # The user owns the files but not the folder. The compiled file, the map and the
        # dependency file are written in place then, as the compiled file always was; the
        # scripts are never written in place: they stay as they were.
        for run in RUNS:
            folder = self.fresh()
            for name in os.listdir(folder):
                os.chown(os.path.join(folder, name), NOBODY, NOBODY)
            before = files_in(folder)
            done = execute(run, folder, user=NOBODY)
            ok = self.assert_outcome(run, folder, before, done, DENIED, "as nobody")
            self.assertEqual(ok, run.name not in IN_PLACE, (run.name, done.stderr))
            if run.name in IN_PLACE:
                # Where a write in place would have run into the limit and emptied it.
                done = execute(run, folder, preexec_fn=limit_file_size(8), user=NOBODY)
                self.assert_outcome(run, folder, before, done, DENIED, "as nobody, ulimit -f 8")
                self.assertNotEqual(done.returncode, 0, run.name)

    def test_full_file_system(self):
        if MOUNT_PROBLEM:
            self.skipTest(MOUNT_PROBLEM)
        for run in RUNS:
            mount_point = tempfile.mkdtemp(dir=self.top)
            subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "vorn-test", mount_point],
                           check=True)
            try:
                folder = self.fresh(mount_point)
                full_file_system.fill(os.path.join(mount_point, "filler"))
                before = files_in(folder)
                done = execute(run, folder)
                ok = self.assert_outcome(run, folder, before, done, NO_SPACE, "full file system")
                self.assertFalse(ok, run.name + " wrote on a full file system")
            finally:
                subprocess.run(["umount", mount_point], check=True)

    def test_killed_at_a_random_moment(self):
        for run in RUNS:
            for _ in range(12):
                folder = self.fresh()
                before = files_in(folder)
                moment = self.rng.uniform(0, 1.5 * self.durations[run.name])
                process = subprocess.Popen(run.command(), cwd=folder, stdin=subprocess.DEVNULL,
                                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                time.sleep(moment)
                process.send_signal(signal.SIGKILL)
                status = process.wait()
                context = "SIGKILL after %.4f s" % moment
                self.assert_old_or_whole_new(run, folder, before, context)
                if status == 0:
                    for name in run.writes:
                        self.assertEqual(files_in(folder)[name], self.new[run.name][name], context)
                # A kill leaves the temporary file behind: never one of the user's names.
                for name in temp_files(folder):
                    self.assertTrue(name.startswith(".") and ".vorn-" in name, name)
                shutil.rmtree(folder)

    def test_output_naming_an_input(self):
        outputs = [run for run in RUNS if run.name not in IN_PLACE]
        for run in outputs:
            folder = self.fresh()
            os.mkdir(os.path.join(folder, "sub"))
            os.symlink("t.vs", os.path.join(folder, "link.vs"))
            os.symlink("sub/../link.vs", os.path.join(folder, "chain.vs"))
            os.link(os.path.join(folder, "inc.vs"), os.path.join(folder, "hard.vs"))
            spellings = ["./t.vs", "sub/../t.vs", os.path.join(folder, "t.vs"), "link.vs",
                         "chain.vs", "hard.vs", "./inc.vs", "./events.lst", "sub/../command.lst"]
            written = run.writes[0]
            for spelling in spellings:
                before = files_in(folder)
                args = [spelling if a == written else a for a in run.args]
                named = Run(run.name, args, [spelling], 3, "", False)
                done = execute(named, folder)
                said = (done.stdout + done.stderr).decode(errors="replace")
                self.assertEqual(done.returncode, 3, (run.name, spelling, said))
                self.assertIn(spelling, said, (run.name, spelling))
                self.assertIn("is an input file", said, (run.name, spelling))
                self.assertEqual(files_in(folder), before, (run.name, spelling))

    def test_script_rewritten_through_a_link(self):
        # The link stays a link, and the file it leads to gets the whole new text with its
        # permission bits.
        for run in RUNS:
            if run.name not in IN_PLACE:
                continue
            folder = self.fresh()
            script = run.writes[0]
            os.symlink(script, os.path.join(folder, "link.vs"))
            os.chmod(os.path.join(folder, script), 0o640)
            args = ["link.vs" if a == script else a for a in run.args]
            done = execute(Run(run.name, args, [], 0, "", False), folder)
            self.assertEqual(done.returncode, 0, (run.name, done.stderr))
            self.assertEqual(os.readlink(os.path.join(folder, "link.vs")), script)
            self.assertEqual(files_in(folder)[script], self.new[run.name][script], run.name)
            # The new file has the old one's permission bits, and nothing is left beside it.
            self.assertEqual(os.stat(os.path.join(folder, script)).st_mode & 0o7777, 0o640)
            self.assertEqual(temp_files(folder), [], run.name)


def main():
    global SEED, MOUNT_PROBLEM
    parser = argparse.ArgumentParser()
    for tool in ("vorn", "vorn-check", "vorn-list", "vorn-fmt"):
        parser.add_argument("--" + tool, required=True)
    parser.add_argument("--seed", type=int, default=None)
    args, rest = parser.parse_known_args()
    for tool in ("vorn", "vorn-check", "vorn-list", "vorn-fmt"):
        TOOLS[tool] = os.path.abspath(getattr(args, tool.replace("-", "_")))
    if os.geteuid() != 0 or shutil.which("setpriv") is None:
        print("SKIP: needs root and setpriv (files owned by an unprivileged user)")
        sys.exit(SKIP)
    if os.environ.get(full_file_system.IN_NAMESPACE) != "1":
        unshare = shutil.which("unshare")
        if unshare and subprocess.run([unshare, "-m", "true"],
                                      stderr=subprocess.DEVNULL).returncode == 0:
            env = dict(os.environ, **{full_file_system.IN_NAMESPACE: "1"})
            os.execve(unshare, [unshare, "-m", "--propagation", "private", sys.executable, "-S"]
                      + sys.argv, env)
        MOUNT_PROBLEM = "no mount namespace here (needs unshare -m): no full file system"
    elif not full_file_system.can_mount_here():
        MOUNT_PROBLEM = "mounting a tmpfs failed in the mount namespace"
    if MOUNT_PROBLEM:
        print("NOTE: " + MOUNT_PROBLEM)
    SEED = args.seed if args.seed is not None else random.randrange(1 << 32)
    print("seed %d (--seed %d repeats this run)" % (SEED, SEED))
    result = unittest.main(module="__main__", argv=[sys.argv[0]] + rest, exit=False).result
    sys.exit(0 if result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
