#!/usr/bin/env python3
"""vorn-list's memory does not grow with its input.

Scripts made here of many short lines, listed and asked --at for an offset, must take no more
memory at their peak (resident set size) than the same kind of script of 1 MB, give or take
--slack-mb: the listing streams, keeping the line being listed, the open files and the symbols,
never the script nor its diagnostics. The scripts: --megabytes of comment lines, and a quarter
of that of lines that are each an error (an unknown directive, counted, so the run goes on).
The listing is read as it comes and checked (every line listed, with its error, the summary and
the symbols at the end). So is the listing of one line of --megabytes without a line end. With --vorn-check, vorn-check's GNU report of the error scripts is held
to the same bound (three lines per error: the error, its source line and its caret line, read
again from the script as the errors come).

With --vorn-check, vorn-check -Wall and --format=json are held to it too, on the same scripts:
they print each diagnostic as it is found, as plain vorn-check does.

A top script's cost in vorn-check --project is held to ProjectScriptBudget, in vorn-lsp (a
project opened as an editor opens it) to LspScriptBudget, and vorn-check's
peak on one long line (plain and -Wall) grows by no more than LongLineCheckGrowthKb.

Streams far larger than a tool's budget (STREAMS: /dev/zero, or one language-server message of
a gigabyte), each run under a limit of its address space (ulimit -v) written next to it, must
end with the status and the message given there, never by running out of memory.

The peaks are each program's own, measured by GNU time (vorn-lsp's by its VmHWM).

Under sanitizers freed memory is held back, so only the output is checked there
(VORN_SANITIZE=1 in the environment), and only of the 1 MB scripts: the larger ones run the
same code (the listing's diagnostics go to disk past 64 KiB either way) and are there only
to show that the peak does not grow, which took five minutes of the sanitized suite.

Usage: listing_memory.py --vorn-list PATH [--vorn-check PATH] [--vorn-fmt PATH] [--vorn-dis PATH]
                         [--vorn-lsp PATH] [--megabytes N] [--slack-mb M]
"""

import argparse
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import threading

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lsp"))
import lsp_client  # noqa: E402

# GNU time (Debian's time), which measures a program's peak alone.
GNU_TIME = "/usr/bin/time"

# Each kind of script: its line, the listing's lines per script line, what ends the listing,
# and the lines before that after the listed lines (a clean compile's summary, then its
# compiled file: 11 lines of header, 3 of code and tables, before the line of its size).
KINDS = {
    "comments": (b"; c\n", 1, [b"=== 64 bytes in the compiled file", b"=== symbols", b"(none)"], 15),
    "errors": (b"Foo\n", 2, [b"=== 0 bytes of code, 65535 errors, status 10", b"=== symbols",
                             b"(none)"], 0),
}


# Each stream: the tool, its arguments, what its standard input is (a file; "lsp": one
# message of LspMessageBytes and then a header that never ends; "fifo": standard input is
# empty and the script named, endless.vs, is a FIFO fed comment lines until it is closed), its
# address-space budget in MB, and the status and the message (on standard output or standard
# error, for "lsp" standard output) it must end with. The budgets: a tool's fixed cost with room to spare, and what the cap on what it
# reads whole costs (64 MiB kept, and the copy made as it grows).
LspMessageBytes = 1 << 30
STREAMS = [
    ("vorn-fmt", ["-"], "/dev/zero", 200, 2, b"vorn-fmt: -: larger than 64 MiB"),
    # Checked (not rewritten), a device is read up to the cap like standard input; to be
    # rewritten in place, it is refused before anything is read.
    ("vorn-fmt", ["--check", "/dev/zero"], "/dev/null", 200, 2, b"vorn-fmt: /dev/zero: larger than 64 MiB"),
    ("vorn-fmt", ["/dev/zero"], "/dev/null", 200, 2, b"vorn-fmt: /dev/zero: not a regular file"),
    ("vorn-check", ["-"], "/dev/zero", 200, 2, b"vorn-check: standard input holds more than 64 MiB"),
    ("vorn-dis", ["/dev/zero"], "/dev/null", 64, 21, b"more than 9280 bytes long"),
    # A script or include that is not a regular file is read up to 64 MiB, then refused
    # (status 2; an include's error is counted, status 10): the device, a FIFO fed forever,
    # and an include of the device. None of what is read is kept.
    ("vorn-check", ["/dev/zero"], "/dev/null", 32, 2, b"Cannot open file /dev/zero: larger than 64 MiB"),
    ("vorn-list", ["/dev/zero"], "/dev/null", 32, 2, b"Cannot open file /dev/zero: larger than 64 MiB"),
    ("vorn-list", ["endless.vs"], "fifo", 32, 2, b"Cannot open file endless.vs: larger than 64 MiB"),
    ("vorn-check", ["zero/includes-zero.vs"], "/dev/null", 32, 10,
     b"includes-zero.vs:2:9: error: Cannot open file /dev/zero: larger than 64 MiB"),
    ("vorn-lsp", [], "lsp", 200, 0, b'"message":"the message is too large"'),
]


