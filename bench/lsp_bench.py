#!/usr/bin/env python3
"""Times vorn-lsp as an editor sees it: from sending a didChange to receiving the
publishDiagnostics for that version, over its real standard input and output.

  (a) a 300-line script with three included files (about 100 lines each), full lists;
  (b) a 5,000-line script: 1,000 statements, 1,000 constants, 200 variables, labels,
      comments and blank lines, every line compiled (no fatal end cuts it short).

Each change alternates between two texts that differ in one statement, so every change is
compiled; the client waits for each publish before the next change. Prints the median, the
90th percentile and the largest time, and the server's peak memory (VmHWM). Standard
library only, plus tests/lsp/lsp_client.py.

Usage: lsp_bench.py [--lsp PATH] [--changes N]
"""
import os
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

from bench import CONDITIONS, statement  # noqa: E402
from lsp_timing import argument_parser, describe, open_document, peak_kib, spread, workspace  # noqa: E402


def typical(folder):
    """main.vs of 300 lines, three includes of about 100 lines each."""
    for n in range(3):
        lines = [f"; include {n}\n"]
        if n == 0:
            lines += [f"defvar Var{i} {i + 1}\n" for i in range(20)]
            lines += [f"defnum Const{i} {i * 100}\n" for i in range(10)]
        lines.append(f"Event{n + 100:03d}:\n")
        while len(lines) < 100:
            lines.append(statement(len(lines) + 1000 * n))
        with open(os.path.join(folder, f"inc{n}.vs"), "w") as f:
            f.writelines(lines)
    lines = ["; a typical script\n", "include inc0.vs\n", "include inc1.vs\n", "include inc2.vs\n"]
    label = 0
    while len(lines) < 300:
        if len(lines) % 25 == 4:
            lines.append(f"Event{label:03d}:\n")
            label += 1
        elif len(lines) % 10 == 0:
            lines.append("; a comment between statements\n")
        else:
            lines.append(statement(len(lines)))
    return "".join(lines)


def large():
    """5,000 lines that all compile: the code area (8,192 bytes) holds 1,000 short statements."""
    lines = ["; a large script\n"]
    lines += [f"defvar Var{i} {i % 250}\n" for i in range(200)]
    lines += [f"defnum Const{i} {i * 7 - 3000}\n" for i in range(1000)]
    for i in range(1000):
        if i % 20 == 0:
            lines.append(f"Event{i // 20:03d}:\n")
        lines.append(f"    If(Var{i % 200}, {CONDITIONS[i % len(CONDITIONS)]}, Const{i % 1000})\n"
                     if i % 2 else f"    Wait({i % 100})\n")
        lines.append(f"; step {i}: what the next statement is for\n")
        lines.append("\n")
    while len(lines) < 5000:
        lines.append("; padding comment line\n")
    return "".join(lines)


def measure(server, folder, name, text, changes):
    with open_document(server, folder, name, text) as (client, path, _):
        # The second text changes one statement's number.
        other = text.replace("    Wait(", "    Wait(1", 1)
        times = []
        for version in range(2, changes + 2):
            body = other if version % 2 else text
            started = time.perf_counter()
            client.change(path, body, version)
            client.diagnostics(path, version=version)
            times.append((time.perf_counter() - started) * 1000)
        peak = peak_kib(client.proc.pid)
    lines = text.count("\n")
    print(f"{name}: {lines} lines, {len(text)} bytes, {changes} changes: didChange to publishDiagnostics "
          f"{describe(times)}; server peak memory {peak / 1024:.1f} MiB")
    return spread(times).median


def main():
    parser = argument_parser(__doc__)
    parser.add_argument("--changes", type=int, default=500)
    args = parser.parse_args()
    with workspace() as folder:
        a = measure(args.lsp, folder, "typical.vs", typical(folder), args.changes)
        b = measure(args.lsp, folder, "large.vs", large(), args.changes)
    print(f"targets: 300 lines with three includes under 10 ms ({'met' if a < 10 else 'MISSED'}), "
          f"5,000 lines under 50 ms ({'met' if b < 50 else 'MISSED'})")


if __name__ == "__main__":
    main()
