"""What the output-file tests share: a work folder with the lists, scripts whose compiled
bytes are worked out here independently of the compiler, runs of the real `vorn` (and of
tests/output/output_probe), and checks of what a folder holds afterwards."""

import argparse
import os
import resource
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

# Set by main() from the command line.
VORN = None
PROBE = None

EVENTS = b"OnA 1\n"
COMMANDS = b"Wait 0 1\n"

# What sits in an output before a run: the test checks it byte for byte afterwards.
OLD_BYTES = bytes(range(256)) + b"the last good compiled file\n"

SKIP = 77


def wait_script(numbers):
    """A script of one Wait statement for each number."""
    return b"".join(b"  Wait(%d)\n" % n for n in numbers)


def compiled_wait_script(numbers):
    """The compiled file of wait_script(numbers), with Wait the first command (code 0)."""
    code = bytearray()
    for n in numbers:
        code.append(0)
        if -120 <= n <= 120:
            code += bytes([0]) + struct.pack("<b", n)
        elif -32760 <= n <= 32760:
            code += bytes([1]) + struct.pack("<h", n)
        else:
            code += bytes([2]) + struct.pack("<i", n)
    header = struct.pack("<HHI", 0, 0, len(code)) + bytes(56)
    return header + bytes(code)


def temp_files(folder):
    """The compiler's temporary files in folder: `.<name>.vorn-XXXXXX`."""
    return sorted(n for n in os.listdir(folder) if n.startswith(".") and ".vorn-" in n)


def limit_file_size(size):
    """A preexec_fn that sets the soft file-size limit (ulimit -f) to size bytes."""
    def apply():
        hard = resource.getrlimit(resource.RLIMIT_FSIZE)[1]
        resource.setrlimit(resource.RLIMIT_FSIZE, (size, hard))
    return apply


class OutputTest(unittest.TestCase):
    """Each test gets a fresh folder holding the two lists; runs happen there."""

    maxDiff = 2000
    # Where the work folders go; None for the usual temporary folder.
    base_dir = None

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vorn-output-", dir=self.base_dir)
        self.write("events.lst", EVENTS)
        self.write("command.lst", COMMANDS)

    def tearDown(self):
        # Folders a test made read-only must be writable again to be removed.
        for root, dirs, _ in os.walk(self.dir):
            for d in dirs:
                path = os.path.join(root, d)
                if not os.path.islink(path):
                    os.chmod(path, 0o755)
        shutil.rmtree(self.dir)

    def path(self, *names):
        return os.path.join(self.dir, *names)

    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data)

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def script(self, name, numbers):
        """Writes a Wait script; returns the bytes it compiles to."""
        self.write(name, wait_script(numbers))
        return compiled_wait_script(numbers)

    def vorn(self, script, output, preexec_fn=None, timeout=30):
        """Runs the real compiler in the work folder; standard output is kept."""
        return subprocess.run([VORN, script, output], cwd=self.dir, stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              preexec_fn=preexec_fn, timeout=timeout)

    def assert_written(self, run):
        self.assertEqual(run.returncode, 0, run.stdout[-300:])
        self.assertTrue(run.stdout.endswith(b"]\nDone.\n"), run.stdout[-300:])
        self.assertEqual(run.stderr, b"")

    def assert_fails(self, run, message):
        """Status 3 and the message as the last thing printed, with no line end after it."""
        self.assertEqual(run.returncode, 3, run.stdout[-300:])
        self.assertTrue(run.stdout.endswith(b"]\n" + message.encode()), run.stdout[-300:])
        self.assertEqual(run.stderr, b"")

    def assert_no_temp_files(self, folder=None):
        self.assertEqual(temp_files(folder or self.dir), [])


def main():
    """Runs the unittest cases of the calling script. Arguments: --vorn PATH [--probe PATH],
    then unittest's own (test names, -v)."""
    global VORN, PROBE
    parser = argparse.ArgumentParser()
    parser.add_argument("--vorn", required=True)
    parser.add_argument("--probe")
    args, rest = parser.parse_known_args()
    VORN = os.path.abspath(args.vorn)
    PROBE = args.probe and os.path.abspath(args.probe)
    unittest.main(module="__main__", argv=[sys.argv[0]] + rest)
