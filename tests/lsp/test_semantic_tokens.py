"""Semantic tokens on a small project: each word of a script as its compile read it, decoded
from the protocol's relative encoding into (line, character, length, type, modifiers)."""

import unittest

from lsp_client import ServerTest, uri

MAIN = """defvar Count 5   ; the count
include lib\\/defs.vs
OnStart: extra
    Say("hi; there")
    If(&1, Equal, Limit)
    Set(Self, Count) junk
    Wait junk(Hour)
    Jump(Nope, 12)
7   a place
Nowhere:
Go away
/ a comment
    (9)
    Wait(Later)
defnum Later 9
include lib\\/use.vs
"""
DEFS = "defnum Limit 1800\ndefvar Hour 2\n"
# A shared file: Count is defined by the script that includes it.
USE = "    Wait(Count)\n    Wait(Limit)\n"
WIDE = '    If("\u00e9\U0001F600", Equal, Count) ; \u00fc\n'
UTF8 = {"general": {"positionEncodings": ["utf-8", "utf-16"]}}

DECLARATION = {"declaration"}
IGNORED = {"ignored"}


class SemanticTokens(ServerTest):
    capabilities = {}

    def setUp(self):
        super().setUp()
        self.write({"main.vs": MAIN, "lib/defs.vs": DEFS, "lib/use.vs": USE, "wide.vs": WIDE})
        result = self.client.initialize(self.root, self.capabilities)
        provider = result["capabilities"]["semanticTokensProvider"]
        self.types = provider["legend"]["tokenTypes"]
        self.modifiers = provider["legend"]["tokenModifiers"]
        self.assertEqual(provider["full"], True)
        self.assertEqual(provider["range"], True)

    def open(self, name):
        path = self.path(name)
        self.client.open(path)
        self.client.diagnostics(path)
        return path

    def decode(self, data):
        """The tokens as (line, character, length, type, modifiers), checking the encoding."""
        self.assertEqual(len(data) % 5, 0)
        tokens, line, start = [], 0, 0
        for i in range(0, len(data), 5):
            delta_line, delta_start, length, kind, bits = data[i:i + 5]
            line += delta_line
            start = start + delta_start if delta_line == 0 else delta_start
            names = {name for bit, name in enumerate(self.modifiers) if bits & (1 << bit)}
            self.assertEqual(bits >> len(self.modifiers), 0, "a modifier outside the legend")
            tokens.append((line, start, length, self.types[kind], names))
        return tokens

    def full(self, path):
        return self.decode(self.client.request("textDocument/semanticTokens/full",
                                               {"textDocument": {"uri": uri(path)}})["data"])

    def range(self, path, start, end):
        return self.decode(self.client.request("textDocument/semanticTokens/range", {
            "textDocument": {"uri": uri(path)},
            "range": {"start": {"line": start[0], "character": start[1]},
                      "end": {"line": end[0], "character": end[1]}}})["data"])


class Project(SemanticTokens):
    def test_legend_names_standard_types_and_the_modifiers(self):
        for kind in ("function", "variable", "enumMember", "keyword", "event", "label", "string", "number",
                     "parameter", "namespace", "comment"):
            self.assertIn(kind, self.types)
        self.assertEqual(self.modifiers, ["declaration", "defaultLibrary", "unknown", "ignored"])

    def test_every_word_of_a_script_as_its_compile_read_it(self):
        tokens = self.full(self.open("main.vs"))
        self.assertEqual(tokens, [
            (0, 0, 6, "macro", set()), (0, 7, 5, "variable", DECLARATION), (0, 13, 1, "number", set()),
            (0, 17, 11, "comment", set()),
            (1, 0, 7, "macro", set()), (1, 8, 12, "namespace", set()),
            (2, 0, 7, "event", DECLARATION), (2, 9, 5, "comment", IGNORED),
            # A ';' inside a string starts no comment.
            (3, 4, 3, "function", set()), (3, 8, 11, "string", set()),
            (4, 4, 2, "function", set()), (4, 7, 2, "parameter", set()), (4, 11, 5, "keyword", set()),
            (4, 18, 5, "enumMember", set()),
            (5, 4, 3, "function", set()), (5, 8, 4, "variable", {"defaultLibrary"}),
            (5, 14, 5, "variable", set()), (5, 21, 4, "comment", IGNORED),
            # The text between a command word and '(' is not read.
            (6, 4, 4, "function", set()), (6, 9, 4, "comment", IGNORED), (6, 14, 4, "variable", set()),
            # A command not in command.lst; the statement is skipped, so Nope means nothing.
            (7, 4, 4, "function", {"unknown"}), (7, 15, 2, "number", set()),
            (8, 0, 1, "label", DECLARATION), (8, 4, 7, "comment", IGNORED),
            (9, 0, 7, "event", {"declaration", "unknown"}),
            (10, 0, 2, "macro", {"unknown"}), (10, 3, 4, "comment", IGNORED),
            (11, 0, 11, "comment", set()),
            # A statement without a command word is not compiled.
            (12, 4, 3, "comment", IGNORED),
            # Later is defined only after the line that uses it: there it is unknown.
            (13, 4, 4, "function", set()),
            (14, 0, 6, "macro", set()), (14, 7, 5, "enumMember", DECLARATION), (14, 13, 1, "number", set()),
            (15, 0, 7, "macro", set()), (15, 8, 11, "namespace", set()),
        ])

    def test_a_shared_file_sees_the_names_of_its_includer(self):
        self.open("main.vs")
        tokens = self.full(self.open("lib/use.vs"))
        self.assertEqual(tokens, [
            (0, 4, 4, "function", set()), (0, 9, 5, "variable", set()),
            (1, 4, 4, "function", set()), (1, 9, 5, "enumMember", set()),
        ])

    def test_range_gives_the_tokens_that_touch_it_from_the_first_line(self):
        path = self.open("main.vs")
        # From inside "Equal" on line 4 to inside "Self" on line 5.
        self.assertEqual(self.range(path, (4, 12), (5, 9)), [
            (4, 11, 5, "keyword", set()), (4, 18, 5, "enumMember", set()),
            (5, 4, 3, "function", set()), (5, 8, 4, "variable", {"defaultLibrary"}),
        ])
        # A range past the end of the text has nothing.
        self.assertEqual(self.range(path, (40, 0), (50, 0)), [])

    def test_follows_an_edit(self):
        path = self.open("main.vs")
        self.client.change(path, "    Wait(Count)\ndefvar Count 1\n", 2)
        self.client.diagnostics(path, version=2)
        self.assertEqual(self.full(path), [
            (0, 4, 4, "function", set()),
            (1, 0, 6, "macro", set()), (1, 7, 5, "variable", DECLARATION), (1, 13, 1, "number", set()),
        ])

    def test_a_long_line_is_read_in_pieces_of_299_bytes(self):
        path = self.open("main.vs")
        # The second piece starts with blanks: a statement of its own.
        first = "    Wait(1)".ljust(299)
        self.client.change(path, first + "    Stop() ; done\n", 2)
        self.client.diagnostics(path, version=2)
        self.assertEqual(self.full(path), [
            (0, 4, 4, "function", set()), (0, 9, 1, "number", set()),
            (0, 303, 4, "function", set()), (0, 310, 6, "comment", set()),
        ])

    def test_nothing_is_read_after_an_end_of_file_mark(self):
        path = self.open("main.vs")
        self.client.change(path, "    Wait(1)\x1a junk\nOnStart:\n", 2)
        self.client.diagnostics(path, version=2)
        self.assertEqual(self.full(path), [
            (0, 4, 4, "function", set()), (0, 9, 1, "number", set()), (0, 11, 6, "comment", IGNORED),
            (1, 0, 8, "comment", IGNORED),
        ])

    def test_no_tokens_for_a_list_or_a_document_that_is_not_open(self):
        lst = self.path("command.lst")
        self.client.open(lst)
        self.assertEqual(self.full(lst), [])
        self.assertEqual(self.full(self.path("lib/defs.vs")), [])


