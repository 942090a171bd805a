#!/usr/bin/env python3
"""vorn-list's memory does not grow with its input.

A script of many short comment lines (made here, --megabytes of them), listed and asked --at
for an offset, must take no more memory at its peak (resident set size) than the same kind of
script of 1 MB, give or take --slack-mb: the listing streams, keeping the line being listed,
the open files and the symbols, never the script. The listing is read as it comes and checked
(every line listed, the summary and the symbols at the end).

Under sanitizers freed memory is held back, so only the output is checked there
(VORN_SANITIZE=1 in the environment).

Usage: listing_memory.py --vorn-list PATH [--megabytes N] [--slack-mb M]
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

LINE = b"; c\n"
# What stands after the last listed line of a script without code.
TAIL = [b"=== 0 bytes of code, no errors", b"=== symbols", b"(none)"]


def write_script(path, megabytes):
    count = megabytes * 1000 * 1000 // len(LINE)
    block = LINE * 10000
    with open(path, "wb") as f:
        for _ in range(count // 10000):
            f.write(block)
        f.write(LINE * (count % 10000))
    return count


def run(vorn_list, args, cwd):
    """Runs vorn-list, reading its output as it comes; returns (status, line count, last lines,
    standard error, peak resident set size in kB)."""
    # Standard error goes to a file, so that it cannot fill up while standard output is read.
    stderr = tempfile.TemporaryFile()
    proc = subprocess.Popen([vorn_list] + args, cwd=cwd, stdout=subprocess.PIPE,
                            stderr=stderr, stdin=subprocess.DEVNULL)
    count = 0
    last = []
    for line in proc.stdout:
        count += 1
        last.append(line.rstrip(b"\n"))
        if len(last) > 4:
            last.pop(0)
    _, status, usage = os.wait4(proc.pid, 0)
    proc.returncode = os.waitstatus_to_exitcode(status)
    proc.stdout.close()
    stderr.seek(0)
    errors = stderr.read()
    stderr.close()
    return proc.returncode, count, last, errors, usage.ru_maxrss


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--vorn-list", required=True)
    ap.add_argument("--megabytes", type=int, default=20)
    ap.add_argument("--slack-mb", type=int, default=8)
    args = ap.parse_args()
    vorn_list = os.path.abspath(args.vorn_list)
    sanitized = os.environ.get("VORN_SANITIZE", "") not in ("", "0", "FALSE", "OFF", "false")
    work = tempfile.mkdtemp(prefix="vorn-list-memory-")
    failures = []
    try:
        with open(os.path.join(work, "events.lst"), "w") as f:
            f.write("OnStart 1\n")
        with open(os.path.join(work, "command.lst"), "w") as f:
            f.write("Wait 0 1\n")
        peaks = {}
        for name, megabytes in (("small.vs", 1), ("big.vs", args.megabytes)):
            lines = write_script(os.path.join(work, name), megabytes)
            status, count, last, errors, peak = run(vorn_list, [name], work)
            if status != 0 or errors:
                failures.append("%s: status %d, %r" % (name, status, errors[:200]))
            # A header, every line, the summary and the symbols.
            if count != 1 + lines + len(TAIL) or last[-3:] != TAIL:
                failures.append("%s: %d lines of listing ending %r; expected %d ending %r"
                                % (name, count, last, 1 + lines + len(TAIL), TAIL))
            status, count, _, errors, at_peak = run(vorn_list, ["--at", "0", name], work)
            expected = b"vorn-list: no statement at offset 0 (0x0000): code size 0\n"
            if status != 1 or count != 0 or errors != expected:
                failures.append("%s --at 0: status %d, %d lines, %r" % (name, status, count, errors))
            peaks[name] = (peak, at_peak)
            print("%s: %d MB, %d lines: peak %d kB listing, %d kB with --at"
                  % (name, megabytes, lines, peak, at_peak))
        if not sanitized:
            for i, what in enumerate(("listing", "--at")):
                grown = peaks["big.vs"][i] - peaks["small.vs"][i]
                if grown > args.slack_mb * 1024:
                    failures.append("%s: the peak grew by %d kB from 1 MB to %d MB of input "
                                    "(allowed: %d kB)" % (what, grown, args.megabytes,
                                                          args.slack_mb * 1024))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
