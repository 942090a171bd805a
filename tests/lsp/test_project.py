"""Every file in its project: a shared file included by two top scripts, one of which leaves a
name undefined, and the features that look across every script of the project."""

import os
import unittest

from lsp_client import ServerTest, uri

MAIN = "defvar Count 5\ninclude lib\\/use.vs\nOnStart:\n    Wait(Count)\n"
OTHER = "include lib\\/use.vs\nOnTouch:\n    Say(1)\n"
USE = "    Wait(Count)\n"
WATCH = {"workspace": {"didChangeWatchedFiles": {"dynamicRegistration": True}}}


def at_line(line, start, end):
    return {"start": {"line": line, "character": start}, "end": {"line": line, "character": end}}


class SharedFile(ServerTest):
    def test_a_shared_file_sees_the_names_its_includer_defines(self):
        self.write({"main.vs": MAIN, "lib/use.vs": USE})
        self.client.initialize(self.root)
        self.client.open(self.path("lib/use.vs"))
        self.assertEqual(self.client.diagnostics(self.path("lib/use.vs")), [])

    def test_a_name_one_includer_leaves_undefined_is_reported_from_that_includer(self):
        self.write({"main.vs": MAIN, "other.vs": OTHER, "lib/use.vs": USE})
        self.client.initialize(self.root)
        self.client.open(self.path("lib/use.vs"))
        found = self.client.diagnostics(self.path("lib/use.vs"))
        self.assertEqual(len(found), 1, found)
        self.assertIn("Count", found[0]["message"])
        self.assertEqual(found[0]["range"], at_line(0, 9, 14))
        related = found[0]["relatedInformation"]
        self.assertEqual(related[0]["location"]["uri"], uri(self.path("other.vs")))
        self.assertEqual(related[0]["location"]["range"], at_line(0, 8, 19))

    def test_a_change_republishes_only_the_files_whose_findings_changed(self):
        self.write({"main.vs": MAIN, "other.vs": OTHER, "lib/use.vs": USE})
        self.client.initialize(self.root)
        for name in ("main.vs", "other.vs", "lib/use.vs"):
            self.client.open(self.path(name))
        self.assertEqual(len(self.client.diagnostics(self.path("lib/use.vs"))), 1)
        self.client.settle()
        # Fixing the shared file's line clears it and other.vs's summary of it on its include
        # line; main.vs, which saw no error, is left alone.
        self.client.change(self.path("lib/use.vs"), "    Wait(5)\n", 2)
        self.assertEqual(self.client.diagnostics(self.path("lib/use.vs"), version=2), [])
        self.client.drain()
        published = [m["params"]["uri"] for m in self.client.notifications
                     if m["method"] == "textDocument/publishDiagnostics"]
        self.assertEqual(published, [uri(self.path("other.vs"))])
        self.client.notifications.clear()
        # An error in a top script is published for it alone.
        self.client.change(self.path("main.vs"), MAIN + "    Nope()\n", 2)
        self.assertEqual(len(self.client.diagnostics(self.path("main.vs"), version=2)), 1)
        self.client.drain()
        published = [m["params"]["uri"] for m in self.client.notifications
                     if m["method"] == "textDocument/publishDiagnostics"]
        self.assertEqual(published, [])

    def test_watched_files_keep_the_project_in_step_with_disk(self):
        self.write({"main.vs": MAIN, "lib/use.vs": USE})
        self.client.initialize(self.root, WATCH)
        registration = self.client.requests  # the server's registration request arrives first
        self.client.open(self.path("lib/use.vs"))
        self.assertEqual(self.client.diagnostics(self.path("lib/use.vs")), [])
        globs = [w["globPattern"] for m in registration if m["method"] == "client/registerCapability"
                 for r in m["params"]["registrations"] for w in r["registerOptions"]["watchers"]]
        self.assertIn("**/*.vs", globs)
        self.assertIn("**/*.lst", globs)
        # A new top script on disk that leaves Count undefined.
        self.write({"other.vs": OTHER})
        self.client.notify("workspace/didChangeWatchedFiles",
                           {"changes": [{"uri": uri(self.path("other.vs")), "type": 1}]})
        self.assertEqual(len(self.client.diagnostics(self.path("lib/use.vs"))), 1)
        # And gone again.
        os.remove(self.path("other.vs"))
        self.client.notify("workspace/didChangeWatchedFiles",
                           {"changes": [{"uri": uri(self.path("other.vs")), "type": 3}]})
        self.assertEqual(self.client.diagnostics(self.path("lib/use.vs")), [])


if __name__ == "__main__":
    unittest.main()
