"""Positions on lines with non-ASCII text: UTF-16 code units by default, UTF-8 bytes when the
client offers them, and bytes that are not UTF-8 counted as one character each."""

import json
import unittest

from lsp_client import ServerTest, uri

# "é" is 2 bytes and 1 UTF-16 unit, "😀" 4 bytes and 2 units.
MAIN = 'defvar Count 1\nOnStart:\n    If("é😀", Equal, Count) ; ü\n    If("é😀", Equal, Nope)\n'
# Count starts at byte 24, UTF-16 unit 21; Nope too.
UTF8 = {"general": {"positionEncodings": ["utf-16", "utf-8"]}}


def span(range_):
    return (range_["start"]["line"], range_["start"]["character"], range_["end"]["character"])


class Utf16(ServerTest):
    capabilities = {}
    expected_encoding = "utf-16"
    count_at = 21

    def setUp(self):
        super().setUp()
        self.write({"main.vs": MAIN})
        result = self.client.initialize(self.root, self.capabilities)
        self.assertEqual(result["capabilities"]["positionEncoding"], self.expected_encoding)
        self.main = self.path("main.vs")
        self.client.open(self.main)

    def test_diagnostic_hover_and_definition_positions(self):
        at = self.count_at
        found = self.client.diagnostics(self.main)
        self.assertEqual([span(d["range"]) for d in found], [(3, at, at + 4)])
        hover = self.client.at("textDocument/hover", self.main, 2, at + 2)
        self.assertIn("`Count`: variable 1", hover["contents"]["value"])
        self.assertEqual(span(hover["range"]), (2, at, at + 5))
        definition = self.client.at("textDocument/definition", self.main, 3, at + 1)
        self.assertIsNone(definition)  # Nope has none
        definition = self.client.at("textDocument/definition", self.main, 2, at)
        self.assertEqual(span(definition["range"]), (0, 7, 12))

    def test_completion_range_after_non_ascii_text(self):
        self.client.change(self.main, MAIN + '    Say("😀😀", Co\n', 2)
        # 4 + 4 + 1 + 4 + 1 + 2 units before "Co".
        items = self.client.at("textDocument/completion", self.main, 4, 18)["items"]
        count = [i for i in items if i["label"] == "Count"][0]
        self.assertEqual(count["textEdit"]["range"]["start"]["character"], 16)
        # A position inside the surrogate pair of an emoji goes to its start: the string.
        self.assertEqual(self.client.at("textDocument/completion", self.main, 4, 10)["items"], [])


class Utf8(Utf16):
    capabilities = UTF8
    expected_encoding = "utf-8"
    count_at = 24

    def test_completion_range_after_non_ascii_text(self):
        self.client.change(self.main, MAIN + '    Say("😀😀", Co\n', 2)
        # 4 + 4 + 1 + 8 + 1 + 2 bytes before "Co".
        items = self.client.at("textDocument/completion", self.main, 4, 22)["items"]
        count = [i for i in items if i["label"] == "Count"][0]
        self.assertEqual(count["textEdit"]["range"]["start"]["character"], 20)


class BytesThatAreNotUtf8(ServerTest):
    # Latin-1 "é" (one byte, E9) and UTF-8 "é": Nope stands at byte 21, UTF-16 unit 20.
    LINE = b'    If("\xe9\xc3\xa9", Equal, Nope)\n'

    def test_file_on_disk_with_stray_bytes(self):
        self.write({"lib.vs": self.LINE, "main.vs": "include lib.vs\n"})
        self.client.initialize(self.root)
        self.client.open(self.path("main.vs"))
        found = self.client.diagnostics(self.path("lib.vs"))
        self.assertEqual([span(d["range"]) for d in found], [(0, 20, 24)])

    def test_document_text_with_raw_stray_bytes_in_the_message(self):
        # An editor may pass a Latin-1 buffer's bytes on as they are: the JSON is not UTF-8.
        self.client.initialize(self.root)
        main = self.path("main.vs")
        head = json.dumps({"jsonrpc": "2.0", "method": "textDocument/didOpen", "params": {
            "textDocument": {"uri": uri(main), "languageId": "vorn", "version": 1, "text": "@@"}}})
        text = b"OnStart:\\n" + self.LINE.rstrip(b"\n") + b" ; \xff\xfe\\n"
        body = head.encode().replace(b"@@", text.replace(b'"', b'\\"'))
        self.client.send_raw(b"Content-Length: %d\r\n\r\n" % len(body) + body)
        found = self.client.diagnostics(main)
        self.assertEqual([(d["code"], span(d["range"])) for d in found], [("unknown-argument", (1, 20, 24))])
        hover = self.client.at("textDocument/hover", main, 1, 5)
        # Say is not in it; If is command 3, and its code holds E9 C3 A9 as three bytes.
        self.assertIn("command 3", hover["contents"]["value"])
        self.assertIn("03 03 03 E9 C3 A9", hover["contents"]["value"])


if __name__ == "__main__":
    unittest.main()
