"""vorn-lsp's peak memory is in proportion to the text it has open.

A large generated document full of errors is opened as an editor opens it: its diagnostics
are published, then the editor asks for its semantic tokens, folding ranges and symbols. The
server's peak resident memory (VmHWM, its own) must stay within TextFactor times the text plus
BaseKib, the fixed base: what the same session on a two-line document peaks at, with room for
another machine's allocator (that session is held to BaseKib too). The document's lines are
drawn at random (seeded) from what scripts hold: statements the lists do not know (each an
error, so the whole document is compiled), comments, labels, blank lines, and now and then a
line long enough to be read in several pieces.

Under sanitizers freed memory is held back, so the test is skipped there.
Set VORN_MEMORY_MB to open another size (the default takes a few seconds).
"""

import os
import random
import tempfile
import unittest

from lsp_client import Client, LISTS, uri, write_files

# The bound: the peak is at most TextFactor times the open text over the base.
TextFactor = 5
# The server's fixed base: a two-line document's session peaks at about 4 MiB.
BaseKib = 8 * 1024
DocumentMegabytes = float(os.environ.get("VORN_MEMORY_MB") or 12)

LINES = [
    '    Jump(%d)\n',
    '    Frobnicate(Hour, "a message of some length %d")\n',
    '; a remark on what follows, number %d\n',
    '\n',
    'OnTouch:\n',
    '    Unknown(&%d, Self)\n',
]


def document(megabytes, seed):
    """A document of about megabytes of lines that are errors, comments and labels."""
    rng = random.Random(seed)
    parts, size, target = ["OnStart:\n"], 0, int(megabytes * 1024 * 1024)
    while size < target:
        if rng.random() < 0.002:
            line = "    Long(" + ", ".join(str(rng.randrange(1000)) for _ in range(rng.randrange(80, 300))) + ")\n"
        else:
            line = rng.choice(LINES)
            if "%d" in line:
                line = line % rng.randrange(100000)
        parts.append(line)
        size += len(line)
    return "".join(parts)


def peak_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    raise AssertionError("no VmHWM")


def session(root, name, text):
    """vorn-lsp's peak in KiB after opening text as name in root, as an editor opens it, and the
    number of diagnostics published for it."""
    client = Client(timeout=120)
    try:
        client.initialize(root)
        path = os.path.join(root, name)
        client.open(path, text)
        found = client.diagnostics(path)
        document = {"textDocument": {"uri": uri(path)}}
        tokens = client.request("textDocument/semanticTokens/full", document)
        client.request("textDocument/foldingRange", document)
        client.request("textDocument/documentSymbol", document)
        peak = peak_kib(client.proc.pid)
        assert client.shutdown() == 0
        return peak, len(found), len(tokens["data"])
    finally:
        client.close()


class Memory(unittest.TestCase):
    def test_peak_within_five_times_the_text_over_the_base(self):
        if os.environ.get("VORN_SANITIZE") == "1":
            self.skipTest("freed memory is held back under the sanitizers")
        with tempfile.TemporaryDirectory() as tmp:
            root = os.path.realpath(tmp)
            write_files(root, LISTS)
            base, _, _ = session(root, "tiny.vs", "OnStart:\n    Jump(1)\n")
            text = document(DocumentMegabytes, 26)
            peak, diagnostics, tokens = session(root, "large.vs", text)
        size_kib = len(text.encode()) / 1024
        allowed = TextFactor * size_kib + BaseKib
        print("text %.1f MiB, base %.1f MiB, peak %.1f MiB (%.2fx the text over the measured base; bound %.1f MiB)"
              % (size_kib / 1024, base / 1024, peak / 1024, (peak - base) / size_kib, allowed / 1024))
        self.assertLessEqual(base, BaseKib)
        # The document was compiled to its end: it has errors, and it was coloured.
        self.assertGreater(diagnostics, 0)
        self.assertGreater(tokens, len(text) // 100)
        self.assertLessEqual(peak, allowed)


if __name__ == "__main__":
    unittest.main()
