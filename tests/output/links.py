"""Outputs reached through links. A symbolic link stays a link and the file at the end of
the chain gets the new bytes; a hard-linked output is replaced under the name given, and its
other names keep the old file. A failed write leaves links and files as they were."""

import os
import stat

import helpers
from helpers import OLD_BYTES, OutputTest, limit_file_size

SMALL = [1, 200, 40000]
BIG = [1000] * 300


class SymbolicLinks(OutputTest):
    def assert_link(self, name, text):
        self.assertTrue(os.path.islink(self.path(name)), name + " is no longer a link")
        self.assertEqual(os.readlink(self.path(name)), text)

    def test_chain_of_relative_links_from_other_folders(self):
        # out.bin -> links/hop -> ../data/real.bin: the second link is read from links/.
        expected = self.script("t.vs", SMALL)
        os.mkdir(self.path("links"))
        os.mkdir(self.path("data"))
        self.write("data/real.bin", OLD_BYTES)
        os.chmod(self.path("data/real.bin"), 0o604)
        os.symlink("links/hop", self.path("out.bin"))
        os.symlink("../data/real.bin", self.path("links/hop"))
        self.assert_written(self.vorn("t.vs", "out.bin"))
        self.assert_link("out.bin", "links/hop")
        self.assert_link("links/hop", "../data/real.bin")
        self.assertEqual(self.read("data/real.bin"), expected)
        self.assertEqual(os.stat(self.path("data/real.bin")).st_mode & 0o7777, 0o604)
        for folder in ("", "links", "data"):
            self.assert_no_temp_files(self.path(folder))

    def test_absolute_link(self):
        expected = self.script("t.vs", SMALL)
        self.write("real.bin", OLD_BYTES)
        os.symlink(self.path("real.bin"), self.path("out.bin"))
        self.assert_written(self.vorn("t.vs", "out.bin"))
        self.assert_link("out.bin", self.path("real.bin"))
        self.assertEqual(self.read("real.bin"), expected)
        self.assert_no_temp_files()

    def test_dangling_link_creates_its_target(self):
        expected = self.script("t.vs", SMALL)
        os.mkdir(self.path("data"))
        os.symlink("data/new.bin", self.path("out.bin"))
        self.assert_written(self.vorn("t.vs", "out.bin"))
        self.assert_link("out.bin", "data/new.bin")
        self.assertEqual(self.read("data/new.bin"), expected)
        self.assertEqual(sorted(os.listdir(self.path("data"))), ["new.bin"])

    def test_dangling_link_into_a_missing_folder_cannot_be_opened(self):
        self.script("t.vs", SMALL)
        os.symlink("nowhere/new.bin", self.path("out.bin"))
        run = self.vorn("t.vs", "out.bin")
        self.assert_fails(run, "Cannot open file out.bin for output!")
        self.assert_link("out.bin", "nowhere/new.bin")
        self.assertFalse(os.path.exists(self.path("nowhere")))

    def test_link_loop_cannot_be_opened(self):
        self.script("t.vs", SMALL)
        os.symlink("b.bin", self.path("a.bin"))
        os.symlink("a.bin", self.path("b.bin"))
        self.assert_fails(self.vorn("t.vs", "a.bin"), "Cannot open file a.bin for output!")
        self.assert_link("a.bin", "b.bin")
        self.assert_link("b.bin", "a.bin")
        self.assert_no_temp_files()

    def test_failed_write_keeps_link_and_target(self):
        self.script("big.vs", BIG)
        os.mkdir(self.path("data"))
        self.write("data/real.bin", OLD_BYTES)
        os.symlink("data/real.bin", self.path("out.bin"))
        run = self.vorn("big.vs", "out.bin", preexec_fn=limit_file_size(1024))
        self.assert_fails(run, "Cannot write file out.bin!")
        self.assert_link("out.bin", "data/real.bin")
        self.assertEqual(self.read("data/real.bin"), OLD_BYTES)
        self.assert_no_temp_files(self.path("data"))
        self.assert_no_temp_files()


class HardLinks(OutputTest):
    def test_name_given_gets_the_new_file_other_names_keep_the_old(self):
        expected = self.script("t.vs", SMALL)
        self.write("out.bin", OLD_BYTES)
        os.link(self.path("out.bin"), self.path("other.bin"))
        old_inode = os.stat(self.path("other.bin")).st_ino
        self.assert_written(self.vorn("t.vs", "out.bin"))
        self.assertEqual(self.read("out.bin"), expected)
        self.assertEqual(self.read("other.bin"), OLD_BYTES)
        self.assertEqual(os.stat(self.path("other.bin")).st_nlink, 1)
        self.assertEqual(os.stat(self.path("out.bin")).st_nlink, 1)
        self.assertEqual(os.stat(self.path("other.bin")).st_ino, old_inode)
        self.assert_no_temp_files()

    def test_failed_write_keeps_every_name(self):
        self.script("big.vs", BIG)
        self.write("out.bin", OLD_BYTES)
        os.link(self.path("out.bin"), self.path("other.bin"))
        run = self.vorn("big.vs", "out.bin", preexec_fn=limit_file_size(1024))
        self.assert_fails(run, "Cannot write file out.bin!")
        self.assertEqual(self.read("out.bin"), OLD_BYTES)
        self.assertTrue(os.path.samefile(self.path("out.bin"), self.path("other.bin")))
        self.assertEqual(os.stat(self.path("out.bin")).st_nlink, 2)
        self.assert_no_temp_files()


class Modes(OutputTest):
    def test_existing_file_keeps_its_permission_bits(self):
        expected = self.script("t.vs", SMALL)
        for mode in (0o600, 0o640, 0o755, 0o444):
            self.write("out.bin", OLD_BYTES)
            os.chmod(self.path("out.bin"), mode)
            self.assert_written(self.vorn("t.vs", "out.bin"))
            self.assertEqual(self.read("out.bin"), expected)
            self.assertEqual(stat.S_IMODE(os.stat(self.path("out.bin")).st_mode), mode)
            os.chmod(self.path("out.bin"), 0o600)
            os.unlink(self.path("out.bin"))

    def test_new_file_gets_0666_less_the_umask(self):
        self.script("t.vs", SMALL)
        for umask, mode in ((0o022, 0o644), (0o077, 0o600), (0o002, 0o664)):
            def set_umask(umask=umask):
                os.umask(umask)
            self.assert_written(self.vorn("t.vs", "new.bin", preexec_fn=set_umask))
            self.assertEqual(stat.S_IMODE(os.stat(self.path("new.bin")).st_mode), mode)
            os.unlink(self.path("new.bin"))


if __name__ == "__main__":
    helpers.main()
