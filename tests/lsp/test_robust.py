"""Bad input of every kind gets the protocol's error answer or an empty result, never a crash
or a hang; the server ends cleanly; memory stays flat while a user types."""

import json
import os
import random
import time
import unittest

from lsp_client import Client, ServerTest, uri

PARSE_ERROR, INVALID_REQUEST, METHOD_NOT_FOUND, INVALID_PARAMS, NOT_INITIALIZED = \
    -32700, -32600, -32601, -32602, -32002


def peak_memory_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    raise AssertionError("no VmHWM")


class Framing(ServerTest):
    def error_code(self):
        message = self.client.read_message()
        self.assertIn("error", message, message)
        return message["id"], message["error"]["code"]

    def test_malformed_messages_get_errors_and_the_server_goes_on(self):
        self.client.initialize(self.root)
        def framed(body):
            return b"Content-Length: %d\r\n\r\n" % len(body) + body

        cases = [
            b"Hello there\r\n\r\n",                  # no Content-Length
            b"Content-Length: abc\r\n\r\n",          # not a number
            b"Content-Length: -5\r\n\r\n",
            framed(b'{"jsonrp'),                      # not JSON
            framed(b"[]"),                            # not an object
            framed(b'{"jsonrpc":"2.0","id":[1,2]}'),  # a bad id
            framed(b"\xff\xfe\x00\x01"),              # binary
        ]
        expected = [PARSE_ERROR, PARSE_ERROR, PARSE_ERROR, PARSE_ERROR, INVALID_REQUEST,
                    INVALID_REQUEST, PARSE_ERROR]
        for raw, code in zip(cases, expected):
            self.client.send_raw(raw)
            self.assertEqual(self.error_code(), (None, code), raw)
        # Still serving.
        self.assertEqual(self.client.request("textDocument/hover", {
            "textDocument": {"uri": uri(self.path("x.vs"))}, "position": {"line": 0, "character": 0}}), None)

    def test_after_a_bad_frame_every_later_message_is_answered(self):
        self.client.initialize(self.root)

        def request(ident):
            body = json.dumps({"jsonrpc": "2.0", "id": ident, "method": "shutdown" if ident < 0 else
                               "textDocument/hover", "params": {
                                   "textDocument": {"uri": uri(self.path("x.vs"))},
                                   "position": {"line": 0, "character": 0}}}).encode()
            return body

        def framed(body, length=None):
            return b"Content-Length: %d\r\n\r\n" % (len(body) if length is None else length) + body

        body = request(999)
        bad_frames = {
            "plus sign": b"Content-Length: +2\r\n\r\n" + body,
            "line without colon": b"Content-Length: %d\r\nNo colon here\r\n\r\n" % len(body) + body,
            "length too short": framed(body, len(body) - 9),
            "length too long": framed(body, len(body) + 25),
        }
        ident = 100
        for name, bad in bad_frames.items():
            ident += 10
            later = [ident + k for k in range(4)]
            self.client.send_raw(bad + b"".join(framed(request(k)) for k in later))
            # Where the declared length runs past the body, the message it swallows may be lost.
            needed = set(later[1:] if name == "length too long" else later)
            answered, parse_errors = set(), 0
            while not needed <= answered:
                message = self.client.read_message()
                if message.get("id") is None and "error" in message:
                    self.assertEqual(message["error"]["code"], PARSE_ERROR, name)
                    parse_errors += 1
                elif "id" in message and "method" not in message:
                    self.assertNotIn("error", message, name)
                    answered.add(message["id"])
            self.assertNotIn(999, answered, name)
            self.assertEqual(parse_errors, 1, name)

    def test_unknown_methods_requests_for_closed_documents_and_bad_params(self):
        before = self.client.response(self.client.request_async("textDocument/hover", {}))
        self.assertEqual(before["error"]["code"], NOT_INITIALIZED)
        self.client.initialize(self.root)
        unknown = self.client.response(self.client.request_async("vorn/nothing", {}))
        self.assertEqual(unknown["error"]["code"], METHOD_NOT_FOUND)
        self.client.notify("vorn/alsoNothing", {"x": 1})  # a notification gets no answer
        closed = {"textDocument": {"uri": uri(self.path("closed.vs"))}, "position": {"line": 3, "character": 1}}
        self.assertIsNone(self.client.request("textDocument/hover", closed))
        self.assertIsNone(self.client.request("textDocument/definition", closed))
        self.assertIsNone(self.client.request("textDocument/signatureHelp", closed))
        self.assertEqual(self.client.request("textDocument/completion", closed)["items"], [])
        self.assertEqual(self.client.request("textDocument/documentSymbol", closed), [])
        for params in [{}, {"textDocument": 5}, {"textDocument": {"uri": uri(self.path("a.vs"))},
                                                 "position": {"line": -1, "character": 0}}, [1, 2]]:
            reply = self.client.response(self.client.request_async("textDocument/hover", params))
            self.assertEqual(reply["error"]["code"], INVALID_PARAMS, params)
        # Notifications with bad params are dropped without a word.
        self.client.notify("textDocument/didOpen", {"textDocument": {"uri": 7}})
        self.client.notify("textDocument/didChange", {"textDocument": {"uri": uri(self.path("n.vs"))},
                                                      "contentChanges": "x"})
        # Positions far past the text are clamped.
        main = self.path("main.vs")
        self.client.open(main, "    Say(1)\n")
        self.client.diagnostics(main)
        self.assertIsNone(self.client.at("textDocument/hover", main, 4000000000, 4000000000))
        self.assertIsNone(self.client.at("textDocument/hover", main, 0, 4000000000))
        self.assertEqual(self.client.at("textDocument/completion", main, 0, 4000000000)["items"], [])

    def test_requests_after_shutdown_are_refused_and_exit_ends_with_0(self):
        self.client.initialize(self.root)
        self.client.request("shutdown")
        reply = self.client.response(self.client.request_async("textDocument/hover", {}))
        self.assertEqual(reply["error"]["code"], INVALID_REQUEST)
        self.client.notify("exit")
        self.assertEqual(self.client.proc.wait(timeout=5), 0)