class Refresh(SemanticTokens):
    capabilities = {"workspace": {"semanticTokens": {"refreshSupport": True}}}

    def refreshes(self):
        self.client.drain()
        found = [r for r in self.client.requests if r["method"] == "workspace/semanticTokens/refresh"]
        self.client.requests.clear()
        return found

    def test_a_change_to_one_file_asks_the_client_for_the_tokens_of_the_others(self):
        main, use = self.open("main.vs"), self.open("lib/use.vs")
        self.refreshes()
        self.assertEqual(self.full(use)[3][3:], ("enumMember", set()))
        # Limit now comes from main.vs itself, as a variable.
        self.client.change(main, "defvar Count 1\ndefvar Limit 2\ninclude lib\\/use.vs\n", 2)
        self.client.diagnostics(main, version=2)
        self.assertEqual(len(self.refreshes()), 1)
        self.assertEqual(self.full(use)[3][3:], ("variable", set()))

    def test_no_refresh_with_one_document_open(self):
        main = self.open("main.vs")
        self.client.change(main, "defvar Count 1\n", 2)
        self.client.diagnostics(main, version=2)
        self.assertEqual(self.refreshes(), [])


class NoRefresh(SemanticTokens):
    def test_no_refresh_for_a_client_that_does_not_take_it(self):
        main, use = self.open("main.vs"), self.open("lib/use.vs")
        self.client.change(main, "defvar Count 1\n", 2)
        self.client.diagnostics(main, version=2)
        self.client.drain()
        self.assertEqual([r for r in self.client.requests if r["method"] == "workspace/semanticTokens/refresh"], [])


class Utf16Columns(SemanticTokens):
    def test_characters_count_utf16_code_units(self):
        path = self.open("wide.vs")
        self.client.change(path, "defvar Count 1\n" + WIDE, 2)
        self.client.diagnostics(path, version=2)
        tokens = [t for t in self.full(path) if t[0] == 1]
        # é is one code unit and the emoji two: the string "é😀" is five.
        self.assertEqual(tokens, [
            (1, 4, 2, "function", set()), (1, 7, 5, "string", set()), (1, 14, 5, "keyword", set()),
            (1, 21, 5, "variable", set()), (1, 28, 3, "comment", set()),
        ])


class Utf8Columns(SemanticTokens):
    capabilities = UTF8

    def test_characters_count_bytes_when_utf8_is_negotiated(self):
        path = self.open("wide.vs")
        self.client.change(path, "defvar Count 1\n" + WIDE, 2)
        self.client.diagnostics(path, version=2)
        tokens = [t for t in self.full(path) if t[0] == 1]
        # é is two bytes and the emoji four: the string is eight, the comment "; ü" four.
        self.assertEqual(tokens, [
            (1, 4, 2, "function", set()), (1, 7, 8, "string", set()), (1, 17, 5, "keyword", set()),
            (1, 24, 5, "variable", set()), (1, 31, 4, "comment", set()),
        ])
        # A range in bytes: from the middle of the string (a byte inside é) to the keyword.
        self.assertEqual(self.range(path, (1, 9), (1, 18)), [
            (1, 7, 8, "string", set()), (1, 17, 5, "keyword", set()),
        ])


if __name__ == "__main__":
    unittest.main()
