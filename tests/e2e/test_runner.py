#!/usr/bin/env python3
"""Self-test of run_case.py against a small fake compiler written to a temp dir."""

import json
import os
import shutil
import subprocess
import sys
import tempfile
import textwrap
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
RUNNER = os.path.join(HERE, "run_case.py")

# The fake behaves like a tiny compiler: banner, counts events.lst lines,
# echoes the script bytes, writes "VX" + script bytes to the output file.
# Words in the script change its behaviour (errors, sleeping, crashing...).
FAKE = r'''
import os, signal, sys, time
out = sys.stdout.buffer
out.write(b"FAKE 1.0\n")
args = sys.argv[1:]
if len(args) != 2:
    out.write(b"usage: vorn <script> <output>\n")
    sys.exit(2)
if os.path.exists("events.lst"):
    with open("events.lst", "rb") as f:
        out.write(b"events: %d\n" % len(f.read().splitlines()))
try:
    with open(args[0], "rb") as f:
        data = f.read()
except OSError:
    out.write(b"Cannot open " + os.fsencode(args[0]))
    sys.exit(1)
out.write(data)
out.flush()
if b"SLEEP" in data:
    time.sleep(30)
if b"SEGV" in data:
    os.kill(os.getpid(), signal.SIGSEGV)
if b"STDERR" in data:
    sys.stderr.write("oops\n")
if b"ERROR" in data:
    out.write(b"Errors found\n")
    sys.exit(1)
with open(args[1], "wb") as f:
    f.write(b"VX" + data)
out.write(b"OK\n")
'''


class Harness(unittest.TestCase):
    """A fake compiler, a temporary directory per test, and the runner run on a case."""

    @classmethod
    def setUpClass(cls):
        cls.bindir = tempfile.mkdtemp(prefix="vorn-selftest-bin-")
        cls.fake = os.path.join(cls.bindir, "fake-vorn")
        with open(cls.fake, "w") as f:
            f.write("#!" + sys.executable + "\n" + FAKE)
        os.chmod(cls.fake, 0o755)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.bindir)

    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="vorn-selftest-")
        self.tmpdir = os.path.join(self.work, "tmp")
        os.mkdir(self.tmpdir)

    def tearDown(self):
        shutil.rmtree(self.work)

    def run_case(self, text, extra=(), bins=None):
        """Write the case, run the runner; return (exit code, runner output)."""
        path = os.path.join(self.work, "t.case")
        with open(path, "wb") as f:
            f.write(textwrap.dedent(text).lstrip("\n").encode("utf-8", "surrogateescape")
                    if isinstance(text, str) else text)
        if bins is None:
            bins = ["--bin", "vorn=" + self.fake]
        env = dict(os.environ, TMPDIR=self.tmpdir)
        p = subprocess.run([sys.executable, RUNNER] + bins + list(extra) + [path],
                           stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                           stderr=subprocess.STDOUT, env=env, timeout=60)
        out = p.stdout.decode("utf-8", "replace")
        # Every run must clean up after itself.
        self.assertEqual(os.listdir(self.tmpdir), [], "temporary dir left behind:\n" + out)
        return p.returncode, out

    def assertPasses(self, text, **kw):
        rc, out = self.run_case(text, **kw)
        self.assertEqual((rc, out), (0, ""))

    def assertFails(self, text, *needles, **kw):
        rc, out = self.run_case(text, **kw)
        self.assertEqual(rc, 1, out)
        self.assertTrue(out.startswith("FAIL"), out)
        for n in needles:
            self.assertIn(n, out)
        return out

    def assertMalformed(self, text, needle):
        rc, out = self.run_case(text)
        self.assertEqual(rc, 2, out)
        self.assertIn("malformed case file", out)
        self.assertIn(needle, out)