def feed_lsp(pipe):
    """One message far larger than the server takes, then a header that never ends (cut off
    at 64 MB): the server skips the one and drops the other, and ends when the input does."""
    try:
        pipe.write(b"Content-Length: %d\r\n\r\n" % LspMessageBytes)
        block = b"\0" * (1 << 20)
        for _ in range(LspMessageBytes >> 20):
            pipe.write(block)
        for _ in range(64):
            pipe.write(b"X" * (1 << 20))
    except BrokenPipeError:
        pass
    finally:
        try:
            pipe.close()
        except BrokenPipeError:
            pass


def feed_fifo(path, stop):
    """Writes comment lines into the FIFO at path until its reader closes it (or stop is set and
    nothing reads it)."""
    try:
        fd = os.open(path, os.O_WRONLY | os.O_NONBLOCK)
    except OSError:
        # No reader yet: wait for one.
        while not stop.is_set():
            try:
                fd = os.open(path, os.O_WRONLY | os.O_NONBLOCK)
                break
            except OSError:
                stop.wait(0.01)
        else:
            return
    os.set_blocking(fd, True)
    block = b"; an endless script\n" * 4096
    try:
        while not stop.is_set():
            os.write(fd, block)
    except OSError:
        pass
    finally:
        os.close(fd)


def run_stream(program, args, source, budget_mb, cwd):
    """Runs program under an address-space limit of budget_mb; returns (status, the end of its
    standard output and standard error)."""
    limit = budget_mb << 20

    def limited():
        resource.setrlimit(resource.RLIMIT_AS, (limit, limit))

    if source == "lsp":
        stdin = subprocess.PIPE
    else:
        stdin = open("/dev/null" if source == "fifo" else source, "rb")
    out, err = tempfile.TemporaryFile(), tempfile.TemporaryFile()
    feeder, stop = None, threading.Event()
    if source == "fifo":
        fifo = os.path.join(cwd, "endless.vs")
        os.mkfifo(fifo)
        feeder = threading.Thread(target=feed_fifo, args=(fifo, stop))
        feeder.start()
    proc = subprocess.Popen([program] + args, cwd=cwd, stdin=stdin, stdout=out, stderr=err,
                            preexec_fn=limited)
    if source == "lsp":
        feeder = threading.Thread(target=feed_lsp, args=(proc.stdin,))
        feeder.start()
    else:
        stdin.close()
    try:
        status = proc.wait(timeout=240)
    except subprocess.TimeoutExpired:
        proc.kill()
        status = proc.wait()
    stop.set()
    if feeder:
        feeder.join()
    if source == "fifo":
        os.unlink(fifo)
    texts = []
    for f in (out, err):
        f.seek(0, os.SEEK_END)
        f.seek(max(0, f.tell() - 2000))
        texts.append(f.read())
        f.close()
    return status, texts[0], texts[1]


# What one more top script may cost vorn-check --project, in bytes: its compile's records
# (files, definitions, entry tables, the compiled file, its lists) and its place in the
# project's maps. A one-line script took 12.2 KB while each compile kept room for full lists,
# and takes about 3.6 KB now: the budget leaves room for allocator and machine differences.
ProjectScriptBudget = 5120
ProjectSizes = (200, 4200)

# The same for vorn-lsp, which keeps each top script's compile too, with what it answers from
# (names, places, include edges): 14.8 KB a script before the lists were shrunk after loading,
# 3.5 KB after. Its peak (VmHWM, the server's own) with the larger project is held, besides, to
# LspProjectBaseKb plus LspScriptBudget a script: the server's fixed cost with room to spare.
LspScriptBudget = 5120
LspProjectBaseKb = 16 * 1024


