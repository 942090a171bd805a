#!/usr/bin/env python3
"""Times vorn-lsp on a big project as an editor sees it, over its real standard input and output.

The project is project_bench.py's: 1,000 top scripts of 200 lines, each including 5 of 20
shared files, lib/s00.vs among them. To it, lib/s00.vs defines one more variable, Hot, and
every top script uses it 10 times: a name used 10,000 times. Then, each figure with its target:

  open       initialize with the project folder as the workspace root and didOpen of one
             top script, to that script's first publishDiagnostics (every top script compiled);
  change     a didChange of lib/s00.vs that puts an error into it (and the next one takes it
             out again), to the last publishDiagnostics it leads to (lib/s00.vs itself, and
             each file whose findings changed); every top script is compiled again;
  references textDocument/references of Hot, with its definition (10,001 places), to the last
             byte of the answer (1.5 MB); the time with this client's parse of it is given too;
  rename     textDocument/rename of Hot (one edit in each of 1,001 files), the same way;
  memory     the server's peak resident memory (VmHWM) at the end.

Each answer is checked (the number of places and files), so a fast wrong answer does not pass.
Beside each wall-clock median goes the CPU time the server ran for it (its threads' schedstat):
on a machine busy with other work the wall clock also counts the wait for a core, and the
editor's own reading of a megabyte answer. The status is 1 when a median misses its target.
Standard library only, plus tests/lsp/lsp_client.py.

Usage: lsp_project_bench.py [--lsp PATH] [--tops N] [--changes N] [--requests N] [--keep DIR]
"""
import os
import shutil
import statistics
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "lsp"))
sys.path.insert(0, HERE)

import lsp_client  # noqa: E402
from lsp_timing import Client, argument_parser, cpu_ms, peak_kib, spread  # noqa: E402
from lsp_timing import timed_request as timed_reply  # noqa: E402
from project_bench import generate  # noqa: E402

HOT = "Hot"
HOT_USES_PER_TOP = 10
SHARED = "lib/s00.vs"
# A statement that every compile of lib/s00.vs reports: Wait takes one argument.
BROKEN_LINE = "  Wait()\n"

TARGETS_MS = {"open": 2000, "change": 500, "references": 100, "rename": 200}
TARGET_PEAK_MIB = 200


def add_hot_name(folder, tops):
    """Defines Hot in lib/s00.vs and uses it HOT_USES_PER_TOP times at the end of every top script."""
    with open(os.path.join(folder, SHARED), "a") as f:
        f.write(f"defvar {HOT} 120\n")
    for t in range(tops):
        with open(os.path.join(folder, f"top{t:04d}.vs"), "a") as f:
            f.writelines(f"  Add({HOT}, &{k % 3 + 1})\n" for k in range(HOT_USES_PER_TOP))


def line_of(text, prefix):
    for i, line in enumerate(text.split("\n")):
        if line.startswith(prefix):
            return i
    raise SystemExit(f"no line starts with {prefix!r}")


def change_to_last_publish(client, path, text, version, probe):
    """Sends the change, then a hover in probe (the changed document), which the server answers
    only once the change is compiled and published. Returns the milliseconds from the change
    to the last publishDiagnostics before that answer, the server's CPU milliseconds until the
    answer, and {uri: params} of those publishes."""
    client.notifications.clear()
    cpu = cpu_ms(client.proc.pid)
    started = time.perf_counter()
    client.change(path, text, version)
    ident = client.request_async("textDocument/hover", {"textDocument": {"uri": lsp_client.uri(probe)},
                                                        "position": {"line": 0, "character": 0}})
    seen, last = {}, None
    while True:
        message = client.read_message(120)
        if message.get("id") == ident and "method" not in message:
            break
        if message.get("method") == "textDocument/publishDiagnostics":
            last = time.perf_counter()
            seen[message["params"]["uri"]] = message["params"]
        else:
            client._keep(message)
    if last is None:
        raise SystemExit(f"change {version}: nothing was published")
    return (last - started) * 1000, cpu_ms(client.proc.pid) - cpu, seen


def timed_request(client, method, params):
    """The milliseconds from the request to the last byte of its answer, the server's CPU
    milliseconds, the milliseconds until the answer is parsed too, and the result."""
    cpu = cpu_ms(client.proc.pid)
    to_last_byte, parsed, result = timed_reply(client, method, params, timeout=60)
    return to_last_byte, cpu_ms(client.proc.pid) - cpu, parsed, result


def verdict(value, target):
    return "met" if value <= target else "MISSED"


