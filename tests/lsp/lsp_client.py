"""A small LSP client for the tests: starts vorn-lsp, frames JSON-RPC messages over its
standard input and output, and waits for replies and notifications with a time limit."""

import json
import os
import select
import subprocess
import tempfile
import time
import unittest

SERVER = os.environ.get("VORN_LSP", "")
# A folder to keep each client's messages in, one JSON body a line (fuzz/make_lsp_seeds.py
# makes the language server fuzzer's seeds of them).
RECORD = os.environ.get("VORN_LSP_RECORD", "")

LISTS = {
    "events.lst": "; events\nOnStart 1\nOnTouch 2\nOnTimer 3\n",
    "command.lst": "; commands\nWait 10 1\nSay 11 1\nStop 12 0\nIf 13 3\nSet 14 2\n",
}


def write_files(folder, files):
    for name, text in files.items():
        path = os.path.join(folder, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(text.encode("utf-8") if isinstance(text, str) else text)


def property_share(count):
    """count, or its VORN_PROPERTY_DIVISOR-th (at least 1): the sanitized suite runs that share
    of the generated cases (see tests/CMakeLists.txt)."""
    return max(1, count // int(os.environ.get("VORN_PROPERTY_DIVISOR") or 1))


def uri(path):
    return "file://" + path


class Client:
    def __init__(self, server=None, timeout=10.0):
        self.proc = subprocess.Popen([server or SERVER], stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.timeout = timeout
        self.buffer = b""
        self.next_id = 1
        self.notifications = []
        self.requests = []
        self.sent = []

    # ---- framing ----
    def send_raw(self, data):
        if RECORD:
            self.sent.append(data)
        self.proc.stdin.write(data)
        self.proc.stdin.flush()

    def send(self, message):
        body = json.dumps(message).encode("utf-8")
        self.send_raw(b"Content-Length: %d\r\n\r\n" % len(body) + body)

    def _read_some(self, deadline):
        left = deadline - time.monotonic()
        if left <= 0:
            raise TimeoutError("no message from vorn-lsp in time")
        ready, _, _ = select.select([self.proc.stdout], [], [], left)
        if not ready:
            raise TimeoutError("no message from vorn-lsp in time")
        chunk = os.read(self.proc.stdout.fileno(), 1 << 20)
        if not chunk:
            raise EOFError("vorn-lsp closed its output")
        self.buffer += chunk

    def read_message(self, timeout=None):
        deadline = time.monotonic() + (timeout or self.timeout)
        while b"\r\n\r\n" not in self.buffer:
            self._read_some(deadline)
        head, _, rest = self.buffer.partition(b"\r\n\r\n")
        length = None
        for line in head.split(b"\r\n"):
            name, _, value = line.partition(b":")
            if name.strip().lower() == b"content-length":
                length = int(value)
        assert length is not None, head
        while len(rest) < length:
            self.buffer = head + b"\r\n\r\n" + rest
            self._read_some(deadline)
            head, _, rest = self.buffer.partition(b"\r\n\r\n")
        self.buffer = rest[length:]
        return json.loads(rest[:length])

    # ---- messages ----
    def notify(self, method, params=None):
        self.send({"jsonrpc": "2.0", "method": method, "params": params or {}})

    def request_async(self, method, params=None):
        ident = self.next_id
        self.next_id += 1
        self.send({"jsonrpc": "2.0", "id": ident, "method": method, "params": params or {}})
        return ident

    def response(self, ident, timeout=None):
        while True:
            message = self.read_message(timeout)
            if message.get("id") == ident and "method" not in message:
                return message
            self._keep(message)

    def request(self, method, params=None):
        """The result of a request; a protocol error fails the calling test."""
        reply = self.response(self.request_async(method, params))
        if "error" in reply:
            raise AssertionError("%s failed: %s" % (method, reply["error"]))
        return reply["result"]

    def _keep(self, message):
        if "method" in message and "id" in message:
            self.requests.append(message)
        elif "method" in message:
            self.notifications.append(message)

    def initialize(self, root, capabilities=None):
        result = self.request("initialize", {"processId": None, "rootUri": uri(root),
                                             "capabilities": capabilities or {}})
        self.notify("initialized")
        return result

    def diagnostics(self, path, version=None, timeout=None):
        """Waits for the next publishDiagnostics for path (and version, if given)."""
        target = uri(path)
        deadline = time.monotonic() + (timeout or self.timeout)
        while True:
            for i, message in enumerate(self.notifications):
                params = message.get("params", {})
                if message["method"] == "textDocument/publishDiagnostics" and params["uri"] == target \
                        and (version is None or params.get("version") == version):
                    del self.notifications[i]
                    return params["diagnostics"]
            self._keep(self.read_message(max(0.01, deadline - time.monotonic())))

    def drain(self, quiet=0.3):
        """Collects notifications until the server is quiet for a moment."""
        try:
            while True:
                self._keep(self.read_message(quiet))
        except TimeoutError:
            pass

    def settle(self):
        """Waits until the server is quiet and forgets every notification so far."""
        self.drain()
        self.notifications.clear()

    def open(self, path, text=None, version=1):
        if text is None:
            with open(path, "rb") as f:
                text = f.read().decode("utf-8", "surrogateescape")
        self.notify("textDocument/didOpen", {"textDocument": {
            "uri": uri(path), "languageId": "vorn", "version": version, "text": text}})

    def change(self, path, text, version):
        self.notify("textDocument/didChange", {"textDocument": {"uri": uri(path), "version": version},
                                               "contentChanges": [{"text": text}]})

    def at(self, method, path, line, character, **extra):
        params = {"textDocument": {"uri": uri(path)}, "position": {"line": line, "character": character}}
        params.update(extra)
        return self.request(method, params)

    def shutdown(self):
        self.request("shutdown")
        self.notify("exit")
        return self.proc.wait(timeout=self.timeout)

    def close(self):
        if RECORD and self.sent:
            os.makedirs(RECORD, exist_ok=True)
            handle, _ = tempfile.mkstemp(dir=RECORD, suffix=".lsp")
            with os.fdopen(handle, "wb") as f:
                f.write(b"".join(self.sent))
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        for stream in (self.proc.stdin, self.proc.stdout, self.proc.stderr):
            stream.close()


class ServerTest(unittest.TestCase):
    """A project folder with both lists, and a client that is shut down after each test."""

    def setUp(self):
        self.assertTrue(SERVER, "set VORN_LSP to the vorn-lsp binary")
        self.tmp = tempfile.TemporaryDirectory()
        self.root = os.path.realpath(self.tmp.name)
        write_files(self.root, LISTS)
        self.client = Client()

    def tearDown(self):
        try:
            if self.client.proc.poll() is None:
                self.assertEqual(self.client.shutdown(), 0)
            self.assertIsNotNone(self.client.proc.returncode)
            self.assertNotIn(b"Sanitizer", self.client.proc.stderr.read())
        finally:
            self.client.close()
            self.tmp.cleanup()

    def path(self, name):
        return os.path.join(self.root, name)

    def write(self, files):
        write_files(self.root, files)
