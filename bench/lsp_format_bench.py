#!/usr/bin/env python3
"""Times formatting in vorn-lsp as an editor sees it: from sending textDocument/formatting for
an open 5,000-line script in every spacing (the script of fmt_bench.py) to receiving its
edits, over the server's real standard input and output. Also times a range format of 50
lines in the middle, and, for comparison, folding ranges, inlay hints and a selection range
of the same document. Prints the best and the median of several requests, to the last byte of
the reply and to the client's parse of it; the budget for the whole document's formatting is
20 ms, the server's (best). Standard library only, plus
tests/lsp/lsp_client.py.

Usage: lsp_format_bench.py [--lsp PATH] [--lines N] [--runs N]
"""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "lsp"))
sys.path.insert(0, HERE)

import lsp_client  # noqa: E402
from fmt_bench import script  # noqa: E402
from lsp_timing import argument_parser, cpu_ms, open_document, spread, timed_request, workspace  # noqa: E402

BUDGET_MS = 20.0


def timed(client, method, params, runs):
    """The best and median wall times to the reply's last byte and to its parsed result, and
    the server's mean processor time per request, all its threads (which waiting for a processor on a loaded
    machine does not inflate)."""
    served, parsed = [], []
    result = None
    cpu_before = cpu_ms(client.proc.pid)
    for _ in range(runs):
        to_last_byte, to_parsed, result = timed_request(client, method, params)
        served.append(to_last_byte)
        parsed.append(to_parsed)
    cpu = (cpu_ms(client.proc.pid) - cpu_before) / runs
    served, parsed = spread(served), spread(parsed)
    return served.best, served.median, parsed.best, parsed.median, cpu, result


def main():
    parser = argument_parser(__doc__)
    parser.add_argument("--lines", type=int, default=5000)
    parser.add_argument("--runs", type=int, default=30)
    args = parser.parse_args()
    text = script(args.lines).decode()
    with workspace() as folder, open_document(args.lsp, folder, "big.vs", text, clean=False) as (client, path, _):
        document = {"textDocument": {"uri": lsp_client.uri(path)}, "options": {"tabSize": 4, "insertSpaces": True}}
        whole = timed(client, "textDocument/formatting", document, args.runs)
        middle = args.lines // 2
        some = dict(document, range={"start": {"line": middle, "character": 0},
                                     "end": {"line": middle + 50, "character": 0}})
        part = timed(client, "textDocument/rangeFormatting", some, args.runs)
        # The other requests that read the whole document, for comparison.
        plain = {"textDocument": document["textDocument"]}
        others = [
            ("foldingRange", timed(client, "textDocument/foldingRange", plain, args.runs)),
            ("inlayHint, whole document", timed(client, "textDocument/inlayHint", dict(plain, range={
                "start": {"line": 0, "character": 0}, "end": {"line": args.lines, "character": 0}}), args.runs)),
            ("selectionRange", timed(client, "textDocument/selectionRange", dict(plain, positions=[
                {"line": middle, "character": 6}]), args.runs)),
        ]
    print("script: %d lines, %d bytes" % (text.count("\n"), len(text)))
    print("wall time, best and median:       to the reply's last byte  parsed by the client  "
          "server processor time")
    for name, figures in (("formatting (%d edits)" % len(whole[5]), whole),
                          ("rangeFormatting, 50 lines (%d edits)" % len(part[5]), part)) + tuple(others):
        print("%-34s %6.2f ms %6.2f ms    %6.2f ms %6.2f ms   %6.2f ms" % ((name,) + figures[:5]))
    print("budget %.0f ms (the server's, best): %s" % (BUDGET_MS, "met" if whole[0] <= BUDGET_MS else "MISSED"))
    return 0 if whole[0] <= BUDGET_MS else 1


if __name__ == "__main__":
    sys.exit(main())