class Inputs(ServerTest):
    """Only open documents and regular files are compiled: an include of anything else is a
    diagnostic on its line, and nothing is read from it."""

    def test_includes_of_what_is_not_a_regular_file(self):
        fifo = self.path("pipe.vs")
        os.mkfifo(fifo)
        os.mkdir(self.path("folder.vs"))
        with open(self.path("big.vs"), "wb") as f:
            f.truncate((64 << 20) + 1)
        names = ["pipe.vs", "/dev/zero", "/dev/stdin", "/proc/self/fd/0", "folder.vs", "big.vs"]
        self.client.initialize(self.root)
        main = self.path("main.vs")
        started = time.monotonic()
        # A "/" on a line starts a comment unless it is escaped.
        self.client.open(main, "".join("include %s\n" % name.replace("/", "\\/") for name in names) + "defvar ok 1\n")
        diagnostics = self.client.diagnostics(main)
        self.assertLess(time.monotonic() - started, 5)
        by_line = {d["range"]["start"]["line"]: d["message"] for d in diagnostics}
        for line, name in enumerate(names):
            self.assertIn(line, by_line, name)
            expected = "larger than 64 MiB" if name == "big.vs" else "not a regular file"
            self.assertIn(expected, by_line[line], name)
        # The protocol input was not read as a script: the server still answers, and
        # shutdown and exit (in tearDown) end it.
        self.assertIsNone(self.client.at("textDocument/hover", main, 6, 0))
        self.assertLess(peak_memory_kib(self.client.proc.pid), 300 * 1024)


class Walks(ServerTest):
    def test_include_completion_walks_each_folder_once_through_symbolic_links(self):
        self.write({"a.vs": "defvar x 1\n", "sub/b.vs": "defvar y 1\n"})
        os.symlink(".", self.path("l0"))
        os.symlink("..", self.path("sub/up"))
        self.client.initialize(self.root)
        main = self.path("main.vs")
        self.client.open(main, "include \n")
        self.client.diagnostics(main)
        started = time.monotonic()
        items = self.client.at("textDocument/completion", main, 0, 8)["items"]
        self.assertLess(time.monotonic() - started, 2)
        self.assertEqual(sorted(i["label"] for i in items), ["a.vs", "sub/b.vs"])


class Endings(unittest.TestCase):
    def run_client(self, data):
        client = Client()
        try:
            client.send_raw(data)
            client.proc.stdin.close()
            return client.proc.wait(timeout=10)
        finally:
            client.close()

    def test_input_closing_ends_the_server(self):
        self.assertEqual(self.run_client(b""), 0)
        # In the middle of a header, and of a body.
        self.assertEqual(self.run_client(b"Content-Length: 40\r\n"), 0)
        self.assertEqual(self.run_client(b"Content-Length: 400\r\n\r\n{\"jsonrpc\""), 0)
        # A body announced far over the limit is skipped, not kept.
        self.assertEqual(self.run_client(b"Content-Length: 999999999999\r\n\r\n" + b" " * 100000), 0)

    def test_exit_without_shutdown_ends_with_1(self):
        body = json.dumps({"jsonrpc": "2.0", "method": "exit"}).encode()
        self.assertEqual(self.run_client(b"Content-Length: %d\r\n\r\n" % len(body) + body), 1)