class RunnerTest(Harness):
    GOOD = r"""
        A passing case: the description before the first section is free text.
        # so are comment lines
        --- file events.lst
        a
        b
        --- file sub/dir/s.vs
        hello
        --- run
        vorn sub/dir/s.vs out.bin
        --- stdout
        FAKE 1.0
        events: 2
        hello
        OK
        --- status
        0
        --- output out.bin
        56 58  # "VX"
        68656c6c6f 0a
        --- output other.bin
        none
        """

    def test_matching_case_passes(self):
        self.assertPasses(self.GOOD)

    def fake_dis(self, body):
        """A fake vorn-dis: a python snippet that gets the compiled bytes as `data`."""
        path = os.path.join(self.work, "fake-dis")
        with open(path, "w") as f:
            f.write("#!%s\nimport sys\ndata = open(sys.argv[1], 'rb').read()\n%s\n"
                    % (sys.executable, body))
        os.chmod(path, 0o755)
        return ["--bin", "vorn=" + self.fake, "--bin", "vorn-dis=" + path]

    ROUND_TRIP = GOOD.replace("--- file events.lst", "--- file command.lst\n        --- file events.lst")

    def test_round_trip_through_the_disassembler(self):
        # The fake compiler writes "VX" + script, so listing the bytes after "VX" gives the
        # script back; any other listing compiles to other bytes.
        self.assertPasses(self.ROUND_TRIP, bins=self.fake_dis("sys.stdout.buffer.write(data[2:])"))
        self.assertFails(self.ROUND_TRIP, "round trip of out.bin",
                         bins=self.fake_dis("sys.stdout.buffer.write(b'other')"))
        self.assertFails(self.ROUND_TRIP, "vorn-dis ended with status 3",
                         bins=self.fake_dis("sys.exit(3)"))

    def test_stdout_mismatch_fails_with_diff(self):
        out = self.assertFails(self.GOOD.replace("events: 2", "events: 3"),
                               "stdout differs", "--- expected stdout", "+++ actual stdout",
                               "-events: 3", "+events: 2")
        self.assertNotIn("exit status", out)

    def test_missing_trailing_blank_line_in_stdout_is_a_mismatch(self):
        # Blank lines inside a section are content.
        self.assertFails(self.GOOD.replace("OK\n", "OK\n\n"), "stdout differs", "-")

    def test_status_mismatch_fails(self):
        out = self.assertFails(self.GOOD.replace("--- status\n        0", "--- status\n        1"),
                               "exit status: expected 1, got 0")
        self.assertNotIn("stdout differs", out)

    def test_output_bytes_mismatch_fails_with_hex_diff(self):
        self.assertFails(self.GOOD.replace("68656c6c6f 0a", "68656c6c6f 0a 00"),
                         "output out.bin: expected 9 bytes, got 8", "offset 8 (0x8)",
                         "-56 58 68 65 6C 6C 6F 0A 00", "+56 58 68 65 6C 6C 6F 0A")

    def test_output_missing_fails(self):
        self.assertFails(self.GOOD.replace("vorn sub/dir/s.vs out.bin", "vorn sub/dir/s.vs o.bin"),
                         "output out.bin: expected 8 bytes, but the file does not exist")

    def test_output_none_but_exists_fails(self):
        self.assertFails(self.GOOD.replace("--- output other.bin", "--- output out.bin").replace(
            "--- output out.bin\n        56 58", "--- output x.bin\n        56 58"),
            "output out.bin: should not exist, but it does (8 bytes)",
            "output x.bin: expected 8 bytes, but the file does not exist")

    def test_argv0_is_the_bare_program_name(self):
        self.assertPasses(r"""
            --- run
            vorn /proc/self/cmdline
            --- stdout
            vorn\0/proc/self/cmdline\0\
            --- status
            0
            """, bins=["--bin", "vorn=/bin/cat"])

    def test_stdin_section_is_the_programs_standard_input(self):
        case = r"""
            --- run
            vorn -
            --- stdin
            two\tlines\r
            and no end\
            --- stdout
            two\tlines\r
            and no end\
            --- status
            0
            """
        self.assertPasses(case, bins=["--bin", "vorn=/bin/cat"])
        # Without the section, standard input is empty.
        self.assertFails(case.replace("--- stdin", "--- file unused"), "stdout",
                         bins=["--bin", "vorn=/bin/cat"])

    def test_unchanged_file_that_changed_fails(self):
        self.assertFails(r"""
            --- file s.vs
            hi
            --- hexfile out.bin
            01 02 03
            --- run
            vorn s.vs out.bin
            --- stdout
            FAKE 1.0
            hi
            OK
            --- status
            0
            --- output out.bin
            unchanged
            """, "output out.bin: should be unchanged, but its bytes changed",
            "-01 02 03", "+56 58 68 69 0A")

    def test_unchanged_file_kept_passes(self):
        self.assertPasses(r"""
            --- file s.vs
            ERROR
            --- hexfile out.bin
            01 02 03
            --- run
            vorn s.vs out.bin
            --- stdout
            FAKE 1.0
            ERROR
            Errors found
            --- status
            1
            --- output out.bin
            unchanged
            """)

    def test_unchanged_requires_existing_file(self):
        self.assertFails(r"""
            --- file s.vs
            ERROR
            --- run
            vorn s.vs out.bin
            --- stdout
            FAKE 1.0
            ERROR
            Errors found
            --- status
            1
            --- output out.bin
            unchanged
            """, "does not exist before the run")

    ESCAPES = r"""
        --- file s.vs
        a\xFFb\xfe\r
        tab\there \\ back\0nul\x1A
        \x2D-- not a header
        one\ntwo\
        three
        last line without end\
        --- run
        vorn s.vs out.bin
        --- stdout
        FAKE 1.0
        a\xFFb\xFE\r
        tab\there \\ back\0nul\x1A
        \x2D-- not a header
        one
        twothree
        last line without endOK
        --- status
        0
        --- output out.bin
        56 58  61 FF 62 FE 0D 0A
        74 61 62 09 68 65 72 65 20 5C 20 62 61 63 6B 00 6E 75 6C 1A 0A
        2D 2D 2D 20 6E 6F 74 20 61 20 68 65 61 64 65 72 0A
        6F 6E 65 0A 74 77 6F  74 68 72 65 65 0A
        6C 61 73 74 20 6C 69 6E 65 20 77 69 74 68 6F 75 74 20 65 6E 64
        """

    def test_escapes_round_trip(self):
        # The output hex pins the decoded file bytes independently of the
        # stdout escapes, so both decodings are checked.
        self.assertPasses(self.ESCAPES)

    def test_diff_shows_escaped_bytes(self):
        out = self.assertFails(self.ESCAPES.replace("a\\xFFb\\xFE\\r\n        tab",
                                                    "a\\xFFb\\xFD\\r\n        tab"),
                               "stdout differs", "-a\\xFFb\\xFD\\r", "+a\\xFFb\\xFE\\r")
        self.assertTrue(all(c == "\n" or " " <= c <= "~" for c in out), out)

    def test_missing_final_newline_in_output_is_shown(self):
        self.assertFails(r"""
            --- run
            vorn missing.vs out.bin
            --- stdout
            FAKE 1.0
            Cannot open missing.vs
            --- status
            1
            """, "-Cannot open missing.vs", "+Cannot open missing.vs\\")

    def test_no_arguments_and_empty_argument(self):
        self.assertPasses(r"""
            --- run
            vorn
            --- stdout
            FAKE 1.0
            usage: vorn <script> <output>
            --- status
            2
            """)
        self.assertPasses(r"""
            --- run
            vorn '' out.bin
            --- stdout
            FAKE 1.0
            Cannot open \
            --- status
            1
            --- output out.bin
            none
            """)

    def test_trailing_blank_lines_at_end_of_file_ignored(self):
        self.assertPasses(r"""
            --- run
            vorn
            --- status
            2
            --- stdout
            FAKE 1.0
            usage: vorn <script> <output>


            """)

    def test_setup_runs_with_binaries_and_unreadable_files_are_cleaned(self):
        self.assertPasses(r"""
            --- setup
            test -x "$VORN"
            for i in 1 2 3; do echo "line $i"; done > s.vs
            mkdir -p locked/inner && touch locked/inner/f && chmod 000 locked/inner locked
            touch nope && chmod 000 nope
            --- run
            vorn s.vs out.bin
            --- stdout
            FAKE 1.0
            line 1
            line 2
            line 3
            OK
            --- status
            0
            """)

    def test_setup_failure_fails(self):
        self.assertFails(r"""
            --- setup
            echo about to fail
            false
            echo not reached
            --- run
            vorn
            --- stdout
            FAKE 1.0
            usage: vorn <script> <output>
            --- status
            2
            """, "FAIL: setup failed (status 1)", "about to fail")

    def test_unexpected_stderr_fails(self):
        self.assertFails(r"""
            --- file s.vs
            STDERR
            --- run
            vorn s.vs out.bin
            --- stdout
            FAKE 1.0
            STDERR
            OK
            --- status
            0
            """, "stderr differs", "+oops")

    def test_signal_status_is_128_plus_signal(self):
        self.assertPasses(r"""
            --- file s.vs
            SEGV
            --- run
            vorn s.vs out.bin
            --- stdout
            FAKE 1.0
            SEGV
            --- status
            139
            """)

    def test_timeout_kills_program(self):
        start = time.monotonic()
        self.assertFails(r"""
            --- file s.vs
            SLEEP
            --- run
            vorn s.vs out.bin
            --- stdout
            FAKE 1.0
            SLEEP
            --- status
            0
            """, "timed out", extra=["--timeout", "0.5"])
        self.assertLess(time.monotonic() - start, 10)

    def test_missing_binary_skips(self):
        rc, out = self.run_case(r"""
            --- run
            vorn-dis x.bin
            --- stdout
            --- status
            0
            """)
        self.assertEqual(rc, 77, out)
        self.assertIn("SKIP", out)

    def test_vorn_check_binding(self):
        # vorn-check runs under its own name and is $VORN_CHECK in the setup; a case that
        # needs it is skipped when it was not built, like one that needs vorn-dis.
        case = r"""
            --- setup
            test "$VORN_CHECK" = /bin/cat
            printf 'checked\n' > t.txt
            --- run
            vorn-check t.txt
            --- stdout
            checked
            --- status
            0
            """
        self.assertPasses(case, bins=["--bin", "vorn=" + self.fake, "--bin", "vorn-check=/bin/cat"])
        self.assertFails(case.replace("            checked\n            --- status",
                                      "            unchecked\n            --- status"),
                         "stdout differs", bins=["--bin", "vorn-check=/bin/cat"])
        rc, out = self.run_case(case)
        self.assertEqual(rc, 77, out)
        self.assertIn("vorn-check", out)
        rc, out = self.run_case(case.replace("vorn-check t.txt", "vorn t.txt out.bin"))
        self.assertEqual(rc, 77, out)
        self.assertIn("$VORN_CHECK", out)

    def test_malformed_cases_are_rejected(self):
        base = "--- run\nvorn\n--- stdout\nFAKE 1.0\n--- status\n2\n"
        self.assertMalformed(base + "--- outptu x\nnone\n", "unknown section kind 'outptu'")
        self.assertMalformed("--- stdout\nx\n--- status\n0\n", "missing '--- run' section")
        self.assertMalformed("--- run\nvorn\n--- stdout\nx\n", "missing '--- status' section")
        self.assertMalformed("--- run\nvorn\n--- status\n0\n", "missing '--- stdout' section")
        self.assertMalformed(base + "--- hexfile a\n01 0g\n", "line 8: bad hex '0g'")
        self.assertMalformed(base + "--- output a\n123\n", "bad hex '123'")
        self.assertMalformed(base + "--- file a\nx\\qy\n", "line 8: bad escape '\\q'")
        self.assertMalformed(base + "--- file a\nx\\x4\n", "bad escape")
        self.assertMalformed(base.replace("2\n", "two\n"), "'status' needs one integer")
        self.assertMalformed(base.replace("2\n", "256\n"), "'status' needs one integer")
        self.assertMalformed(base + "--- run\nvorn\n", "second 'run' section")
        self.assertMalformed(base + "--- file ../x\ny\n", "must be relative")
        self.assertMalformed(base.replace("vorn\n", "gcc\n"), "unknown program 'gcc'")
        self.assertMalformed(base.replace("\n", "\r\n"), "raw carriage return")

    def test_runner_overhead_is_small(self):
        # A passing case (fake program start included) should be quick.
        start = time.monotonic()
        for _ in range(5):
            self.assertPasses(self.GOOD)
        per_case = (time.monotonic() - start) / 5
        self.assertLess(per_case, 1.0)