def lsp_peak(vorn_lsp, folder, first):
    """vorn-lsp's peak resident memory in kB once it has opened the project in folder (its
    root) and published the diagnostics of the top script first; or a failure's text."""
    client = lsp_client.Client(vorn_lsp, timeout=120)
    try:
        client.initialize(folder)
        path = os.path.join(folder, first)
        client.open(path)
        # Published once every top script of the project is compiled.
        diagnostics = client.diagnostics(path)
        with open("/proc/%d/status" % client.proc.pid) as f:
            peak = next(int(line.split()[1]) for line in f if line.startswith("VmHWM:"))
        if diagnostics:
            return "diagnostics for %s: %r" % (first, diagnostics[:2])
        status = client.shutdown()
        if status != 0:
            return "status %d after shutdown" % status
        return peak
    except (TimeoutError, EOFError, AssertionError) as e:
        return "%s: %s" % (type(e).__name__, e)
    finally:
        client.close()


def project_cost(vorn_check, vorn_lsp, work):
    """The peaks of vorn-check --project and of vorn-lsp over projects of ProjectSizes one-line
    top scripts, and what each script beyond the first project's costs."""
    tools = [("vorn-check --project", ProjectScriptBudget)]
    if vorn_lsp:
        tools.append(("vorn-lsp", LspScriptBudget))
    peaks = {what: [] for what, _ in tools}
    failures = []
    for count in ProjectSizes:
        folder = os.path.join(work, "project-%d" % count)
        os.makedirs(folder)
        for name, text in (("events.lst", "OnStart 1\n"), ("command.lst", "Wait 0 1\n")):
            with open(os.path.join(folder, name), "w") as f:
                f.write(text)
        for i in range(count):
            with open(os.path.join(folder, "s%05d.vs" % i), "w") as f:
                f.write("OnStart:\n")
        status, count_lines, last, errors, peak = run(vorn_check, ["--project"], folder)
        if status != 0 or count_lines or errors[0]:
            return ["vorn-check --project of %d scripts: status %d, %r %r"
                    % (count, status, last, errors[1])]
        peaks["vorn-check --project"].append(peak)
        if vorn_lsp:
            peak = lsp_peak(vorn_lsp, folder, "s00000.vs")
            if isinstance(peak, str):
                return ["vorn-lsp on a project of %d scripts: %s" % (count, peak)]
            peaks["vorn-lsp"].append(peak)
        shutil.rmtree(folder)
    for what, budget in tools:
        small, big = peaks[what]
        each = (big - small) * 1024 / (ProjectSizes[1] - ProjectSizes[0])
        print("%s: peak %d kB with %d scripts, %d kB with %d: %.0f bytes a script"
              % (what, small, ProjectSizes[0], big, ProjectSizes[1], each))
        if each > budget:
            failures.append("%s: %.0f bytes a script (allowed: %d)" % (what, each, budget))
    if vorn_lsp:
        allowed = LspProjectBaseKb + ProjectSizes[1] * LspScriptBudget // 1024
        if peaks["vorn-lsp"][1] > allowed:
            failures.append("vorn-lsp: peak %d kB with %d scripts (allowed: %d kB + %d bytes a "
                            "script = %d kB)" % (peaks["vorn-lsp"][1], ProjectSizes[1],
                                                 LspProjectBaseKb, LspScriptBudget, allowed))
    return failures


# What vorn-check's peak may grow by, in kB, from one line of 1 MB without a line end to one of
# LongLineMegabytes (its GNU report: a diagnostic every few hundred columns, each with the line's
# window shown): room for noise, nothing for the line's length. Both runs count this script's
# memory alike. Reading the line again whole for each caret took twice the line.
LongLineCheckGrowthKb = 4 * 1024
LongLineMegabytes = 20


def long_line_check(vorn_check, work):
    """vorn-check, plain and -Wall, on one long line: its peak grows by no more than
    LongLineCheckGrowthKb from a line of 1 MB to one of LongLineMegabytes."""
    folder = os.path.join(work, "check-long-line")
    os.makedirs(folder)
    for name, text in (("events.lst", "OnStart 1\n"), ("command.lst", "Say 11 1\n")):
        with open(os.path.join(folder, name), "w") as f:
            f.write(text)
    failures = []
    peaks = {}
    for mb in (1, LongLineMegabytes):
        with open(os.path.join(folder, "long.vs"), "wb") as f:
            f.write(b"    Say(")
            for _ in range(mb * 10):
                f.write(b"x" * 100000)
        for options in ([], ["-Wall"]):
            status, count, last, errors, peak = run(vorn_check, options + ["long.vs"], folder)
            what = " ".join(["vorn-check"] + options + ["long.vs"])
            print("%s (%d MB, one line): peak %d kB, %d lines" % (what, mb, peak, count))
            # Every diagnostic with its source line and its caret line.
            if (status != 10 or count < 3 * 100 * mb or not last[-2].startswith(b"    1 | ...")
                    or errors[0]):
                failures.append("%s: status %d, %d lines ending %r, %r"
                                % (what, status, count, last, errors[1]))
            peaks.setdefault(what, []).append(peak)
    for what, (small, big) in peaks.items():
        if big - small > LongLineCheckGrowthKb:
            failures.append("%s: the peak grew by %d kB from one line of 1 MB to one of %d MB "
                            "(allowed: %d kB)" % (what, big - small, LongLineMegabytes,
                                                  LongLineCheckGrowthKb))
    shutil.rmtree(folder)
    return failures


