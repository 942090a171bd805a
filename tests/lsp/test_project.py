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


def places(locations):
    return sorted((os.path.basename(os.path.dirname(l["uri"])) + "/" + os.path.basename(l["uri"]),
                   l["range"]["start"]["line"], l["range"]["start"]["character"], l["range"]["end"]["character"])
                  for l in locations)


class AcrossFiles(ServerTest):
    def setUp(self):
        super().setUp()
        self.write({"main.vs": MAIN, "other.vs": OTHER, "lib/use.vs": USE})
        self.client.initialize(self.root)
        self.main, self.use = self.path("main.vs"), self.path("lib/use.vs")
        self.client.open(self.main)
        self.client.open(self.use)
        self.client.diagnostics(self.use)
        self.dir = os.path.basename(self.root)

    def refs(self, path, line, character, declaration=True):
        return places(self.client.at("textDocument/references", path, line, character,
                                     context={"includeDeclaration": declaration}))

    def test_references_of_a_variable_with_and_without_its_definition(self):
        d = self.dir
        uses = [(d + "/main.vs", 3, 9, 14), ("lib/use.vs", 0, 9, 14)]
        self.assertEqual(self.refs(self.use, 0, 10), sorted(uses + [(d + "/main.vs", 0, 7, 12)]))
        self.assertEqual(self.refs(self.main, 0, 8, declaration=False), sorted(uses))

    def test_references_of_a_command_include_their_list_line(self):
        d = self.dir
        self.assertEqual(self.refs(self.main, 3, 5),
                         sorted([(d + "/command.lst", 1, 0, 4), (d + "/main.vs", 3, 4, 8), ("lib/use.vs", 0, 4, 8)]))

    def test_references_of_an_include_name_are_every_line_naming_the_file(self):
        d = self.dir
        self.assertEqual(self.refs(self.main, 1, 10, declaration=False),
                         [(d + "/main.vs", 1, 8, 19), (d + "/other.vs", 0, 8, 19)])

    def test_rename_of_a_variable_edits_every_file(self):
        edit = self.client.at("textDocument/rename", self.use, 0, 10, newName="Total")
        changes = edit["changes"]
        self.assertEqual(sorted(changes), sorted([uri(self.main), uri(self.use)]))
        self.assertEqual(sorted((e["range"]["start"]["line"], e["range"]["start"]["character"])
                                for e in changes[uri(self.main)]), [(0, 7), (3, 9)])
        self.assertEqual(changes[uri(self.use)], [{"range": at_line(0, 9, 14), "newText": "Total"}])
        prepared = self.client.at("textDocument/prepareRename", self.main, 0, 8)
        self.assertEqual(prepared, {"range": at_line(0, 7, 12), "placeholder": "Count"})

    def test_rename_of_a_command_edits_its_list_line(self):
        edit = self.client.at("textDocument/rename", self.main, 3, 5, newName="Pause")
        lst = edit["changes"][uri(self.path("command.lst"))]
        self.assertEqual(lst, [{"range": at_line(1, 0, 4), "newText": "Pause"}])
        self.assertEqual(len(edit["changes"][uri(self.use)]), 1)

    def test_rename_is_refused_where_the_scripts_would_mean_something_else(self):
        self.client.change(self.main, "defnum Limit 2\n" + MAIN, 2)
        self.client.diagnostics(self.main, version=2)
        for name, why in [("X" * 32, "at most 31"), ("Equal", "condition keyword"), ("Limit", "shadow"),
                          ("a b", "ends a word"), ("a;b", "ends a word"), ("Self", "shadow")]:
            reply = self.client.response(self.client.request_async("textDocument/rename", {
                "textDocument": {"uri": uri(self.main)}, "position": {"line": 1, "character": 8},
                "newName": name}))
            self.assertIn("error", reply, name)
            self.assertIn(why, reply["error"]["message"], name)

    def test_highlight_links_symbols_and_definitions(self):
        highlights = self.client.at("textDocument/documentHighlight", self.main, 3, 10)
        self.assertEqual(sorted(h["range"]["start"]["line"] for h in highlights), [0, 3])
        links = self.client.request("textDocument/documentLink", {"textDocument": {"uri": uri(self.main)}})
        self.assertEqual(links, [{"range": at_line(1, 8, 19), "target": uri(self.use)}])
        found = self.client.request("workspace/symbol", {"query": "cou"})
        self.assertEqual([(s["name"], s["location"]["uri"]) for s in found], [("Count", uri(self.main))])
        self.assertEqual(len(self.client.request("workspace/symbol", {"query": ""})), 1 + 5 + 1)
        to_list = self.client.at("textDocument/definition", self.main, 3, 5)
        self.assertEqual((to_list["uri"], to_list["range"]), (uri(self.path("command.lst")), at_line(1, 0, 4)))
        to_event = self.client.at("textDocument/definition", self.main, 2, 3)
        self.assertEqual((to_event["uri"], to_event["range"]["start"]["line"]), (uri(self.path("events.lst")), 1))
        to_file = self.client.at("textDocument/definition", self.main, 1, 12)
        self.assertEqual(to_file["uri"], uri(self.use))

    def test_incremental_changes_in_utf16(self):
        # "é😀" is three UTF-16 units and six bytes: the second edit's range counts units.
        self.client.notify("textDocument/didChange", {
            "textDocument": {"uri": uri(self.use), "version": 2},
            "contentChanges": [{"range": at_line(0, 0, 15), "text": '    Set("é😀", Count)'},
                               {"range": at_line(0, 15, 20), "text": "Nope"}]})
        found = self.client.diagnostics(self.use, version=2)
        self.assertEqual([(d["message"], d["range"]) for d in found], [("Unknown argument 'Nope' (in the compiles of main.vs and other.vs)", at_line(0, 15, 19))])

if __name__ == "__main__":
    unittest.main()
