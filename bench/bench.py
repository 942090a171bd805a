#!/usr/bin/env python3
"""Times the compiler against cat on two generated workloads, as whole processes.

  (a) a typical script of about 300 lines with a full pair of lists (256 events, 256 commands);
  (b) a 50 MB script, mostly comments and blank lines, with labels, definitions and
      statements spread over a few included files (also at 1 MB, to compare memory);
  (c) the same with short comment lines, where the cost of each line weighs more.

For each, the compiler and `cat` of the same files run side by side, alternating, with
standard output to /dev/null; the best of several runs is kept. Prints times, ratios,
throughput and peak resident memory. Standard library only.

Usage: bench.py [--vorn PATH] [--size-mb N] [--runs N] [--keep DIR]
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_VORN = os.path.join(HERE, "..", "build", "src", "vorn")

COMMANDS = ["Wait", "Say", "Stop", "If", "Set", "Add", "Goto", "Reply"]
ARG_COUNTS = {"Wait": 1, "Say": 1, "Stop": 0, "If": 3, "Set": 2, "Add": 2, "Goto": 1, "Reply": 2}
CONDITIONS = ["Equal", "NotEqual", "LessThan", "GreaterThan", "GreaterThanOrEqual"]


def write_lists(folder):
    with open(os.path.join(folder, "events.lst"), "w") as f:
        f.write("; events of the runtime\n")
        for i in range(256):
            f.write(f"Event{i:03d} {i + 1}\n")
    with open(os.path.join(folder, "command.lst"), "w") as f:
        f.write("; commands of the runtime: name, code, argument count\n")
        for i, name in enumerate(COMMANDS):
            f.write(f"{name} {i} {ARG_COUNTS[name]}\n")
        for i in range(len(COMMANDS), 256):
            f.write(f"Cmd{i:03d} {i} {i % 4}\n")


def statement(i):
    """One statement line of a typical mix of commands and argument kinds."""
    name = COMMANDS[i % len(COMMANDS)]
    args = {
        "Wait": [str((i * 37) % 500)],
        "Say": [f'"Line {i} says hello"'],
        "Stop": [],
        "If": [f"&{1 + i % 3}", CONDITIONS[i % len(CONDITIONS)], str(i * 13 - 4000)],
        "Set": [f"Var{i % 20}", "Time"],
        "Add": [f"Var{i % 20}", f"Const{i % 10}"],
        "Goto": [str(i % 200)],
        "Reply": ["Self", f'"ok {i}"'],
    }[name]
    return f"    {name}({', '.join(args)})    ; step {i}\n"


def write_typical(folder):
    """About 300 lines: definitions, labels, statements and comments, as people write them."""
    lines = ["; a typical script\n"]
    lines += [f"defvar Var{i} {i + 10}\n" for i in range(20)]
    lines += [f"defnum Const{i} {i * 1000 - 3000}\n" for i in range(10)]
    i = 0
    for block in range(30):
        lines.append("\n")
        lines.append(f"Event{block:03d}:   ; handler {block}\n" if block % 2 == 0 else f"{block}\n")
        for _ in range(7):
            lines.append(statement(i))
            i += 1
        lines.append(f"; end of block {block}\n")
    with open(os.path.join(folder, "typical.vs"), "w") as f:
        f.writelines(lines)
    return ["events.lst", "command.lst", "typical.vs"]


COMMENT_TEXT = "; " + "The quick brown fox jumps over the lazy dog while the compiler reads on. " * 3


def comment(length):
    """A comment line of the given length, line end included."""
    return COMMENT_TEXT[:length - 1] + "\n"


def write_large(folder, size_mb, comment_length=200):
    """A script of size_mb megabytes over a top file and three included parts. The code area
    and the tables have fixed limits, so most of the bulk is comments and blank lines."""
    target = size_mb * 1000 * 1000
    parts = ["part1.vs", "part2.vs", "part3.vs"]
    names = ["large.vs"] + parts
    per_file = target // len(names)
    statements = 0
    for index, name in enumerate(names):
        with open(os.path.join(folder, name), "w") as f:
            written = 0
            if index == 0:
                for i in range(20):
                    f.write(f"defvar Var{i} {i + 10}\n")
                for i in range(10):
                    f.write(f"defnum Const{i} {i * 1000 - 3000}\n")
                for part in parts:
                    f.write(f"include {part}\n")
            step = 0
            while written < per_file:
                # Every so often a label and a few statements; the rest comments and blanks.
                if step % 500 == 0 and statements < 1000:
                    block = statements // 5
                    label = f"Event{block:03d}:\n" if block % 2 == 0 else f"{block}   ; place\n"
                    f.write(label)
                    written += len(label)
                    for _ in range(5):
                        line = statement(statements)
                        f.write(line)
                        written += len(line)
                        statements += 1
                line = "\n" if step % 4 == 3 else comment(comment_length)
                f.write(line)
                written += len(line)
                step += 1
    return ["events.lst", "command.lst"] + names


def run_once(argv, cwd):
    """Runs one process; returns (seconds, status)."""
    with open(os.devnull, "wb") as devnull:
        start = time.perf_counter()
        status = subprocess.call(argv, cwd=cwd, stdout=devnull, stdin=subprocess.DEVNULL)
        return time.perf_counter() - start, status


def peak_resident_kib(argv, cwd):
    """Peak resident size of one run, as /usr/bin/time measures it. (A forked child's own
    figure would include the pages of this Python process from before its exec.)"""
    with open(os.devnull, "wb") as devnull:
        result = subprocess.run(["/usr/bin/time", "-f", "%M"] + argv, cwd=cwd, stdout=devnull,
                                stderr=subprocess.PIPE, stdin=subprocess.DEVNULL, check=True)
    return int(result.stderr.split()[-1])


def compare(label, vorn, script, files, folder, runs):
    vorn_argv = [vorn, script, "out.bin"]
    cat_argv = ["cat"] + files
    best_vorn, best_cat = float("inf"), float("inf")
    for _ in range(runs):
        t, status = run_once(vorn_argv, folder)
        if status != 0:
            sys.exit(f"{label}: the compiler exited with status {status}")
        best_vorn = min(best_vorn, t)
        t, _ = run_once(cat_argv, folder)
        best_cat = min(best_cat, t)
    peak = peak_resident_kib(vorn_argv, folder) if os.path.exists("/usr/bin/time") else 0
    size = sum(os.path.getsize(os.path.join(folder, f)) for f in files)
    ratio = best_vorn / best_cat
    print(f"{label}: {size / 1e6:.2f} MB of input, best of {runs} runs")
    print(f"  vorn {best_vorn * 1000:8.2f} ms   cat {best_cat * 1000:8.2f} ms   ratio {ratio:.2f}")
    print(f"  vorn throughput {size / best_vorn / 1e6:.0f} MB/s, peak resident {peak} KiB")
    return ratio, size / best_vorn / 1e6, peak


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--vorn", default=DEFAULT_VORN)
    parser.add_argument("--size-mb", type=int, default=50)
    parser.add_argument("--runs", type=int, default=0, help="runs per workload (default: 200 / 7)")
    parser.add_argument("--keep", help="generate into this folder and keep it")
    args = parser.parse_args()
    vorn = os.path.abspath(args.vorn)
    if not os.access(vorn, os.X_OK):
        sys.exit(f"no compiler at {vorn}; build it first (make build)")
    folder = args.keep or tempfile.mkdtemp(prefix="vorn-bench-")
    os.makedirs(folder, exist_ok=True)
    try:
        write_lists(folder)
        typical = write_typical(folder)
        compare("(a) typical script", vorn, "typical.vs", typical, folder, args.runs or 200)
        # The same shape at 1 MB first: memory must not grow with the script's length.
        for size_mb in (1, args.size_mb):
            large = write_large(folder, size_mb)
            compare(f"(b) {size_mb} MB script", vorn, "large.vs", large, folder, args.runs or 7)
        # The same with comment lines of 60 characters: more lines for the bytes, so the cost
        # of each line (finding its end, cleaning, the echo) weighs more.
        large = write_large(folder, args.size_mb, comment_length=60)
        compare(f"(c) {args.size_mb} MB of short lines", vorn, "large.vs", large, folder,
                args.runs or 7)
    finally:
        if not args.keep:
            shutil.rmtree(folder)


if __name__ == "__main__":
    main()
