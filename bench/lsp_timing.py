"""What the vorn-lsp benches share: their command line, a workspace with one open document, a client that notes when the last byte of each reply
arrived, a timed request to that last byte, the server's processor time and peak memory from
/proc, and the spread of a series of times. Standard library only, plus tests/lsp/lsp_client.py.
"""
import argparse
import contextlib
import json
import os
import statistics
import sys
import tempfile
import time
from typing import NamedTuple

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "lsp"))
sys.path.insert(0, HERE)

import lsp_client  # noqa: E402
from bench import write_lists  # noqa: E402

# The server the benches time unless --lsp names another.
DEFAULT_SERVER = os.path.join(HERE, "..", "build", "src", "vorn-lsp")

# The severity of an error in publishDiagnostics.
ERROR = 1

# The fraction of a sorted series below the figure reported as its 90th percentile.
P90 = 0.9


class Client(lsp_client.Client):
    """The tests' client, with a reader that does not copy its buffer for every chunk of a large
    reply (references and rename replies run to megabytes), and that notes in `received` the
    moment the last byte of the message it returns came off the pipe, before any parsing."""

    def __init__(self, server=None, timeout=10.0):
        super().__init__(server, timeout)
        self.buffer = bytearray()
        self.received = None

    def read_message(self, timeout=None):
        deadline = time.monotonic() + (timeout or self.timeout)
        while True:
            end = self.buffer.find(b"\r\n\r\n")
            if end >= 0:
                length = None
                for line in self.buffer[:end].split(b"\r\n"):
                    name, _, value = line.partition(b":")
                    if name.strip().lower() == b"content-length":
                        length = int(value)
                assert length is not None, bytes(self.buffer[:end])
                start = end + 4
                if len(self.buffer) - start >= length:
                    self.received = time.perf_counter()
                    body = bytes(self.buffer[start:start + length])
                    del self.buffer[:start + length]
                    return json.loads(body)
            self._read_some(deadline)


def timed_request(client, method, params, timeout=None):
    """Sends a request and waits for its reply. Returns the milliseconds from the request to the
    last byte of the reply, the milliseconds until the reply is parsed as well, and the result;
    an error reply ends the bench."""
    started = time.perf_counter()
    reply = client.response(client.request_async(method, params), timeout)
    parsed = time.perf_counter()
    if "result" not in reply:
        raise SystemExit(f"{method}: unexpected reply {str(reply)[:200]}")
    return (client.received - started) * 1000, (parsed - started) * 1000, reply["result"]


def cpu_ms(pid):
    """The processor time all the server's threads (its reader among them) have run, in ms, from
    the scheduler's count in nanoseconds: on a busy machine the wall-clock figures also count
    waiting for a core, this one does not."""
    total = 0
    for task in os.listdir("/proc/%d/task" % pid):
        with open("/proc/%d/task/%s/schedstat" % (pid, task)) as f:
            total += int(f.read().split()[0])
    return total / 1e6


def peak_kib(pid):
    """The server's peak resident memory (VmHWM) so far, in KiB."""
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    raise SystemExit(f"no VmHWM in /proc/{pid}/status")


class Spread(NamedTuple):
    best: float
    median: float
    p90: float
    worst: float


def spread(times):
    """The best, median, 90th percentile and worst of a series of times."""
    ordered = sorted(times)
    if not ordered:
        raise SystemExit("no times to report")
    return Spread(ordered[0], statistics.median(ordered), ordered[int(len(ordered) * P90)], ordered[-1])


def describe(times):
    """'median M ms, p90 P ms, max X ms' of a series of milliseconds."""
    s = spread(times)
    return f"median {s.median:.2f} ms, p90 {s.p90:.2f} ms, max {s.worst:.2f} ms"


def argument_parser(doc):
    """A parser with the bench's usage text and --lsp, the server to time."""
    parser = argparse.ArgumentParser(description=doc, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--lsp", default=DEFAULT_SERVER)
    return parser


@contextlib.contextmanager
def workspace():
    """A temporary folder (its real path) holding the event and command lists."""
    with tempfile.TemporaryDirectory() as tmp:
        folder = os.path.realpath(tmp)
        write_lists(folder)
        yield folder


@contextlib.contextmanager
def open_document(server, folder, name, text, timeout=30, clean=True):
    """Writes text to name in folder, starts the server on that workspace and opens the
    document; yields the client, the document's path and its first diagnostics. When clean,
    none of them may be an error: an error would cut the compile short, and the bench would
    time less than the whole document (warnings do not). The server is shut down when the
    block ends."""
    path = os.path.join(folder, name)
    with open(path, "w") as f:
        f.write(text)
    client = Client(server, timeout=timeout)
    try:
        client.initialize(folder)
        client.open(path, text)
        first = client.diagnostics(path, version=1)
        errors = [d for d in first if d.get("severity") == ERROR]
        if clean and errors:
            raise SystemExit(f"{name}: unexpected errors {errors[:3]}")
        yield client, path, first
        client.shutdown()
    finally:
        client.close()
