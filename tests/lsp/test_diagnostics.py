"""Diagnostics as a client sees them: ranges and codes, errors in included files, clearing,
keep-going, documents without a project folder, and a change of the lists."""

import os
import unittest

from lsp_client import ServerTest, uri

WATCHING = {"workspace": {"didChangeWatchedFiles": {"dynamicRegistration": True}}}


class TopScript(ServerTest):
    def test_every_error_with_range_kind_and_source_then_cleared(self):
        self.client.initialize(self.root)
        main = self.path("main.vs")
        # An unknown command ends vorn at once; checking keeps going to the later errors.
        text = "OnStart:\n    Jump(1)\n    Say(Nope)\n    Wait(1, 2)\n"
        self.write({"main.vs": text})
        self.client.open(main, text)
        found = self.client.diagnostics(main, version=1)
        self.assertEqual([(d["code"], d["range"]["start"]["line"], d["range"]["start"]["character"],
                           d["range"]["end"]["character"]) for d in found],
                         [("unknown-command", 1, 4, 8), ("unknown-argument", 2, 8, 12),
                          ("wrong-argument-count", 3, 8, 14)])
        self.assertEqual(found[0]["message"], "Unknown command 'Jump'")
        self.assertTrue(all(d["source"] == "vorn" and d["severity"] == 1 for d in found))

        fixed = "OnStart:\n    Wait(1)\n"
        self.client.change(main, fixed, 2)
        self.assertEqual(self.client.diagnostics(main, version=2), [])
        # The unsaved text was compiled, not the file on disk.
        self.client.notify("textDocument/didSave", {"textDocument": {"uri": uri(main)}})
        self.assertEqual(self.client.diagnostics(main), [])

    def test_document_without_project_folder_gets_one_diagnostic_on_line_1(self):
        os.makedirs(self.path("ws/alone"))
        self.client.initialize(self.path("ws"))
        lonely = self.path("ws/alone/x.vs")
        # The lists above the workspace root do not count.
        self.client.open(lonely, "    Say(1)\n")
        found = self.client.diagnostics(lonely)
        self.assertEqual(len(found), 1)
        self.assertEqual(found[0]["code"], "no-project")
        self.assertEqual(found[0]["range"]["start"], {"line": 0, "character": 0})
        self.assertIn("events.lst", found[0]["message"])

    def test_project_folder_is_the_nearest_one_with_both_lists(self):
        # lib/ has only one list, so the project is the root: include paths are relative to it.
        self.write({"lib/events.lst": "OnStart 1\n", "lib/deep.vs": "include lib\\/other.vs\n",
                    "lib/other.vs": "    Say(2)\n"})
        self.client.initialize(self.root)
        deep = self.path("lib/deep.vs")
        self.client.open(deep)
        self.assertEqual(self.client.diagnostics(deep), [])


class Warnings(ServerTest):
    def test_warning_has_severity_2_its_kind_as_code_and_its_note_as_related_information(self):
        self.client.initialize(self.root)
        main = self.path("main.vs")
        text = "defvar Gold 3\ndefnum Gold 99\nOnStart:\n    Wait(Nope)\n"
        self.write({"main.vs": text})
        self.client.open(main, text)
        found = self.client.diagnostics(main, version=1)
        self.assertEqual([(d["code"], d["severity"]) for d in found],
                         [("redefined-name", 2), ("unknown-argument", 1)])
        warning = found[0]
        self.assertEqual(warning["range"], {"start": {"line": 1, "character": 7}, "end": {"line": 1, "character": 11}})
        # The note is in the message too, for clients that show no related information.
        self.assertEqual(warning["message"], "'Gold' is already defined; this definition is never found; "
                                             "'Gold' is first defined at main.vs:1")
        self.assertEqual(warning["relatedInformation"],
                         [{"location": {"uri": uri(main),
                                        "range": {"start": {"line": 0, "character": 7},
                                                  "end": {"line": 0, "character": 11}}},
                           "message": "'Gold' is first defined here"}])
        self.assertNotIn("relatedInformation", found[1])

    def test_include_line_that_leads_only_to_warnings_shows_a_warning(self):
        self.write({"lib/a.vs": "defnum Big 70000\n", "main.vs": "include lib\\/a.vs\n"})
        self.client.initialize(self.root)
        main = self.path("main.vs")
        self.client.open(main)
        on_main = self.client.diagnostics(main)
        self.assertEqual([(d["code"], d["severity"], d["range"]["start"]["line"]) for d in on_main],
                         [("constant-wraps", 2, 0)])
        on_lib = self.client.diagnostics(self.path("lib/a.vs"))
        self.assertEqual([(d["code"], d["severity"]) for d in on_lib], [("constant-wraps", 2)])


