"""A shared file seen from every top script that reaches it: each failing includer shows its
failure, a nested project keeps its own scripts, and the project follows lists and includes
that disappear and come back."""

import os
import unittest

from lsp_client import LISTS, ServerTest, uri

WATCH = {"workspace": {"didChangeWatchedFiles": {"dynamicRegistration": True}}}
BROKEN_SHARED = "OnTouch:\n    Wait(1, 2)\n"
INCLUDER = "include lib\\/x.vs\nOnStart:\n    Stop()\n"


def errors(diagnostics):
    return [d for d in diagnostics if d["severity"] == 1]


def latest(client, path):
    """The last diagnostics published for path once the server is quiet (None: none since)."""
    client.drain()
    found = None
    for message in client.notifications:
        if message["method"] == "textDocument/publishDiagnostics" and message["params"]["uri"] == uri(path):
            found = message["params"]["diagnostics"]
    return found


class EveryIncluder(ServerTest):
    def test_each_includer_of_a_broken_shared_file_shows_it_open_or_not(self):
        self.write({"lib/x.vs": BROKEN_SHARED, "a.vs": INCLUDER, "b.vs": INCLUDER})
        self.client.initialize(self.root)
        # Only b.vs is open: a.vs comes first in check order, yet b.vs must not look clean.
        self.client.open(self.path("b.vs"))
        self.client.drain()
        for name in ("a.vs", "b.vs"):
            shown = latest(self.client, self.path(name))
            self.assertIsNotNone(shown, name)
            self.assertEqual(len(errors(shown)), 1, (name, shown))
            self.assertEqual(shown[0]["range"]["start"]["line"], 0)
            self.assertIn("lib/x.vs", shown[0]["message"])
        # The shared file's error is published once, linked to both includers.
        shared = latest(self.client, self.path("lib/x.vs"))
        self.assertEqual(len(shared), 1, shared)
        linked = [r["location"]["uri"] for r in shared[0]["relatedInformation"]
                  if r["message"].startswith("Included here")]
        self.assertEqual(linked, [uri(self.path("a.vs")), uri(self.path("b.vs"))])

    def test_a_collision_only_one_includer_has_stands_on_its_include_line_alone(self):
        self.write({"lib/x.vs": "defvar Mood 3\nOnStart:\n    Wait(Mood)\n",
                    "a.vs": "defvar Mood 4\ninclude lib\\/x.vs\n", "b.vs": "include lib\\/x.vs\n"})
        self.client.initialize(self.root)
        self.client.open(self.path("b.vs"))
        self.client.drain()
        shown = {name: latest(self.client, self.path(name)) or [] for name in ("a.vs", "b.vs", "lib/x.vs")}
        collisions = {name: [d for d in found if d.get("code") == "redefined-name"] for name, found in shown.items()}
        self.assertEqual(collisions["b.vs"] + collisions["lib/x.vs"], [], shown)
        [warning] = collisions["a.vs"]
        self.assertEqual(warning["severity"], 2)
        self.assertEqual((warning["range"]["start"], warning["range"]["end"]),
                         ({"line": 1, "character": 8}, {"line": 1, "character": 17}))
        self.assertTrue(warning["message"].startswith("in lib/x.vs (included from here): 'Mood' is already defined"),
                        warning)
        self.assertIn("in the compile of b.vs this definition draws no warning", warning["message"])
        self.assertIn((uri(self.path("lib/x.vs")), 0),
                      [(r["location"]["uri"], r["location"]["range"]["start"]["line"])
                       for r in warning.get("relatedInformation", [])])

    def test_a_nested_project_keeps_its_own_scripts(self):
        self.write({
            "main.vs": "OnStart:\n    Stop()\n",
            # A project of its own: its include resolves from sub/, with its own lists.
            "sub/events.lst": LISTS["events.lst"],
            "sub/command.lst": LISTS["command.lst"] + "Hour 20 0\n",
            "sub/tool.vs": "include lib\\/names.vs\nOnStart:\n    Hour()\n",
            "sub/lib/names.vs": "defvar Mood 3\n",
        })
        self.client.initialize(self.root)
        self.client.open(self.path("main.vs"))
        self.assertEqual(self.client.diagnostics(self.path("main.vs")), [])
        self.assertIsNone(latest(self.client, self.path("sub/tool.vs")))
        # Opened, it is compiled in its own folder, and is clean there.
        self.client.open(self.path("sub/tool.vs"))
        self.assertEqual(latest(self.client, self.path("sub/tool.vs")), [])


class FollowsTheFiles(ServerTest):
    def notify_files(self, *changes):
        self.client.notify("workspace/didChangeWatchedFiles",
                           {"changes": [{"uri": uri(self.path(name)), "type": kind} for name, kind in changes]})

    def hover_text(self, path, line, character):
        found = self.client.at("textDocument/hover", path, line, character)
        return found and found["contents"]["value"]

    def test_a_list_deleted_and_created_again_gives_what_a_fresh_start_gives(self):
        text = "defvar Mood 3\nOnStart:\n    Wait(Mood)\n    Nope()\n"
        self.write({"main.vs": text})
        self.client.initialize(self.root, WATCH)
        self.client.open(self.path("main.vs"))
        fresh = self.client.diagnostics(self.path("main.vs"))
        self.assertEqual(len(errors(fresh)), 1, fresh)
        fresh_hover = self.hover_text(self.path("main.vs"), 2, 10)
        self.assertIn("Mood", fresh_hover)
        self.client.settle()
        os.remove(self.path("command.lst"))
        self.notify_files(("command.lst", 3))
        missing = latest(self.client, self.path("main.vs"))
        self.assertTrue(missing and errors(missing), missing)
        self.assertIn("In command.lst: ", missing[0]["message"])
        self.client.notifications.clear()
        self.write({"command.lst": LISTS["command.lst"]})
        self.notify_files(("command.lst", 1))
        self.assertEqual(latest(self.client, self.path("main.vs")), fresh)
        self.assertEqual(self.hover_text(self.path("main.vs"), 2, 10), fresh_hover)
        refs = self.client.at("textDocument/references", self.path("main.vs"), 2, 10,
                              context={"includeDeclaration": True})
        self.assertEqual(len(refs), 2, refs)

    def test_an_include_deleted_and_created_again_gives_what_a_fresh_start_gives(self):
        self.write({"main.vs": "include lib\\/names.vs\nOnStart:\n    Wait(Mood)\n",
                    "lib/names.vs": "defvar Mood 3\n"})
        self.client.initialize(self.root, WATCH)
        self.client.open(self.path("main.vs"))
        self.assertEqual(self.client.diagnostics(self.path("main.vs")), [])
        self.client.settle()
        os.rename(self.path("lib"), self.path("gone"))
        # A folder renamed: the events name the folders alone.
        self.notify_files(("lib", 3), ("gone", 1))
        missing = latest(self.client, self.path("main.vs"))
        self.assertTrue(missing and errors(missing), missing)
        self.client.notifications.clear()
        os.rename(self.path("gone"), self.path("lib"))
        self.notify_files(("gone", 3), ("lib", 1))
        self.assertEqual(latest(self.client, self.path("main.vs")), [])
        self.assertIn("3", self.hover_text(self.path("main.vs"), 2, 10))


if __name__ == "__main__":
    unittest.main()