class BigAndBinary(ServerTest):
    def test_ten_megabyte_document(self):
        self.client.initialize(self.root)
        main = self.path("big.vs")
        line = "    Say(\"a fairly long line of text to fill the document\")\n"
        text = "OnStart:\n" + line * (10 * 1024 * 1024 // len(line)) + "    Jump()\n"
        self.client.open(main, text)
        started = time.monotonic()
        found = self.client.diagnostics(main, timeout=60)
        # The code area fills up long before the end, and that ends the check.
        self.assertEqual([d["code"] for d in found], ["code-too-big"])
        self.assertLess(time.monotonic() - started, 30)
        hover = self.client.at("textDocument/hover", main, 1, 5)
        self.assertIn("Code offset 0", hover["contents"]["value"])

    def test_ten_megabyte_line_of_errors(self):
        self.client.initialize(self.root)
        main = self.path("line.vs")
        # One line of 10 MB is read in pieces of 299 bytes, each a line of its own.
        text = "OnStart:\n" + "é x " * (10 * 1024 * 1024 // 5) + "\n"
        self.client.open(main, text)
        found = self.client.diagnostics(main, timeout=60)
        self.assertEqual(len(found), 1000)  # at most 1000 a file
        self.assertEqual({d["range"]["start"]["line"] for d in found}, {1})
        self.assertEqual(self.client.at("textDocument/completion", main, 1, 3000000)["items"], [])

    def test_binary_file(self):
        rng = random.Random(7)
        data = bytes(rng.randrange(256) for _ in range(300000))
        self.write({"bin.vs": data, "main.vs": "include bin.vs\n    Say(1)\n"})
        self.client.initialize(self.root)
        main = self.path("main.vs")
        self.client.open(main)
        # The errors stand in the binary file, at most the cap of them.
        found = self.client.diagnostics(self.path("bin.vs"))
        self.assertTrue(1 <= len(found) <= 1000, len(found))
        # The binary file opened as a document, its bytes passed on raw.
        head = json.dumps({"jsonrpc": "2.0", "method": "textDocument/didOpen", "params": {
            "textDocument": {"uri": uri(self.path("bin.vs")), "languageId": "vorn", "version": 1,
                             "text": "@@"}}}).encode()
        escaped = json.dumps(data.decode("latin-1"), ensure_ascii=False).encode("latin-1")[1:-1]
        body = head.replace(b"@@", escaped)
        self.client.send_raw(b"Content-Length: %d\r\n\r\n" % len(body) + body)
        self.client.diagnostics(self.path("bin.vs"))
        symbols = self.client.request("textDocument/documentSymbol",
                                      {"textDocument": {"uri": uri(self.path("bin.vs"))}})
        self.assertIsInstance(symbols, list)
        for line in range(0, 2000, 97):
            self.client.at("textDocument/hover", self.path("bin.vs"), line, 3)
            self.client.at("textDocument/completion", self.path("bin.vs"), line, 5)


class Typing(ServerTest):
    def test_peak_memory_flat_over_10000_changes(self):
        # Fifty definitions, each of its own name: a name defined again would be warned about.
        self.write({"lib.vs": "defvar Count 1\n" + "".join("defvar Other%d %d\n" % (i, i + 2) for i in range(49))})
        self.client.initialize(self.root)
        main = self.path("main.vs")
        body = "include lib.vs\nOnStart:\n" + "    If(Count, Equal, 3)\n    Say(\"x\")\n" * 150
        self.client.open(main, body)
        self.client.diagnostics(main)
        peaks = {}
        for version in range(2, 10002):
            # Every change is different, and every tenth has an error.
            extra = "    Jump(%d)\n" % version if version % 10 == 0 else "    Wait(%d)\n" % version
            self.client.change(main, body + extra, version)
            found = self.client.diagnostics(main, version=version)
            self.assertEqual(len(found), 1 if version % 10 == 0 else 0)
            if version in (1001, 10001):
                peaks[version] = peak_memory_kib(self.client.proc.pid)
        growth = peaks[10001] - peaks[1001]
        if os.environ.get("VORN_SANITIZE") == "1":
            self.skipTest("freed memory is held back under the sanitizers (grew by %d KiB)" % growth)
        self.assertLess(growth, 1024, "peak memory grew by %d KiB" % growth)


if __name__ == "__main__":
    unittest.main()
