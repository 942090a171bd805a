"""Outputs that are written in place, as the compiler always wrote them: devices, a FIFO,
and a writable file in a folder where no temporary file can be made. A device or a FIFO is
never removed or renamed; a file written in place that could not be written whole is
removed, or emptied where its folder does not let it be removed."""

import os
import stat
import threading

import helpers
from helpers import OLD_BYTES, OutputTest, limit_file_size

SMALL = [1, 200, 40000]
BIG = [1000] * 300
NOBODY = 65534


def as_nobody():
    """Root may create files in any folder: the read-only-folder runs drop to nobody."""
    if os.geteuid() == 0:
        os.setgroups([])
        os.setgid(NOBODY)
        os.setuid(NOBODY)


def chain(*steps):
    def apply():
        for step in steps:
            step()
    return apply


class Devices(OutputTest):
    def test_dev_null_is_written_and_stays(self):
        self.script("t.vs", SMALL)
        self.assert_written(self.vorn("t.vs", "/dev/null"))
        self.assertTrue(stat.S_ISCHR(os.stat("/dev/null").st_mode))
        self.assert_no_temp_files("/dev")

    def test_link_to_dev_null_stays_a_link(self):
        self.script("t.vs", SMALL)
        os.symlink("/dev/null", self.path("out.bin"))
        self.assert_written(self.vorn("t.vs", "out.bin"))
        self.assertEqual(os.readlink(self.path("out.bin")), "/dev/null")
        self.assert_no_temp_files()

    def test_dev_full_fails_and_stays(self):
        self.script("t.vs", SMALL)
        self.assert_fails(self.vorn("t.vs", "/dev/full"), "Cannot write file /dev/full!")
        self.assertTrue(stat.S_ISCHR(os.stat("/dev/full").st_mode))
        self.assert_no_temp_files("/dev")

    def test_fifo_with_a_reader_gets_the_bytes(self):
        expected = self.script("t.vs", SMALL)
        os.mkfifo(self.path("pipe.bin"))
        received = []

        def read_all():
            with open(self.path("pipe.bin"), "rb") as f:
                received.append(f.read())
        reader = threading.Thread(target=read_all)
        reader.start()
        run = self.vorn("t.vs", "pipe.bin")
        reader.join(timeout=30)
        self.assert_written(run)
        self.assertEqual(received, [expected])
        self.assertTrue(stat.S_ISFIFO(os.lstat(self.path("pipe.bin")).st_mode))
        self.assert_no_temp_files()


class ReadOnlyFolder(OutputTest):
    """An output folder the compiler may not write to, holding an output it may write."""

    # Run as nobody, the compiler must reach the work folder: /tmp lets everyone through.
    base_dir = "/tmp" if os.path.isdir("/tmp") else None

    def setUp(self):
        super().setUp()
        os.chmod(self.dir, 0o755)
        os.mkdir(self.path("ro"))
        self.expected = self.script("t.vs", SMALL)
        self.script("big.vs", BIG)
        self.write("ro/out.bin", OLD_BYTES)
        os.chmod(self.path("ro/out.bin"), 0o666)
        os.chmod(self.path("ro"), 0o555)

    def test_writable_output_is_written_in_place(self):
        inode = os.stat(self.path("ro/out.bin")).st_ino
        self.assert_written(self.vorn("t.vs", "ro/out.bin", preexec_fn=as_nobody))
        self.assertEqual(self.read("ro/out.bin"), self.expected)
        self.assertEqual(os.stat(self.path("ro/out.bin")).st_ino, inode)
        self.assertEqual(os.listdir(self.path("ro")), ["out.bin"])

    def test_new_output_cannot_be_opened(self):
        run = self.vorn("t.vs", "ro/new.bin", preexec_fn=as_nobody)
        self.assert_fails(run, "Cannot open file ro/new.bin for output!")
        self.assertEqual(os.listdir(self.path("ro")), ["out.bin"])

    def test_failed_write_in_place_leaves_an_empty_file(self):
        run = self.vorn("big.vs", "ro/out.bin",
                        preexec_fn=chain(limit_file_size(1024), as_nobody))
        self.assert_fails(run, "Cannot write file ro/out.bin!")
        self.assertEqual(self.read("ro/out.bin"), b"")
        self.assertEqual(os.listdir(self.path("ro")), ["out.bin"])

    def test_output_not_writable_cannot_be_opened(self):
        os.chmod(self.path("ro"), 0o755)
        os.chmod(self.path("ro/out.bin"), 0o444)
        os.chmod(self.path("ro"), 0o555)
        run = self.vorn("t.vs", "ro/out.bin", preexec_fn=as_nobody)
        self.assert_fails(run, "Cannot open file ro/out.bin for output!")
        self.assertEqual(self.read("ro/out.bin"), OLD_BYTES)


if __name__ == "__main__":
    helpers.main()