class JsonAndRebaseTest(Harness):
    """"--- stdout json" sections, and --rebase."""

    CAT = ["--bin", "vorn-check=/bin/cat"]

    def json_case(self, actual, expected):
        """A case whose program prints actual (text) and whose stdout json section is expected."""
        return ("--- file out.json\n%s\n--- run\nvorn-check out.json\n--- stdout json\n%s\n"
                "--- status\n0\n" % (actual, expected))

    DOC = """{"status": 10, "fatal": false, "diagnostics": [
  {"file": "a.vs", "line": 2, "column": 3, "text": "Unknown argument 'x'", "extra": [1, 2]},
  {"file": "lib/b.vs", "line": 1, "column": 9, "text": null}],
 "files": []}"""

    def test_stdout_json_matches_the_keys_it_gives(self):
        # The same document, laid out otherwise, matches: it is parsed, not compared as text.
        self.assertPasses(self.json_case(self.DOC, json.dumps(json.loads(self.DOC), indent=5)),
                          bins=self.CAT)
        # Keys left out of the expected objects, at any depth, are not checked.
        self.assertPasses(self.json_case(self.DOC, """{"diagnostics": [
            {"line": 2, "column": 3}, {"file": "lib/b.vs", "text": null}]}"""), bins=self.CAT)
        self.assertPasses(self.json_case(self.DOC, "{}"), bins=self.CAT)

    def test_stdout_json_mismatches_fail_with_their_path(self):
        def fails(expected, *needles, actual=self.DOC):
            self.assertFails(self.json_case(actual, expected), "stdout JSON does not match",
                             *needles, bins=self.CAT)
        fails('{"status": 0}', ".status: expected 0, got 10")
        fails('{"diagnostics": [{}, {"column": 8}]}', ".diagnostics[1].column: expected 8, got 9")
        fails('{"diagnostics": [{}]}', ".diagnostics: expected 1 elements, got 2")
        fails('{"diagnostics": [{}, {}, {}]}', ".diagnostics: expected 3 elements, got 2")
        fails('{"diagnostics": [{"extra": [1]}, {}]}',
              ".diagnostics[0].extra: expected 1 elements, got 2")
        fails('{"diagnostics": [{"end_column": 4}, {}]}', ".diagnostics[0].end_column: missing")
        # Values of another JSON type never match, even where Python would call them equal.
        fails('{"fatal": 0}', ".fatal: expected number 0, got boolean false")
        fails('{"status": "10"}', '.status: expected string "10", got number 10')
        fails('{"diagnostics": [{}, {"text": ""}]}', ".diagnostics[1].text: expected string")
        fails('{"files": {}}', ".files: expected object {}, got array []")
        fails('[]', "the document: expected array")
        # Every mismatch is listed, not only the first.
        fails('{"status": 0, "fatal": true}', ".status: expected 0", ".fatal: expected true")

    def test_stdout_json_needs_one_document(self):
        self.assertFails(self.json_case(self.DOC + "\n{}", "{}"), "stdout is not one JSON document",
                         bins=self.CAT)
        self.assertFails(self.json_case("lib/b.vs:1:9: error: x", "{}"),
                         "stdout is not one JSON document", "lib/b.vs:1:9: error: x", bins=self.CAT)
        rc, out = self.run_case(self.json_case(self.DOC, '{"status": 10,}'), bins=self.CAT)
        self.assertEqual(rc, 2, out)
        self.assertIn("'stdout json' holds no JSON document", out)

    def rebase(self, text, bins=None):
        """Writes the case, runs the runner with --rebase; returns (exit code, output, the
        case file's text afterwards)."""
        rc, out = self.run_case(text, extra=["--rebase"], bins=bins)
        with open(os.path.join(self.work, "t.case"), "rb") as f:
            return rc, out, f.read().decode("utf-8", "surrogateescape")

    def assertCasePasses(self, bins=None):
        """The case file left by rebase passes as it stands."""
        path = os.path.join(self.work, "t.case")
        p = subprocess.run([sys.executable, RUNNER] + (bins or ["--bin", "vorn=" + self.fake])
                           + [path], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                           stderr=subprocess.STDOUT, env=dict(os.environ, TMPDIR=self.tmpdir))
        self.assertEqual((p.returncode, p.stdout.decode()), (0, ""))

    def test_rebase_rewrites_only_what_the_run_does_not_meet(self):
        good = textwrap.dedent(RunnerTest.GOOD).lstrip("\n")
        stale = (good.replace("events: 2\nhello\n", "events: 1\nhullo\n")
                 .replace("--- status\n0", "--- status\n1")
                 .replace("56 58  # \"VX\"\n68656c6c6f 0a", "56 58  # stale\n00"))
        self.assertNotEqual(stale, good)
        rc, out, now = self.rebase(stale + "\n\n")
        self.assertEqual(rc, 0, out)
        self.assertIn("rebased stdout, status, output out.bin", out)
        self.assertCasePasses()
        # The description, the files, the run line and the sections that held stay byte for
        # byte, the trailing blank lines too; the rest is what the run gave, in hex lines.
        self.assertEqual(now, good.replace("56 58  # \"VX\"\n68656c6c6f 0a",
                                           "56 58 68 65 6C 6C 6F 0A") + "\n\n")

    def test_rebase_writes_the_escapes_back(self):
        # Every escape the format has comes back in the form the case file was written in.
        escapes = textwrap.dedent(RunnerTest.ESCAPES).lstrip("\n")
        start = escapes.index("--- stdout\n") + len("--- stdout\n")
        stale = escapes[:start] + "x\n" + escapes[escapes.index("--- status"):]
        rc, out, now = self.rebase(stale)
        self.assertEqual(rc, 0, out)
        self.assertEqual(now, escapes)

    def test_rebase_keeps_blank_lines_that_end_the_last_section(self):
        # The file's trailing blank lines are dropped when it is read, so a stdout that ends
        # in blank lines and stands last is written with \n escapes.
        for printed in ("two\n\n\n", "\n\n", "x\n \n\n"):
            with self.subTest(printed=printed):
                case = ("--- file t.txt\n%s--- run\nvorn-check t.txt\n--- status\n0\n"
                        "--- stdout\nstale\n" % printed.replace("\n", "\\n\\\n"))
                rc, out, now = self.rebase(case, bins=self.CAT)
                self.assertEqual(rc, 0, out)
                self.assertCasePasses(bins=self.CAT)

    def test_rebase_adds_and_empties_stderr(self):
        case = r"""
            --- file s.vs
            STDERR
            --- run
            vorn s.vs out.bin
            --- stdout
            FAKE 1.0
            STDERR
            OK
            --- status
            0
            """
        rc, out, now = self.rebase(case)
        self.assertEqual(rc, 0, out)
        self.assertIn("OK\n--- stderr\noops\n--- status\n", now)
        self.assertCasePasses()
        quiet = now.replace("--- file s.vs\nSTDERR", "--- file s.vs\nSTDOUT").replace(
            "FAKE 1.0\nSTDERR", "FAKE 1.0\nSTDOUT")
        rc, out, now = self.rebase(quiet)
        self.assertEqual(rc, 0, out)
        self.assertIn("OK\n--- stderr\n--- status\n", now)
        self.assertCasePasses()

    def test_rebase_leaves_a_passing_case_alone(self):
        text = textwrap.dedent(RunnerTest.GOOD).lstrip("\n")
        rc, out, now = self.rebase(text)
        self.assertEqual((rc, out, now), (0, "", text))

    def test_rebase_of_a_failing_setup_changes_nothing(self):
        text = "--- setup\nfalse\n--- run\nvorn\n--- stdout\nx\n--- status\n0\n"
        rc, out, now = self.rebase(text)
        self.assertEqual(rc, 1, out)
        self.assertIn("not rebased", out)
        self.assertEqual(now, text)

    def test_rebase_of_json_keeps_the_keys_the_case_checks(self):
        case = self.json_case(self.DOC, """{"status": 0,
            "diagnostics": [{"line": 7, "text": "x"}]}""")
        rc, out, now = self.rebase(case, bins=self.CAT)
        self.assertEqual(rc, 0, out)
        self.assertCasePasses(bins=self.CAT)
        section = now[now.index("--- stdout json\n") + 16:now.index("--- status")]
        self.assertEqual(json.loads(section), {"status": 10, "diagnostics": [
            {"line": 2, "text": "Unknown argument 'x'"}, {"line": 1, "text": None}]})


if __name__ == "__main__":
    unittest.main()
