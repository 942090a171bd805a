"""A write beyond the file-size limit (ulimit -f) must end the run with "Cannot write file",
status 3, and leave an old output as it was: the limit's signal, SIGXFSZ, must not end the
run half way. The runs start with SIGXFSZ at its default action, as a shell gives it."""

import os

import helpers
from helpers import OLD_BYTES, OutputTest, limit_file_size

# 300 statements of 4 bytes: 1,264 bytes in all.
BIG = [1000] * 300


class FileSizeLimit(OutputTest):
    def test_old_output_is_kept_whole(self):
        expected = self.script("big.vs", BIG)
        self.write("out.bin", OLD_BYTES)
        os.chmod(self.path("out.bin"), 0o640)
        run = self.vorn("big.vs", "out.bin", preexec_fn=limit_file_size(1024))
        self.assert_fails(run, "Cannot write file out.bin!")
        self.assertEqual(self.read("out.bin"), OLD_BYTES)
        self.assertEqual(os.stat(self.path("out.bin")).st_mode & 0o7777, 0o640)
        self.assert_no_temp_files()
        # Without the limit the same run replaces the file.
        self.assert_written(self.vorn("big.vs", "out.bin"))
        self.assertEqual(self.read("out.bin"), expected)

    def test_no_new_output_is_left(self):
        self.script("big.vs", BIG)
        run = self.vorn("big.vs", "out.bin", preexec_fn=limit_file_size(1024))
        self.assert_fails(run, "Cannot write file out.bin!")
        self.assertFalse(os.path.lexists(self.path("out.bin")))
        self.assert_no_temp_files()

    def test_a_limit_of_exactly_the_size_is_enough(self):
        expected = self.script("big.vs", BIG)
        self.write("out.bin", OLD_BYTES)
        run = self.vorn("big.vs", "out.bin", preexec_fn=limit_file_size(len(expected) - 1))
        self.assert_fails(run, "Cannot write file out.bin!")
        self.assertEqual(self.read("out.bin"), OLD_BYTES)
        run = self.vorn("big.vs", "out.bin", preexec_fn=limit_file_size(len(expected)))
        self.assert_written(run)
        self.assertEqual(self.read("out.bin"), expected)
        self.assert_no_temp_files()

    def test_output_in_another_folder(self):
        self.script("big.vs", BIG)
        os.mkdir(self.path("sub"))
        self.write("sub/out.bin", OLD_BYTES)
        run = self.vorn("big.vs", "sub/out.bin", preexec_fn=limit_file_size(1024))
        self.assert_fails(run, "Cannot write file sub/out.bin!")
        self.assertEqual(self.read("sub/out.bin"), OLD_BYTES)
        self.assert_no_temp_files(self.path("sub"))
        self.assert_no_temp_files()


if __name__ == "__main__":
    helpers.main()
