"""Formatting, folding ranges, inlay hints, hover on numbers and constants, and selection
ranges on a small project, with the exact answers an editor gets."""

import json
import os
import subprocess
import unittest

from lsp_client import ServerTest, uri

MAIN = """; the doors
; and their timers
defvar   Count 5
defnum Minus -1
include defs.vs
OnStart:
  Set( Count ,Limit )  ; set it
    Wait(0x10)

; the touch
OnTouch:
\tIf(Count,Equal,  Minus)
    Stop()

7   a place
    Wait( -0 )
"""
DEFS = "defnum Limit 1800\n"


def edit(line, start, end, text):
    return {"range": {"start": {"line": line, "character": start}, "end": {"line": line, "character": end}},
            "newText": text}


def span(start_line, start, end_line, end):
    return {"start": {"line": start_line, "character": start}, "end": {"line": end_line, "character": end}}


def hint(line, character, label):
    return {"position": {"line": line, "character": character}, "label": label, "paddingLeft": True}


def apply(text, edits):
    """Applies line-wise edits (each within one line, ASCII text) as a client does."""
    lines = text.split("\n")
    for e in sorted(edits, key=lambda e: (e["range"]["start"]["line"], e["range"]["start"]["character"]),
                    reverse=True):
        start, end = e["range"]["start"], e["range"]["end"]
        assert start["line"] == end["line"], e
        line = lines[start["line"]]
        lines[start["line"]] = line[:start["character"]] + e["newText"] + line[end["character"]:]
    return "\n".join(lines)


def chain(selection):
    """The ranges of a selection range, innermost first."""
    out = []
    while selection:
        out.append(selection["range"])
        selection = selection.get("parent")
    return out


