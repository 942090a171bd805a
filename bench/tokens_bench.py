#!/usr/bin/env python3
"""Times vorn-lsp's semantic tokens as an editor sees them: from sending the request to
having the whole reply's bytes, over the server's real standard input and output, for the
5,000-line script of lsp_bench.py (every line compiled): textDocument/semanticTokens/full,
and /range for 100 lines in its middle (what an editor asks for the visible part). The reply
is parsed and checked after the clock stops. Prints the median, the 90th percentile and the
largest time, and the number of tokens.

Usage: tokens_bench.py [--lsp PATH] [--requests N]
"""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "lsp"))
sys.path.insert(0, HERE)

import lsp_client  # noqa: E402
from lsp_bench import large  # noqa: E402
from lsp_timing import argument_parser, describe, open_document, spread, timed_request, workspace  # noqa: E402

# Full tokens for 5,000 lines are to take at most this long.
TARGET_MS = 20


def report(name, times, tokens):
    print(f"{name}: {tokens} tokens, {len(times)} requests: {describe(times)}")
    return spread(times).median


def main():
    parser = argument_parser(__doc__)
    parser.add_argument("--requests", type=int, default=200)
    args = parser.parse_args()
    text = large()
    with workspace() as folder, open_document(args.lsp, folder, "large.vs", text) as (client, path, _):
        document = {"uri": lsp_client.uri(path)}
        full, window = [], []
        full_tokens = window_tokens = 0
        for _ in range(args.requests):
            ms, _, result = timed_request(client, "textDocument/semanticTokens/full", {"textDocument": document})
            full.append(ms)
            full_tokens = len(result["data"]) // 5
            ms, _, result = timed_request(client, "textDocument/semanticTokens/range", {
                "textDocument": document,
                "range": {"start": {"line": 2500, "character": 0}, "end": {"line": 2600, "character": 0}}})
            window.append(ms)
            window_tokens = len(result["data"]) // 5
    lines = text.count("\n")
    if full_tokens < lines // 2 or window_tokens == 0:
        raise SystemExit(f"too few tokens: {full_tokens} for the document, {window_tokens} for the range")
    median = report(f"semanticTokens/full, {lines} lines", full, full_tokens)
    report("semanticTokens/range, 100 of them", window, window_tokens)
    print(f"target: full tokens for {lines} lines within {TARGET_MS} ms "
          f"({'met' if median <= TARGET_MS else 'MISSED'})")


if __name__ == "__main__":
    main()