def write_script(path, line, megabytes):
    count = int(megabytes * 1000 * 1000) // len(line)
    block = line * 10000
    with open(path, "wb") as f:
        for _ in range(count // 10000):
            f.write(block)
        f.write(line * (count % 10000))
    return count


def run(program, args, cwd):
    """Runs program, reading its output as it comes; returns (status, line count, last lines,
    (lines, end) of standard error, peak resident set size in kB)."""
    # Standard error goes to a file, so that it cannot fill up while standard output is read.
    stderr = tempfile.TemporaryFile()
    # The peak is the program's own, as GNU time reads it: a child of this script would count
    # this script's memory at the fork (or at its peak, where the fork shares it) too.
    peak_file = tempfile.NamedTemporaryFile(prefix="peak-", dir=cwd, delete=False)
    peak_file.close()
    proc = subprocess.Popen([GNU_TIME, "-q", "-f", "%M", "-o", peak_file.name, program] + args,
                            cwd=cwd, stdout=subprocess.PIPE, stderr=stderr,
                            stdin=subprocess.DEVNULL)
    count = 0
    last = []
    for line in proc.stdout:
        count += 1
        last.append(line.rstrip(b"\n"))
        if len(last) > 4:
            last.pop(0)
    proc.wait()
    proc.stdout.close()
    with open(peak_file.name) as f:
        peak = int(f.read().split()[-1])
    os.unlink(peak_file.name)
    stderr.seek(0)
    error_lines, errors = 0, b""
    for block in iter(lambda: stderr.read(65536), b""):
        error_lines += block.count(b"\n")
        errors = (errors + block)[-300:]
    stderr.close()
    return proc.returncode, count, last, (error_lines, errors), peak


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--vorn-list", required=True)
    ap.add_argument("--vorn-check")
    ap.add_argument("--vorn-fmt")
    ap.add_argument("--vorn-dis")
    ap.add_argument("--vorn-lsp")
    ap.add_argument("--megabytes", type=int, default=20)
    ap.add_argument("--slack-mb", type=int, default=8)
    args = ap.parse_args()
    vorn_list = os.path.abspath(args.vorn_list)
    vorn_check = os.path.abspath(args.vorn_check) if args.vorn_check else None
    sanitized = os.environ.get("VORN_SANITIZE", "") not in ("", "0", "FALSE", "OFF", "false")
    work = tempfile.mkdtemp(prefix="vorn-list-memory-")
    failures = []
    try:
        with open(os.path.join(work, "events.lst"), "w") as f:
            f.write("OnStart 1\n")
        with open(os.path.join(work, "command.lst"), "w") as f:
            f.write("Wait 0 1\n")
        # First, while this script's own memory, counted in the peaks, is small.
        if vorn_check and not sanitized:
            failures += long_line_check(vorn_check, work)
        for kind, (line, rows, tail, layout) in KINDS.items():
            megabytes = args.megabytes if kind == "comments" else args.megabytes / 4
            peaks = {}
            for size, mb in (("small", 1), ("big", megabytes))[:1 if sanitized else 2]:
                name = "%s-%s.vs" % (kind, size)
                lines = write_script(os.path.join(work, name), line, mb)
                status, count, last, errors, peak = run(vorn_list, [name], work)
                expected_status = 0 if kind == "comments" else 10
                if status != expected_status or errors[0]:
                    failures.append("%s: status %d, %r" % (name, status, errors[1]))
                # A header, every line (with its error), the summary and the symbols.
                expected_count = 1 + rows * lines + len(tail) + layout
                if count != expected_count or last[-3:] != tail:
                    failures.append("%s: %d lines of listing ending %r; expected %d ending %r"
                                    % (name, count, last, expected_count, tail))
                status, count, _, errors, at_peak = run(vorn_list, ["--at", "0", name], work)
                expected = b"vorn-list: no statement at offset 0 (0x0000): code size 0\n"
                if (status != (1 if kind == "comments" else 10) or count != 0
                        or not errors[1].endswith(expected) or errors[0] != 1 + (rows - 1) * lines):
                    failures.append("%s --at 0: status %d, %d lines, %d error lines ending %r"
                                    % (name, status, count, errors[0], errors[1]))
                peaks[size] = [peak, at_peak]
                print("%s: %g MB, %d lines: peak %d kB listing, %d kB with --at"
                      % (name, mb, lines, peak, at_peak))
                if vorn_check and kind == "errors":
                    status, count, last, errors, check_peak = run(vorn_check, [name], work)
                    # Each error with its source line and its caret line.
                    if status != 10 or count != 3 * lines or errors[0]:
                        failures.append("vorn-check %s: status %d, %d lines ending %r, %r"
                                        % (name, status, count, last, errors[1]))
                    peaks[size].append(check_peak)
                    print("%s: peak %d kB with vorn-check" % (name, check_peak))
                    # -Wall: the same lines (no warning on these); JSON: one document.
                    for option, ending in (("-Wall", None), ("--format=json", [b"}"])):
                        status, count, last, errors, peak = run(vorn_check, [option, name], work)
                        if (status != 10 or errors[0] or (ending is None and count != 3 * lines)
                                or (ending is not None and last[-1:] != ending)):
                            failures.append("vorn-check %s %s: status %d, %d lines ending %r, %r"
                                            % (option, name, status, count, last, errors[1]))
                        peaks[size].append(peak)
                        print("%s: peak %d kB with vorn-check %s" % (name, peak, option))
            if sanitized:
                continue
            whats = ("listing", "--at", "vorn-check", "vorn-check -Wall", "vorn-check --format=json")
            for i, what in enumerate(whats[:len(peaks["big"])]):
                grown = peaks["big"][i] - peaks["small"][i]
                if grown > args.slack_mb * 1024:
                    failures.append("%s of %s: the peak grew by %d kB from 1 MB to %g MB of input "
                                    "(allowed: %d kB)" % (what, kind, grown, megabytes,
                                                          args.slack_mb * 1024))
        # In a project of its own: a script with errors is looked for among the includes of
        # the top scripts of its folder, and those here are tens of megabytes.
        os.makedirs(os.path.join(work, "zero"))
        for name, text in (("events.lst", "OnStart 1\n"), ("command.lst", "Wait 0 1\n"),
                           ("includes-zero.vs", "OnStart:\ninclude \\/dev\\/zero\n")):
            with open(os.path.join(work, "zero", name), "w") as f:
                f.write(text)
        tools = {"vorn-list": vorn_list, "vorn-fmt": args.vorn_fmt, "vorn-check": vorn_check,
                 "vorn-dis": args.vorn_dis, "vorn-lsp": args.vorn_lsp}
        for tool, tool_args, source, budget_mb, expected, message in STREAMS:
            # Sanitizers reserve far more address space than any budget.
            if not tools.get(tool) or sanitized:
                continue
            status, out, err = run_stream(os.path.abspath(tools[tool]), tool_args, source,
                                          budget_mb, work)
            said = out if source == "lsp" else out + err
            print("%s %s < %s under %d MB: status %d, %r"
                  % (tool, " ".join(tool_args), source, budget_mb, status, said[-200:]))
            if status != expected or message not in said:
                failures.append("%s %s < %s under %d MB: status %d (expected %d), %r"
                                % (tool, " ".join(tool_args), source, budget_mb, status, expected,
                                   (out + err)[-300:]))
        # One line without a line end, listed: the line is read again in pieces as it is
        # written, and its many diagnostics held as text on disk past a bound.
        long_peaks = []
        for mb in (1, args.megabytes)[:1 if sanitized else 2]:
            name = "long-line-%d.vs" % mb
            # Written in blocks: this script's memory, counted in the peaks, stays as it is.
            with open(os.path.join(work, name), "wb") as f:
                f.write(b"; ")
                for _ in range(mb * 10):
                    f.write(b"x" * 100000)
            status, count, last, errors, peak = run(vorn_list, [name], work)
            if status != 10 or errors[0] or not last[-3].startswith(b"=== 0 bytes of code, "):
                failures.append("%s: status %d, %d lines ending %r, %r"
                                % (name, status, count, last, errors[1]))
            long_peaks.append(peak)
            print("%s: peak %d kB listing" % (name, peak))
        if not sanitized and long_peaks[1] - long_peaks[0] > args.slack_mb * 1024:
            failures.append("listing of one long line: the peak grew by %d kB from 1 MB to %d MB"
                            % (long_peaks[1] - long_peaks[0], args.megabytes))
        if vorn_check and not sanitized:
            failures += project_cost(vorn_check, args.vorn_lsp and os.path.abspath(args.vorn_lsp), work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
