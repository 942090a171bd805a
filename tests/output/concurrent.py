"""Two runs of the compiler writing the same output at the same time, with two different
scripts of different sizes: 200 such pairs, one after the other. Each run must succeed, and
afterwards the output must be one of the two complete compiled files, never a mix of them
(the longer one's tail behind the shorter one), and no temporary file may be left."""

import os
import subprocess
import sys

import helpers
from helpers import OutputTest

# --pairs N changes it: the sanitizer build runs fewer, as each of its runs takes 40 ms.
PAIRS = 200
# 1,300 statements of 6 bytes (7,864 bytes in all) against 10 of 3 (94 bytes).
LONG = [100000] * 1300
SHORT = [5] * 10


class ConcurrentRuns(OutputTest):
    def setUp(self):
        super().setUp()
        # Under AddressSanitizer the leak check at exit takes about 0.1 s a run, 40 s for
        # the 400 runs here; every other test makes it, so these runs go without it.
        self.env = dict(os.environ)
        self.env["ASAN_OPTIONS"] = ":".join(
            filter(None, [self.env.get("ASAN_OPTIONS"), "detect_leaks=0"]))

    def start(self, script):
        return subprocess.Popen([helpers.VORN, script, "out.bin"], cwd=self.dir,
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.PIPE, env=self.env)

    def test_pairs_writing_one_output(self):
        long_bytes = self.script("long.vs", LONG)
        short_bytes = self.script("short.vs", SHORT)
        outcomes = {long_bytes: 0, short_bytes: 0}
        for pair in range(PAIRS):
            runs = [self.start("long.vs"), self.start("short.vs")]
            for run in runs:
                _, errors = run.communicate(timeout=30)
                self.assertEqual((run.returncode, errors), (0, b""), "pair %d" % pair)
            result = self.read("out.bin")
            self.assertTrue(result in outcomes, "pair %d left %d bytes that are neither file"
                            % (pair, len(result)))
            outcomes[result] += 1
            self.assert_no_temp_files()
        print("long file last: %d, short file last: %d" % (outcomes[long_bytes],
                                                           outcomes[short_bytes]))


if __name__ == "__main__":
    if "--pairs" in sys.argv:
        at = sys.argv.index("--pairs")
        PAIRS = int(sys.argv[at + 1])
        del sys.argv[at:at + 2]
    helpers.main()
