#!/usr/bin/env python3
"""Times formatting in vorn-lsp as an editor sees it: from sending textDocument/formatting for
an open 5,000-line script in every spacing (the script of fmt_bench.py) to receiving its
edits, over the server's real standard input and output. Also times a range format of 50
lines in the middle. Prints the best and the median of several requests; the budget for the
whole document's formatting is 20 ms (best). Standard library only, plus
tests/lsp/lsp_client.py.

Usage: lsp_format_bench.py [--lsp PATH] [--lines N] [--runs N]
"""
import argparse
import os
import statistics
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "lsp"))
sys.path.insert(0, HERE)

import lsp_client  # noqa: E402
from bench import write_lists  # noqa: E402
from fmt_bench import script  # noqa: E402

BUDGET_MS = 20.0


def timed(client, method, params, runs):
    times = []
    result = None
    for _ in range(runs):
        started = time.perf_counter()
        result = client.request(method, params)
        times.append((time.perf_counter() - started) * 1000)
    return min(times), statistics.median(times), result


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--lsp", default=os.path.join(HERE, "..", "build", "src", "vorn-lsp"))
    parser.add_argument("--lines", type=int, default=5000)
    parser.add_argument("--runs", type=int, default=30)
    args = parser.parse_args()
    text = script(args.lines).decode()
    with tempfile.TemporaryDirectory() as tmp:
        folder = os.path.realpath(tmp)
        write_lists(folder)
        path = os.path.join(folder, "big.vs")
        with open(path, "w") as f:
            f.write(text)
        client = lsp_client.Client(args.lsp, timeout=30)
        try:
            client.initialize(folder)
            client.open(path, text)
            client.diagnostics(path, version=1)
            document = {"textDocument": {"uri": lsp_client.uri(path)}, "options": {"tabSize": 4, "insertSpaces": True}}
            whole = timed(client, "textDocument/formatting", document, args.runs)
            middle = args.lines // 2
            some = dict(document, range={"start": {"line": middle, "character": 0},
                                         "end": {"line": middle + 50, "character": 0}})
            part = timed(client, "textDocument/rangeFormatting", some, args.runs)
            client.shutdown()
        finally:
            client.close()
    print("script: %d lines, %d bytes" % (text.count("\n"), len(text)))
    print("textDocument/formatting:      %d edits, best %.2f ms, median %.2f ms" % (len(whole[2]), whole[0], whole[1]))
    print("textDocument/rangeFormatting: %d edits (50 lines), best %.2f ms, median %.2f ms" %
          (len(part[2]), part[0], part[1]))
    print("budget %.0f ms: %s" % (BUDGET_MS, "met" if whole[0] <= BUDGET_MS else "MISSED"))
    return 0 if whole[0] <= BUDGET_MS else 1


if __name__ == "__main__":
    sys.exit(main())
