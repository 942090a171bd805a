"""Quick fixes: each fix of a diagnostic on the lines asked about as a code action (preferred
when it is the one safe fix), "Add ... to command.lst" for an unknown command, and applying
an action's edit clears the error it was for."""

import unittest

from lsp_client import ServerTest, uri


def at_line(line, start, end):
    return {"start": {"line": line, "character": start}, "end": {"line": line, "character": end}}


def apply(text, edits):
    """The text with single-line edits made, from the last back."""
    lines = text.split("\n")
    for edit in sorted(edits, key=lambda e: (e["range"]["start"]["line"], e["range"]["start"]["character"]),
                       reverse=True):
        start, end = edit["range"]["start"], edit["range"]["end"]
        assert start["line"] == end["line"]
        line = lines[start["line"]]
        lines[start["line"]] = line[:start["character"]] + edit["newText"] + line[end["character"]:]
    return "\n".join(lines)


class CodeActions(ServerTest):
    def actions(self, name, first_line, last_line=None):
        last_line = first_line if last_line is None else last_line
        return self.client.request("textDocument/codeAction", {
            "textDocument": {"uri": uri(self.path(name))},
            "range": {"start": {"line": first_line, "character": 0}, "end": {"line": last_line, "character": 0}},
            "context": {"diagnostics": []}})

    def open(self, files, name):
        self.write(files)
        self.client.initialize(self.root)
        self.client.open(self.path(name))
        return self.client.diagnostics(self.path(name))

    def test_the_server_offers_quick_fixes(self):
        result = self.client.initialize(self.root)
        self.assertEqual(result["capabilities"]["codeActionProvider"], {"codeActionKinds": ["quickfix"]})

    def test_a_name_only_a_file_not_included_defines_gets_the_include_line_offered(self):
        text = "OnStart:\n    Wait(PotionPrice)\n"
        found = self.open({"shop.vs": text, "lib/items.vs": "defnum PotionPrice 4\n"}, "shop.vs")
        self.assertEqual(len(found), 1, found)
        actions = self.actions("shop.vs", 1)
        self.assertEqual([a["title"] for a in actions], ["Include lib/items.vs"])
        self.assertNotIn("isPreferred", actions[0])
        edits = actions[0]["edit"]["changes"][uri(self.path("shop.vs"))]
        self.assertEqual(edits, [{"range": at_line(0, 0, 0), "newText": "include lib\\/items.vs\n"}])
        self.client.change(self.path("shop.vs"), apply(text, edits), 2)
        self.assertEqual(self.client.diagnostics(self.path("shop.vs"), version=2), [])

    def test_a_hex_number_and_a_wrapped_constant_get_the_number_meant_offered_but_not_preferred(self):
        text = "defnum BossY -8\nOnStart:\n    Wait(0x1E)\n    Wait(BossY)\n"
        found = self.open({"t.vs": text}, "t.vs")
        self.assertEqual(len(found), 2, found)
        actions = self.actions("t.vs", 0, 2)
        self.assertEqual([a["title"] for a in actions],
                         ["Replace '-8' with '65528', the number 'BossY' stands for", "Replace '0x1E' with '30'"])
        self.assertFalse(any("isPreferred" in a for a in actions))
        wrapped, hex_number = (a["edit"]["changes"][uri(self.path("t.vs"))] for a in actions)
        self.assertEqual(wrapped, [{"range": at_line(0, 13, 15), "newText": "65528"}])
        self.assertEqual(hex_number, [{"range": at_line(2, 9, 13), "newText": "30"}])
        # Made, both leave a script with nothing to warn about.
        self.client.change(self.path("t.vs"), apply(text, wrapped + hex_number), 2)
        self.assertEqual(self.client.diagnostics(self.path("t.vs"), version=2), [])

    def test_a_misspelt_command_gets_its_replacement_preferred_and_an_entry_for_the_list(self):
        text = "OnStart:\n    Sya(\"hi\")\n"
        self.open({"t.vs": text}, "t.vs")
        actions = self.actions("t.vs", 1)
        self.assertEqual([a["title"] for a in actions], ["Replace 'Sya' with 'Say'", "Add 'Sya' to command.lst"])
        replace, add = actions
        self.assertEqual(replace["kind"], "quickfix")
        self.assertIs(replace["isPreferred"], True)
        self.assertEqual(replace["diagnostics"][0]["code"], "unknown-command")
        self.assertEqual(replace["diagnostics"][0]["range"], at_line(1, 4, 7))
        self.assertEqual(replace["edit"]["changes"],
                         {uri(self.path("t.vs")): [{"range": at_line(1, 4, 7), "newText": "Say"}]})
        # The list's next code after its highest (14), and the call's one argument, on a line
        # of its own at the list's end.
        self.assertNotIn("isPreferred", add)
        self.assertEqual(add["edit"]["changes"],
                         {uri(self.path("command.lst")): [{"range": at_line(6, 0, 0), "newText": "Sya 15 1\n"}]})
        # Made, the replacement clears the error.
        fixed = apply(text, replace["edit"]["changes"][uri(self.path("t.vs"))])
        self.assertEqual(fixed, "OnStart:\n    Say(\"hi\")\n")
        self.client.change(self.path("t.vs"), fixed, 2)
        self.assertEqual(self.client.diagnostics(self.path("t.vs"), version=2), [])

    def test_an_unknown_command_far_from_every_name_can_be_added_with_its_argument_count(self):
        self.open({"t.vs": "OnStart:\n    Teleport(1, \"a\", Self)\n    Jump()\n"}, "t.vs")
        actions = self.actions("t.vs", 1, 2)
        self.assertEqual([a["title"] for a in actions],
                         ["Add 'Teleport' to command.lst", "Add 'Jump' to command.lst"])
        self.assertEqual([a["edit"]["changes"][uri(self.path("command.lst"))][0]["newText"] for a in actions],
                         ["Teleport 15 3\n", "Jump 15 0\n"])

    def test_two_names_equally_close_are_both_offered_and_neither_preferred(self):
        self.open({"t.vs": "OnStart:\n    Sat(1)\n"}, "t.vs")
        actions = self.actions("t.vs", 1)
        self.assertEqual([a["title"] for a in actions],
                         ["Replace 'Sat' with 'Say'", "Replace 'Sat' with 'Set'", "Add 'Sat' to command.lst"])
        self.assertFalse(any(a.get("isPreferred") for a in actions))

    def test_only_the_lines_asked_about_and_names_and_includes_too(self):
        self.write({"sub/x.vs": "    Wait(1)\n"})
        text = "defvar Count 5\ninclude sub/x.vs\nOnStrat:\n    Wait(Cuont)\n"
        self.open({"t.vs": text}, "t.vs")
        self.assertEqual(self.actions("t.vs", 0), [])
        include, = self.actions("t.vs", 1)
        self.assertEqual(include["title"], "Escape the '/' of 'sub/x.vs'")
        self.assertEqual(include["edit"]["changes"][uri(self.path("t.vs"))],
                         [{"range": at_line(1, 8, 16), "newText": "sub\\/x.vs"}])
        event, = self.actions("t.vs", 2)
        self.assertEqual(event["title"], "Replace 'OnStrat' with 'OnStart'")
        name, = self.actions("t.vs", 3)
        self.assertEqual(name["title"], "Replace 'Cuont' with 'Count'")
        every = self.actions("t.vs", 0, 3)
        self.assertEqual(len(every), 3)
        fixed = apply(text, [e for a in every for e in a["edit"]["changes"][uri(self.path("t.vs"))]])
        self.client.change(self.path("t.vs"), fixed, 2)
        self.assertEqual(self.client.diagnostics(self.path("t.vs"), version=2), [])

    def test_columns_are_in_the_clients_units(self):
        # "é" is two bytes and one UTF-16 unit: the argument after it starts one unit earlier
        # than its byte column.
        self.open({"t.vs": "OnStart:\n    Set(\"é\", Cuont)\ndefvar Count 1\n    Set(\"é\", Cuont)\n"}, "t.vs")
        name, = self.actions("t.vs", 3)
        self.assertEqual(name["edit"]["changes"][uri(self.path("t.vs"))][0]["range"], at_line(3, 13, 18))

    def test_a_document_that_is_not_open_has_none(self):
        self.client.initialize(self.root)
        self.assertEqual(self.actions("nowhere.vs", 0), [])


if __name__ == "__main__":
    unittest.main()
