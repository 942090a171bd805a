"""Completion, hover, go to definition, document symbols and signature help on a small
project with an include, as a client asks for them."""

import unittest

from lsp_client import ServerTest, uri

MAIN = """defvar Count 5
include lib\\/defs.vs
OnStart:
    Say("hi")
    If(Count, Equal, Limit)
    Wait(
7   a place
    Stop()
defnum Later 9
    Set(Count, )
    Wa
"""
DEFS = "defnum Limit 1800\ndefvar Hour 2\n"
SNIPPETS = {"textDocument": {"completion": {"completionItem": {"snippetSupport": True}}}}


def labels(result):
    return [item["label"] for item in result["items"]]


class Features(ServerTest):
    capabilities = SNIPPETS

    def setUp(self):
        super().setUp()
        self.write({"main.vs": MAIN, "lib/defs.vs": DEFS, "lib/more.vs": "", "notes.txt": ""})
        self.client.initialize(self.root, self.capabilities)
        self.main = self.path("main.vs")
        self.client.open(self.main)
        self.client.diagnostics(self.main)

    def at(self, method, line, character):
        return self.client.at(method, self.main, line, character)

    def test_completion_at_line_start_offers_directives_and_event_labels(self):
        result = self.at("textDocument/completion", 2, 2)
        self.assertEqual(labels(result), ["defvar", "defnum", "include", "OnStart:", "OnTouch:", "OnTimer:"])
        # The typed "On" is replaced.
        edit = result["items"][3]["textEdit"]
        self.assertEqual(edit["range"]["start"], {"line": 2, "character": 0})
        self.assertEqual(edit["newText"], "OnStart:")

    def test_completion_in_a_statement_offers_commands_with_snippets(self):
        items = self.at("textDocument/completion", 10, 6)["items"]
        self.assertEqual([i["label"] for i in items], ["Wait", "Say", "Stop", "If", "Set"])
        self.assertEqual(items[0]["textEdit"]["range"], {"start": {"line": 10, "character": 4},
                                                         "end": {"line": 10, "character": 6}})
        by_label = {i["label"]: i for i in items}
        self.assertEqual(by_label["If"]["detail"], "3 arguments")
        self.assertEqual(by_label["If"]["textEdit"]["newText"], "If(${1:arg1}, ${2:arg2}, ${3:arg3})$0")
        self.assertEqual(by_label["If"]["insertTextFormat"], 2)
        self.assertEqual(by_label["Stop"]["textEdit"]["newText"], "Stop()$0")
        # Where "Say(" is there already, only the name replaces "S".
        say = {i["label"]: i for i in self.at("textDocument/completion", 3, 5)["items"]}["Say"]
        self.assertEqual(say["textEdit"]["newText"], "Say")
        self.assertEqual(say["textEdit"]["range"]["start"], {"line": 3, "character": 4})

    def test_completion_in_an_argument_offers_keywords_and_names_defined_above(self):
        names = labels(self.at("textDocument/completion", 5, 9))
        self.assertEqual(names[:8], ["Equal", "NotEqual", "LessThan", "NotLessThan", "GreaterThan",
                                     "NotGreaterThan", "LessThanOrEqual", "GreaterThanOrEqual"])
        # Self and Time, main.vs's Count and the include's Limit and Hour; not Later (line 9).
        self.assertEqual(sorted(names[8:]), ["Count", "Hour", "Limit", "Self", "Time"])
        after = labels(self.at("textDocument/completion", 9, 15))
        self.assertIn("Later", after)

    def test_completion_offers_nothing_in_strings_numbers_and_comments(self):
        self.assertEqual(labels(self.at("textDocument/completion", 3, 10)), [])  # in "hi"
        self.assertEqual(labels(self.at("textDocument/completion", 6, 6)), [])   # after a place label

    def test_completion_after_include_offers_the_project_scripts_escaped(self):
        self.client.change(self.main, "include \n" + MAIN, 2)
        self.client.diagnostics(self.main, version=2)
        items = self.at("textDocument/completion", 0, 8)["items"]
        self.assertEqual([i["label"] for i in items], ["lib/defs.vs", "lib/more.vs"])
        self.assertEqual(items[0]["textEdit"]["newText"], "lib\\/defs.vs")

    def test_hover_on_command_statement_name_and_labels(self):
        command = self.at("textDocument/hover", 3, 5)["contents"]["value"]
        self.assertIn("command 1 of command.lst", command)
        self.assertIn("1 argument", command)
        # OnStart: at offset 0; Say("hi") compiles to 01 03 02 68 69.
        self.assertIn("Code offset 0 (0x0000), 5 bytes: `01 03 02 68 69`", command)
        name = self.at("textDocument/hover", 4, 22)["contents"]["value"]
        self.assertIn("`Limit`: constant 1800", name)
        self.assertIn("lib/defs.vs line 1", name)
        variable = self.at("textDocument/hover", 4, 7)
        self.assertIn("`Count`: variable 5, defined in main.vs line 1", variable["contents"]["value"])
        self.assertEqual(variable["range"], {"start": {"line": 4, "character": 7},
                                             "end": {"line": 4, "character": 12}})
        label = self.at("textDocument/hover", 2, 3)["contents"]["value"]
        self.assertIn("event 0 of events.lst, code offset 0", label)
        place = self.at("textDocument/hover", 6, 0)["contents"]["value"]
        self.assertIn("place 7", place)
        self.assertIsNone(self.at("textDocument/hover", 6, 8))  # the ignored rest of a label line

    def test_definition_of_names_and_include_files(self):
        limit = self.at("textDocument/definition", 4, 23)
        self.assertEqual(limit, {"uri": uri(self.path("lib/defs.vs")),
                                 "range": {"start": {"line": 0, "character": 7},
                                           "end": {"line": 0, "character": 12}}})
        count = self.at("textDocument/definition", 9, 9)
        self.assertEqual(count["uri"], uri(self.main))
        self.assertEqual(count["range"]["start"], {"line": 0, "character": 7})
        include = self.at("textDocument/definition", 1, 12)
        self.assertEqual(include["uri"], uri(self.path("lib/defs.vs")))
        self.assertIsNone(self.at("textDocument/definition", 4, 15))  # Equal is a keyword

    def test_document_symbols_are_the_documents_own_labels_and_definitions(self):
        symbols = self.client.request("textDocument/documentSymbol", {"textDocument": {"uri": uri(self.main)}})
        self.assertEqual([(s["name"], s["kind"], s["selectionRange"]["start"]["line"]) for s in symbols],
                         [("Count", 13, 0), ("OnStart:", 24, 2), ("7", 16, 6), ("Later", 14, 8)])

    def test_signature_help_tracks_the_argument_under_the_cursor(self):
        first = self.at("textDocument/signatureHelp", 4, 7)
        self.assertEqual(first["signatures"][0]["label"], "If(arg1, arg2, arg3)")
        self.assertEqual(first["activeParameter"], 0)
        self.assertEqual(self.at("textDocument/signatureHelp", 4, 22)["activeParameter"], 2)
        self.assertEqual(self.at("textDocument/signatureHelp", 5, 9)["activeParameter"], 0)
        self.assertIsNone(self.at("textDocument/signatureHelp", 4, 4))   # on the command
        self.assertIsNone(self.at("textDocument/signatureHelp", 4, 27))  # after ')'


class WithoutSnippets(Features):
    capabilities = {}

    def test_completion_in_a_statement_offers_commands_with_snippets(self):
        items = self.at("textDocument/completion", 10, 6)["items"]
        self.assertEqual({i["textEdit"]["newText"] for i in items}, {"Wait", "Say", "Stop", "If", "Set"})
        self.assertFalse(any("insertTextFormat" in i for i in items))


if __name__ == "__main__":
    unittest.main()