class IncludedFiles(ServerTest):
    def setUp(self):
        super().setUp()
        self.write({"lib/a.vs": "defvar Count 3\n    Wait(Nope)\n",
                    "main.vs": "; top\ninclude lib\\/a.vs\n    Wait(Count)\n"})
        self.client.initialize(self.root)
        self.main, self.lib = self.path("main.vs"), self.path("lib/a.vs")

    def test_error_published_on_the_included_file_with_a_link_from_the_include_line(self):
        self.client.open(self.main)
        on_main = self.client.diagnostics(self.main)
        on_lib = self.client.diagnostics(self.lib)
        self.assertEqual(len(on_lib), 1)
        self.assertEqual(on_lib[0]["code"], "unknown-argument")
        self.assertEqual(on_lib[0]["range"], {"start": {"line": 1, "character": 9},
                                              "end": {"line": 1, "character": 13}})
        self.assertEqual(len(on_main), 1)
        link = on_main[0]
        # The include name on line 2 of main.vs, "lib\/a.vs".
        self.assertEqual(link["range"], {"start": {"line": 1, "character": 8},
                                         "end": {"line": 1, "character": 17}})
        self.assertEqual(link["relatedInformation"],
                         [{"location": {"uri": uri(self.lib), "range": on_lib[0]["range"]},
                           "message": "Unknown argument 'Nope'"}])
        # The shared file's error links back to that include line.
        self.assertEqual(on_lib[0]["relatedInformation"][0]["location"],
                         {"uri": uri(self.main), "range": link["range"]})

    def test_unsaved_text_of_an_open_include_is_compiled_and_clears_its_errors(self):
        self.client.open(self.main)
        self.assertEqual(len(self.client.diagnostics(self.lib)), 1)
        self.client.settle()
        # Opening the include with fixed text that is not saved: main.vs is checked again
        # with it, and both files come clean.
        self.client.open(self.lib, "defvar Count 3\n    Wait(Count)\n")
        self.assertEqual(self.client.diagnostics(self.lib), [])
        self.assertEqual(self.client.diagnostics(self.main), [])

    def test_removing_the_include_line_clears_the_included_file(self):
        self.client.open(self.main)
        self.assertEqual(len(self.client.diagnostics(self.lib)), 1)
        self.client.settle()
        self.client.change(self.main, "defvar Count 1\n    Wait(Count)\n", 2)
        self.assertEqual(self.client.diagnostics(self.main, version=2), [])
        # Included by nothing, the file is its own top script now: its error stays, with no
        # includer to link to.
        alone = self.client.diagnostics(self.lib)
        self.assertEqual([(d["code"], "relatedInformation" in d) for d in alone], [("unknown-argument", False)])

    def test_include_that_cannot_be_opened_is_reported_and_checking_goes_on(self):
        self.client.open(self.main, "include nothere.vs\n    Jump()\n")
        found = self.client.diagnostics(self.main)
        self.assertEqual([d["code"] for d in found], ["cannot-open-file", "unknown-command"])
        self.assertEqual(found[0]["range"]["start"], {"line": 0, "character": 8})

    def test_closing_the_document_clears_what_it_published(self):
        self.client.open(self.main)
        self.client.diagnostics(self.lib)
        self.client.settle()
        self.client.notify("textDocument/didClose", {"textDocument": {"uri": uri(self.main)}})
        self.assertEqual(self.client.diagnostics(self.lib), [])
        self.assertEqual(self.client.diagnostics(self.main), [])


class ListChanges(ServerTest):
    def setUp(self):
        super().setUp()
        self.write({"main.vs": "OnStart:\n    Jump(1)\n"})
        self.main = self.path("main.vs")

    def test_watched_change_of_command_lst_checks_the_project_again(self):
        result = self.client.initialize(self.root, WATCHING)
        self.assertIn("capabilities", result)
        self.client.open(self.main)
        self.assertEqual([d["code"] for d in self.client.diagnostics(self.main)], ["unknown-command"])
        # The server asks to be told of list changes.
        registration = self.client.requests[0] if self.client.requests else self.client.read_message()
        self.assertEqual(registration["method"], "client/registerCapability")
        patterns = [w["globPattern"] for w in
                    registration["params"]["registrations"][0]["registerOptions"]["watchers"]]
        self.assertIn("**/*.lst", patterns)
        self.client.send({"jsonrpc": "2.0", "id": registration["id"], "result": None})

        self.write({"command.lst": "Wait 10 1\nJump 20 1\n"})
        self.client.notify("workspace/didChangeWatchedFiles",
                           {"changes": [{"uri": uri(self.path("command.lst")), "type": 2}]})
        self.assertEqual(self.client.diagnostics(self.main), [])

    def test_saving_an_open_list_checks_the_project_with_its_text(self):
        self.client.initialize(self.root)
        self.client.open(self.main)
        self.assertEqual(len(self.client.diagnostics(self.main)), 1)
        commands = self.path("command.lst")
        self.client.open(commands, "Jump 20 1\n")
        self.client.notify("textDocument/didSave", {"textDocument": {"uri": uri(commands)}})
        self.assertEqual(self.client.diagnostics(self.main), [])

    def test_bad_list_entry_is_published_on_the_list(self):
        self.write({"command.lst": "Wait 10 1\nThisNameIsFarTooLongForAnyListEntryAtAll 1 1\n"})
        self.client.initialize(self.root)
        self.client.open(self.main)
        on_main = self.client.diagnostics(self.main)
        on_list = self.client.diagnostics(self.path("command.lst"))
        self.assertEqual([(d["code"], d["range"]["start"]["line"]) for d in on_list], [("bad-list-entry", 1)])
        # The list fails every compile: the script shows it on its first line, never clean.
        self.assertEqual([(d["code"], d["range"]["start"]["line"], d["message"]) for d in on_main],
                         [("bad-list-entry", 0, "In command.lst: Bad entry")])


if __name__ == "__main__":
    unittest.main()
