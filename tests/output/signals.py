"""Signals while the output is being written. output_probe writes a file with the
compiler's own write_output_file and stops once the temporary file is complete, just before
the rename; the test looks at both files then and sends a signal. SIGTERM, SIGINT and SIGHUP
must remove the temporary file and end the process as the signal does (a shell sees 128 plus
the signal), with the old output whole; SIGKILL may leave the temporary file, never a
damaged output; a signal the process ignores stays ignored."""

import os
import re
import signal
import subprocess
import time

import helpers
from helpers import OLD_BYTES, OutputTest, compiled_wait_script

NEW_BYTES = compiled_wait_script([1, 200, 40000, 7] * 50)
TEMP_NAME = re.compile(r"^\.out\.bin\.vorn-[A-Za-z0-9]{6}$")

# Runs the probe under bash and writes the status bash sees for it to the file given first.
UNDER_SHELL = 'status_file=$1; shift; "$@"; echo $? > "$status_file"'


class Paused:
    """A probe run stopped just before its rename."""

    def __init__(self, test, output, preexec_fn=None):
        self.test = test
        test.write("new.data", NEW_BYTES)
        self.shell = subprocess.Popen(
            ["bash", "-c", UNDER_SHELL, "bash", test.path("status"), helpers.PROBE, "--pause",
             output, "new.data"],
            cwd=test.dir, stdin=subprocess.PIPE, stdout=subprocess.PIPE, preexec_fn=preexec_fn)
        line = self.shell.stdout.readline().decode()
        match = re.fullmatch(r"temp (\d+) (.+)\n", line)
        test.assertIsNotNone(match, "the probe did not stop before the rename: %r" % line)
        self.pid = int(match.group(1))
        self.temp = os.path.join(test.dir, match.group(2))

    def finish(self):
        """Lets the probe go on, or sees it end; returns what it printed and bash's status."""
        try:
            rest, _ = self.shell.communicate(b"\n", timeout=10)
        except subprocess.TimeoutExpired:
            # A probe that a signal did not end must not outlive the test.
            for pid in (self.pid, self.shell.pid):
                try:
                    os.kill(pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
            self.shell.wait()
            self.test.fail("the probe did not end")
        with open(self.test.path("status")) as f:
            return rest, int(f.read())


class Signals(OutputTest):
    def start(self, preexec_fn=None):
        self.write("out.bin", OLD_BYTES)
        paused = Paused(self, "out.bin", preexec_fn)
        # Stopped before the rename: a complete temporary file beside the untouched output.
        self.assertEqual(os.path.dirname(paused.temp), self.dir)
        self.assertRegex(os.path.basename(paused.temp), TEMP_NAME)
        with open(paused.temp, "rb") as f:
            self.assertEqual(f.read(), NEW_BYTES)
        self.assertEqual(self.read("out.bin"), OLD_BYTES)
        return paused

    def test_going_on_renames_the_complete_file(self):
        paused = self.start()
        rest, status = paused.finish()
        self.assertEqual((rest, status), (b"Written\n", 0))
        self.assertEqual(self.read("out.bin"), NEW_BYTES)
        self.assert_no_temp_files()

    def test_term_int_and_hup_remove_the_temporary_file(self):
        for signal_number in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
            with self.subTest(signal=signal_number.name):
                paused = self.start()
                os.kill(paused.pid, signal_number)
                rest, status = paused.finish()
                self.assertEqual(rest, b"")
                self.assertEqual(status, 128 + signal_number)
                self.assertFalse(os.path.exists(paused.temp))
                self.assertEqual(self.read("out.bin"), OLD_BYTES)
                self.assert_no_temp_files()

    def test_kill_leaves_only_the_temporary_file(self):
        paused = self.start()
        os.kill(paused.pid, signal.SIGKILL)
        rest, status = paused.finish()
        self.assertEqual((rest, status), (b"", 128 + signal.SIGKILL))
        self.assertEqual(self.read("out.bin"), OLD_BYTES)
        self.assertEqual(helpers.temp_files(self.dir), [os.path.basename(paused.temp)])
        os.unlink(paused.temp)

    def test_an_ignored_signal_stays_ignored(self):
        def ignore_int():
            signal.signal(signal.SIGINT, signal.SIG_IGN)
        paused = self.start(preexec_fn=ignore_int)
        os.kill(paused.pid, signal.SIGINT)
        time.sleep(0.2)
        self.assertIsNone(paused.shell.poll())
        self.assertTrue(os.path.exists(paused.temp))
        rest, status = paused.finish()
        self.assertEqual((rest, status), (b"Written\n", 0))
        self.assertEqual(self.read("out.bin"), NEW_BYTES)
        self.assert_no_temp_files()


if __name__ == "__main__":
    helpers.main()
