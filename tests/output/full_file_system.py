"""A file system that fills up while the output is written: a 64 KiB tmpfs, mounted in a
mount namespace of its own (unshare -m, as root), is filled to the last page before the run.
The write must fail with "Cannot write file", status 3, and leave the old output whole.
Where no such file system can be mounted, the test is skipped (status 77)."""

import errno
import os
import shutil
import subprocess
import sys

import helpers
from helpers import OLD_BYTES, SKIP, OutputTest

# Set in the environment of this script once it runs in a mount namespace of its own.
IN_NAMESPACE = "VORN_TEST_IN_MOUNT_NAMESPACE"

# 1,300 statements of 6 bytes: 7,864 bytes, two pages. The old output takes one page, so
# even writing over it in place would run out of room.
BIG = [100000] * 1300


def fill(path):
    """Writes whole pages to path until the file system has no room left."""
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
    try:
        while True:
            os.write(fd, bytes(4096))
    except OSError as error:
        if error.errno != errno.ENOSPC:
            raise
    finally:
        os.close(fd)


class FullFileSystem(OutputTest):
    def setUp(self):
        super().setUp()
        os.mkdir(self.path("full"))
        mount = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "vorn-test",
                                self.path("full")], stderr=subprocess.PIPE)
        if mount.returncode != 0:
            # Checked before the tests start; here it would be a fault of its own.
            self.fail("mount failed: %s" % mount.stderr.decode(errors="replace"))

    def tearDown(self):
        subprocess.run(["umount", self.path("full")], check=True)
        super().tearDown()

    def test_old_output_is_kept_whole(self):
        expected = self.script("big.vs", BIG)
        self.write("full/out.bin", OLD_BYTES)
        fill(self.path("full/filler"))
        run = self.vorn("big.vs", "full/out.bin")
        self.assert_fails(run, "Cannot write file full/out.bin!")
        self.assertEqual(self.read("full/out.bin"), OLD_BYTES)
        self.assert_no_temp_files(self.path("full"))
        # With room again the same run replaces the file: it was the room that was missing.
        os.unlink(self.path("full/filler"))
        self.assert_written(self.vorn("big.vs", "full/out.bin"))
        self.assertEqual(self.read("full/out.bin"), expected)
        self.assert_no_temp_files(self.path("full"))

    def test_no_new_output_is_left(self):
        self.script("big.vs", BIG)
        fill(self.path("full/filler"))
        run = self.vorn("big.vs", "full/out.bin")
        self.assert_fails(run, "Cannot write file full/out.bin!")
        self.assertEqual(sorted(os.listdir(self.path("full"))), ["filler"])

    def test_symbolic_link_target_is_kept_whole(self):
        self.script("big.vs", BIG)
        self.write("full/real.bin", OLD_BYTES)
        os.symlink("full/real.bin", self.path("out.bin"))
        fill(self.path("full/filler"))
        run = self.vorn("big.vs", "out.bin")
        self.assert_fails(run, "Cannot write file out.bin!")
        self.assertEqual(os.readlink(self.path("out.bin")), "full/real.bin")
        self.assertEqual(self.read("full/real.bin"), OLD_BYTES)
        self.assert_no_temp_files(self.path("full"))
        self.assert_no_temp_files()


def can_mount_here():
    probe = subprocess.run(["sh", "-c", 'd=$(mktemp -d) && mount -t tmpfs -o size=64k '
                            'vorn-test "$d" && umount "$d"; s=$?; rmdir "$d"; exit $s'],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return probe.returncode == 0


def main():
    if os.environ.get(IN_NAMESPACE) != "1":
        unshare = shutil.which("unshare")
        if os.geteuid() != 0 or not unshare or subprocess.run(
                [unshare, "-m", "true"], stderr=subprocess.DEVNULL).returncode != 0:
            print("SKIP: no mount namespace here (needs root and unshare -m): a full file "
                  "system cannot be made")
            sys.exit(SKIP)
        env = dict(os.environ, **{IN_NAMESPACE: "1"})
        os.execve(unshare, [unshare, "-m", "--propagation", "private", sys.executable, "-S"]
                  + sys.argv, env)
    if not can_mount_here():
        print("SKIP: mounting a tmpfs failed in the mount namespace")
        sys.exit(SKIP)
    helpers.main()


if __name__ == "__main__":
    main()