class Editing(ServerTest):
    def setUp(self):
        super().setUp()
        self.write({"main.vs": MAIN, "defs.vs": DEFS})
        self.client.initialize(self.root)
        self.main = self.path("main.vs")
        self.client.open(self.main)
        # The script compiles cleanly; its misread numbers and its place text are there on purpose,
        # so only the warnings about them are shown.
        found = self.client.diagnostics(self.main)
        self.assertEqual([d for d in found if d["severity"] != 2], [])
        self.assertEqual(sorted(d["code"] for d in found),
                         ["constant-wraps", "ignored-text", "number-suffix"])

    def doc(self, path=None):
        return {"textDocument": {"uri": uri(path or self.main)}}

    def format(self, tab_size, insert_spaces, **extra):
        params = dict(self.doc(), options={"tabSize": tab_size, "insertSpaces": insert_spaces}, **extra)
        method = "textDocument/rangeFormatting" if "range" in extra else "textDocument/formatting"
        return self.client.request(method, params)

    def test_initialize_offers_the_editing_features(self):
        client = self.client.__class__()
        try:
            capabilities = client.initialize(self.root)["capabilities"]
            for key in ("documentFormattingProvider", "documentRangeFormattingProvider", "foldingRangeProvider",
                        "inlayHintProvider", "selectionRangeProvider"):
                self.assertIs(capabilities.get(key), True, key)
            self.assertEqual(client.shutdown(), 0)
        finally:
            client.close()

    def test_formatting_gives_vorn_fmts_layout_line_by_line(self):
        edits = self.format(4, True)
        self.assertEqual(edits, [
            edit(2, 0, 16, "defvar Count 5"),
            # The code keeps its length, and so the comment keeps the blanks before it.
            edit(6, 0, 31, "    Set(Count, Limit)  ; set it"),
            edit(11, 0, 24, "    If(Count, Equal, Minus)"),
            edit(14, 0, 11, "7 a place"),
            edit(15, 0, 14, "    Wait(-0)"),
        ])

    def test_formatting_gives_the_text_vorn_fmt_writes_whatever_the_tab_settings(self):
        fmt = os.environ.get("VORN_FMT")
        if not fmt:
            self.skipTest("VORN_FMT is not set")
        written = subprocess.run([fmt, "-"], input=MAIN.encode(), capture_output=True, check=True).stdout.decode()
        for options in ((4, True), (2, False), (3, True), (8, False)):
            self.assertEqual(apply(MAIN, self.format(*options)), written, options)
        # What formatting gives, formatting leaves alone, whatever the editor asks.
        self.client.change(self.main, written, 2)
        self.client.diagnostics(self.main, version=2)
        self.assertEqual(self.format(2, False), [])

    def test_range_formatting_changes_only_the_lines_it_touches(self):
        touched = self.format(2, True, range=span(6, 3, 7, 2))
        self.assertEqual(touched, [edit(6, 0, 31, "    Set(Count, Limit)  ; set it")])
        # A range that ends at the start of a line does not touch that line.
        self.assertEqual(self.format(4, True, range=span(10, 0, 12, 0)), [edit(11, 0, 24, "    If(Count, Equal, Minus)")])
        self.assertEqual(self.format(4, True, range=span(12, 0, 13, 0)), [])

    def test_formatting_keeps_crlf_and_counts_utf16_units(self):
        other = self.path("other.vs")
        text = 'OnTouch:\r\n\tSay( "\u00e9" ) ; \u00e9\r\n  Set(Self,   0x10)\r\n'
        self.write({"other.vs": text})
        self.client.open(other)
        self.assertEqual([d["code"] for d in self.client.diagnostics(other)], ["number-suffix"])
        params = {"textDocument": {"uri": uri(other)}, "options": {"tabSize": 4, "insertSpaces": True}}
        edits = self.client.request("textDocument/formatting", params)
        # "é" is one UTF-16 unit and two bytes; the line end's CR is never part of an edit.
        self.assertEqual(edits, [edit(1, 0, 15, '    Say("\u00e9") ; \u00e9'), edit(2, 0, 19, "    Set(Self, 0x10)")])
        self.assertEqual(apply(text, edits), 'OnTouch:\r\n    Say("\u00e9") ; \u00e9\r\n    Set(Self, 0x10)\r\n')
        hints = self.client.request("textDocument/inlayHint", {"textDocument": {"uri": uri(other)},
                                                                "range": span(0, 0, 3, 0)})
        self.assertEqual(hints, [hint(2, 10, "= var 0x8000"), hint(2, 18, "= 0")])
        # A document that is not open has nothing to format.
        params["textDocument"]["uri"] = uri(self.path("defs.vs"))
        self.assertEqual(self.client.request("textDocument/formatting", params), [])

    def test_formatting_leaves_lines_with_stray_bytes_and_escapes_control_bytes(self):
        stray = self.path("stray.vs")
        data = b"OnTouch:\n  Say(1)  ; \xff\n  Say(2)  ; \x01 mark\n"
        self.write({"stray.vs": data})
        # The bytes passed on raw, as an editor that does not decode the file would.
        head = json.dumps({"jsonrpc": "2.0", "method": "textDocument/didOpen", "params": {
            "textDocument": {"uri": uri(stray), "languageId": "vorn", "version": 1, "text": "@@"}}}).encode()
        body = head.replace(b"@@", json.dumps(data.decode("latin-1"), ensure_ascii=False).encode("latin-1")[1:-1])
        self.client.send_raw(b"Content-Length: %d\r\n\r\n" % len(body) + body)
        self.client.diagnostics(stray)
        edits = self.client.request("textDocument/formatting", {"textDocument": {"uri": uri(stray)},
                                                                 "options": {"tabSize": 4, "insertSpaces": True}})
        self.assertEqual(edits, [edit(2, 0, 18, "    Say(2) ; \x01 mark")])

    def test_folding_ranges_are_label_blocks_and_comment_runs(self):
        ranges = self.client.request("textDocument/foldingRange", self.doc())
        self.assertEqual(ranges, [
            {"startLine": 0, "endLine": 1, "kind": "comment"},
            # The blank line and the comment before OnTouch: stay outside OnStart's block.
            {"startLine": 5, "endLine": 7},
            {"startLine": 10, "endLine": 12},
            {"startLine": 14, "endLine": 15},
        ])

    def test_inlay_hints_say_what_names_and_misread_numbers_stand_for(self):
        hints = self.client.request("textDocument/inlayHint", dict(self.doc(), range=span(0, 0, 16, 0)))
        self.assertEqual(hints, [
            hint(6, 12, "= var 5"),
            hint(6, 19, "= 1800"),
            hint(7, 13, "= 0"),
            hint(11, 9, "= var 5"),
            hint(11, 15, "= condition 0"),
            hint(11, 23, "= 65535"),
            hint(15, 12, "= 0"),
        ])
        # Only the lines of the range.
        some = self.client.request("textDocument/inlayHint", dict(self.doc(), range=span(7, 4, 8, 0)))
        self.assertEqual(some, [hint(7, 13, "= 0")])

    def test_hover_on_a_number_shows_what_it_is_read_as_and_its_encoding(self):
        misread = self.client.at("textDocument/hover", self.main, 7, 10)
        self.assertEqual(misread["contents"]["value"].split("\n\n")[0],
                         "`0x10`: read as 0 (the leading decimal digits), encoded as ArgInt8 (tag 0), 8-bit: `00 00`")
        self.assertEqual(misread["range"], span(7, 9, 7, 13))
        self.assertIn("Code offset 7 (0x0007), 3 bytes: `00 00 00`", misread["contents"]["value"])

    def test_hover_on_a_constant_shows_its_stored_value_and_encoding(self):
        use = self.client.at("textDocument/hover", self.main, 6, 16)["contents"]["value"]
        self.assertIn("`Limit`: constant 1800 (16 bits: 1800), defined in defs.vs line 1\n\n"
                      "Stored as 1800 (0x0708); an argument naming it is encoded as ArgInt16 (tag 1), 16-bit: "
                      "`01 08 07`", use)
        # At its definition, in the included file and in the document itself.
        defs = self.path("defs.vs")
        self.client.open(defs)
        self.client.diagnostics(defs)
        there = self.client.at("textDocument/hover", defs, 0, 9)["contents"]["value"]
        self.assertIn("Stored as 1800 (0x0708)", there)
        minus = self.client.at("textDocument/hover", self.main, 3, 8)["contents"]["value"]
        self.assertEqual(minus, "`Minus`: constant -1 (16 bits: 65535), defined in main.vs line 4\n\n"
                                "Stored as 65535 (0xFFFF); an argument naming it is encoded as ArgInt32 (tag 2), "
                                "32-bit: `02 FF FF 00 00`")

    def test_selection_range_grows_from_an_argument_to_the_document(self):
        ranges = self.client.request("textDocument/selectionRange", dict(self.doc(), positions=[
            {"line": 11, "character": 12}, {"line": 12, "character": 5}, {"line": 8, "character": 0}]))
        document = span(0, 0, 16, 0)
        self.assertEqual(chain(ranges[0]), [
            span(11, 10, 11, 15),  # Equal
            span(11, 4, 11, 23),   # Count,Equal,  Minus
            span(11, 1, 11, 24),   # the statement
            span(10, 0, 12, 10),   # OnTouch's block
            document,
        ])
        self.assertEqual(chain(ranges[1]), [span(12, 4, 12, 8), span(12, 4, 12, 10), span(10, 0, 12, 10), document])
        self.assertEqual(chain(ranges[2]), [document])  # a blank line outside every block


if __name__ == "__main__":
    unittest.main()