def run(server, folder, tops, changes, requests):
    root = os.path.realpath(folder)
    shared_path = os.path.join(root, SHARED)
    shared_uri = lsp_client.uri(shared_path)
    with open(shared_path) as f:
        shared_text = f.read()
    figures, cpu = {}, {}
    client = Client(server, timeout=120)
    try:
        # Opening the folder: the first diagnostics of the document opened.
        started = time.perf_counter()
        client.initialize(root)
        first = os.path.join(root, "top0000.vs")
        client.open(first)
        found = client.diagnostics(first, version=1, timeout=120)
        figures["open"] = [(time.perf_counter() - started) * 1000]
        cpu["open"] = [cpu_ms(client.proc.pid)]
        if found:
            raise SystemExit(f"top0000.vs: unexpected diagnostics {found[:3]}")
        client.open(shared_path, shared_text)
        client.diagnostics(shared_path, version=1, timeout=120)
        client.settle()

        # A change of the shared file that every top script includes: an error in, then out.
        change_times, change_cpu, republished = [], [], []
        for version in range(2, changes + 2):
            broken = version % 2 == 0
            text = shared_text + BROKEN_LINE if broken else shared_text
            elapsed, used, seen = change_to_last_publish(client, shared_path, text, version, shared_path)
            change_times.append(elapsed)
            change_cpu.append(used)
            republished.append(len(seen))
            mine = seen.get(shared_uri)
            if not mine or mine.get("version") != version or bool(mine["diagnostics"]) != broken:
                raise SystemExit(f"change {version}: lib/s00.vs published {mine}")
        if changes % 2:
            # End on the clean text, so that what follows sees a clean project.
            change_to_last_publish(client, shared_path, shared_text, changes + 2, shared_path)
        client.settle()
        figures["change"] = change_times
        cpu["change"] = change_cpu
        figures["republished"] = max(republished, default=0)

        # References to and rename of a name used 10,000 times.
        at = {"textDocument": {"uri": shared_uri},
              "position": {"line": line_of(shared_text, f"defvar {HOT} "), "character": len("defvar ") + 1}}
        places = tops * HOT_USES_PER_TOP + 1
        times, used, parsed = [], [], {"references": [], "rename": []}
        for _ in range(requests):
            elapsed, busy, whole, result = timed_request(client, "textDocument/references",
                                                         dict(at, context={"includeDeclaration": True}))
            times.append(elapsed)
            used.append(busy)
            parsed["references"].append(whole)
            if len(result) != places:
                raise SystemExit(f"references: {len(result)} places, {places} expected")
        figures["references"], cpu["references"] = times, used
        times, used = [], []
        for _ in range(requests):
            elapsed, busy, whole, result = timed_request(client, "textDocument/rename", dict(at, newName="Warm"))
            times.append(elapsed)
            used.append(busy)
            parsed["rename"].append(whole)
            edits = result["changes"]
            if len(edits) != tops + 1 or sum(len(e) for e in edits.values()) != places:
                raise SystemExit(f"rename: {len(edits)} files, {sum(len(e) for e in edits.values())} edits")
        figures["rename"], cpu["rename"] = times, used
        figures["parsed"] = parsed
        peak = peak_kib(client.proc.pid)
        client.shutdown()
    finally:
        client.close()
    return figures, cpu, peak


def main():
    parser = argument_parser(__doc__)
    parser.add_argument("--tops", type=int, default=1000)
    parser.add_argument("--changes", type=int, default=6, help="changes of lib/s00.vs (half of them break it)")
    parser.add_argument("--requests", type=int, default=7, help="references and rename requests, each")
    parser.add_argument("--keep", help="generate the project here and keep it")
    args = parser.parse_args()
    if not os.access(args.lsp, os.X_OK):
        sys.exit(f"lsp_project_bench: {args.lsp} is not built")
    folder = args.keep or tempfile.mkdtemp(prefix="vorn-lsp-project-bench-")
    try:
        generate(folder, args.tops)
        add_hot_name(folder, args.tops)
        figures, cpu, peak = run(args.lsp, folder, args.tops, args.changes, args.requests)
    finally:
        if not args.keep:
            shutil.rmtree(folder)
    print(f"project: {args.tops} top scripts, each including lib/s00.vs; {HOT} used "
          f"{args.tops * HOT_USES_PER_TOP} times")
    labels = {
        "open": "open the folder to first diagnostics",
        "change": f"change of lib/s00.vs to its last publish ({figures['republished']} files)",
        "references": f"references to {HOT} ({args.tops * HOT_USES_PER_TOP + 1} places)",
        "rename": f"rename of {HOT} ({args.tops + 1} files)",
    }
    missed = 0
    for name, label in labels.items():
        times = spread(figures[name])
        median, worst = times.median, times.worst
        target = TARGETS_MS[name]
        missed += median > target
        count = len(figures[name])
        print(f"  {label:<50} median {median:7.1f} ms, max {worst:7.1f} ms over {count}, "
              f"server CPU {statistics.median(cpu[name]):7.1f} ms  (target {target} ms: {verdict(median, target)})")
    print("  (references and rename: to the last byte of the answer; with this client's own parse of "
          "it, medians {:.1f} and {:.1f} ms)".format(statistics.median(figures["parsed"]["references"]),
                                                    statistics.median(figures["parsed"]["rename"])))
    peak_mib = peak / 1024
    missed += peak_mib > TARGET_PEAK_MIB
    print(f"  {'server peak memory (VmHWM)':<50} {peak_mib:7.1f} MiB"
          f"  (target {TARGET_PEAK_MIB} MiB: {verdict(peak_mib, TARGET_PEAK_MIB)})")
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
