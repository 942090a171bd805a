#!/usr/bin/env python3
r"""Run one end-to-end case file against the VORN binaries.

Usage: run_case.py --bin vorn=PATH [--bin vorn-dis=PATH] [--timeout SECONDS]
                   [--keep] CASEFILE

Exit status: 0 pass (silent), 1 mismatch (diffs printed), 2 malformed case
file or bad usage, 77 skipped (the case needs a binary that was not given).

Case file format
----------------
Lines before the first section are a free description.  A section starts with
a line beginning with "--- " (three dashes and a space):

  --- file NAME       text file NAME (may contain '/') written into the temp
                      dir; content = the section's lines, each + "\n",
                      escapes decoded.
  --- hexfile NAME    binary file; hex bytes ("1A ff 00", or "1aff00"),
                      whitespace separated, "#" comments to end of line.
  --- setup           bash script (run with -euo pipefail, cwd = temp dir,
                      $VORN / $VORN_DIS = binaries) run before the program.
                      A failing setup fails the case.
  --- run             one line: program name (vorn / vorn-dis) and arguments,
                      split with shlex; no shell involved.  argv[0] is the
                      bare program name.
  --- stdout          expected standard output (escaped text; exact bytes).
  --- stdout ignore   do not compare standard output (section must be empty).
  --- stderr          expected standard error (escaped); default: empty.
  --- status          expected exit status, 0..255 (signal N => 128+N).
  --- output NAME     expected bytes of file NAME after the run: hex bytes as
                      in hexfile (no bytes = exists and empty), or the single
                      word "none" (must not exist), or "unchanged" (existed
                      before the run and keeps its bytes).

"run", "stdout" and "status" are required.

Round trip: when vorn-dis is given too, every hex output of a vorn run that
ends with status 0 is listed by vorn-dis and the listing compiled again; the
bytes must come back the same (see roundtrip_check.py).

Section content is exactly the lines between its header and the next header:
blank lines there are content.  Only trailing blank lines at the very end of
the case file are dropped.  run/status/output/hexfile sections ignore blank
lines.

Escapes in file/stdout/stderr text: \\ backslash, \n LF, \r CR, \t TAB, \0 NUL,
\xHH any byte; a backslash as the last character of a line means "no line end
after this line".  Any other backslash sequence is an error.  A content line
that itself starts with "--- " is written as "\x2D-- ...".  Raw CR characters
are not allowed in case files (write \r).  Non-ASCII text is taken as its
UTF-8 bytes.  Diffs show actual bytes in this same escaped form (non-ASCII
bytes as \xHH, trailing spaces as \x20), so they can be pasted back.
"""

import os
import re
import shlex
import signal
import stat
import subprocess
import sys
import tempfile

import roundtrip_check

EXIT_PASS, EXIT_FAIL, EXIT_BAD_CASE, EXIT_SKIP = 0, 1, 2, 77
KNOWN_PROGRAMS = ("vorn", "vorn-dis", "vorn-list")
ENV_NAMES = {"vorn": "VORN", "vorn-dis": "VORN_DIS", "vorn-list": "VORN_LIST"}
DIFF_LINE_LIMIT = 400


class CaseError(Exception):
    """The case file is malformed."""


# ---------------------------------------------------------------- escapes

_SIMPLE_ESCAPES = {"\\": b"\\", "n": b"\n", "r": b"\r", "t": b"\t", "0": b"\0"}
_HEX_DIGITS = "0123456789abcdefABCDEF"


def _encode(text):
    return text.encode("utf-8", "surrogateescape")


def decode_line(line, where):
    """Decode one escaped content line; return (bytes, has_line_end)."""
    out = bytearray()
    i, n = 0, len(line)
    while i < n:
        j = line.find("\\", i)
        if j < 0:
            out += _encode(line[i:])
            break
        out += _encode(line[i:j])
        if j == n - 1:
            return bytes(out), False
        c = line[j + 1]
        if c in _SIMPLE_ESCAPES:
            out += _SIMPLE_ESCAPES[c]
            i = j + 2
        elif c == "x":
            hh = line[j + 2:j + 4]
            if len(hh) != 2 or hh[0] not in _HEX_DIGITS or hh[1] not in _HEX_DIGITS:
                raise CaseError("%s: bad escape %r (\\x needs two hex digits)"
                                % (where, line[j:j + 4]))
            out.append(int(hh, 16))
            i = j + 4
        else:
            raise CaseError("%s: bad escape '\\%s' (allowed: \\\\ \\n \\r \\t \\0 \\xHH, "
                            "or a final backslash)" % (where, c))
    return bytes(out), True


def decode_text(lines, first_lineno):
    out = bytearray()
    for k, line in enumerate(lines):
        data, eol = decode_line(line, "line %d" % (first_lineno + k))
        out += data
        if eol:
            out += b"\n"
    return bytes(out)


def _escape_byte(b):
    if b == 0x5C:
        return "\\\\"
    if b == 0x0D:
        return "\\r"
    if b == 0x09:
        return "\\t"
    if b == 0x00:
        return "\\0"
    if 0x20 <= b < 0x7F:
        return chr(b)
    return "\\x%02X" % b


_ESCAPE_TABLE = [_escape_byte(b) for b in range(256)]


def render_text(data):
    """Bytes -> list of case-file lines (inverse of decode_text)."""
    if not data:
        return []
    parts = data.split(b"\n")
    complete = parts[-1] == b""
    if complete:
        parts.pop()
    lines = []
    for idx, part in enumerate(parts):
        stripped = part.rstrip(b" ")
        s = "".join(_ESCAPE_TABLE[b] for b in stripped)
        s += "\\x20" * (len(part) - len(stripped))
        if s.startswith("--- "):
            s = "\\x2D" + s[1:]
        if idx == len(parts) - 1 and not complete:
            s += "\\"
        lines.append(s)
    return lines


def render_hex(data):
    return [" ".join("%02X" % b for b in data[i:i + 16]) for i in range(0, len(data), 16)]


def parse_hex(lines, first_lineno):
    out = bytearray()
    for k, line in enumerate(lines):
        body = line.split("#", 1)[0]
        for tok in body.split():
            if len(tok) % 2 or not all(c in _HEX_DIGITS for c in tok):
                raise CaseError("line %d: bad hex %r (expected byte pairs like 1A or ff)"
                                % (first_lineno + k, tok))
            out += bytes.fromhex(tok)
    return bytes(out)


def _nonblank(lines):
    return [l for l in lines if l.strip()]


# ---------------------------------------------------------------- parsing

class Case:
    def __init__(self):
        self.files = []          # (name, bytes)
        self.setup = None        # script text
        self.argv = None         # [program, args...]
        self.stdout = None       # bytes, or None if ignored
        self.stderr = b""
        self.status = None
        self.outputs = []        # (name, "none" | "unchanged" | bytes)


def _check_name(name, lineno):
    if not name:
        raise CaseError("line %d: section needs a file name" % lineno)
    if name.startswith("/") or ".." in name.split("/"):
        raise CaseError("line %d: file name %r must be relative and stay in the case dir"
                        % (lineno, name))


def parse_case(raw):
    text = raw.decode("utf-8", "surrogateescape")
    lines = text.split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    for k, line in enumerate(lines):
        if "\r" in line:
            raise CaseError("line %d: raw carriage return in case file (write \\r instead)"
                            % (k + 1))
    while lines and lines[-1].strip() == "":
        lines.pop()

    sections = []  # (kind, arg, header lineno, content lines)
    for k, line in enumerate(lines):
        if line.startswith("--- "):
            head = line[4:].strip()
            kind, _, arg = head.partition(" ")
            sections.append((kind, arg.strip(), k + 1, []))
        elif sections:
            sections[-1][3].append(line)

    case = Case()
    seen = set()
    file_names = set()
    output_names = set()
    for kind, arg, lineno, body in sections:
        first = lineno + 1
        if kind in ("setup", "run", "stdout", "stderr", "status"):
            if kind in seen:
                raise CaseError("line %d: second '%s' section" % (lineno, kind))
            seen.add(kind)
            if arg and not (kind == "stdout" and arg == "ignore"):
                raise CaseError("line %d: '%s' takes no argument (got %r)" % (lineno, kind, arg))
        if kind in ("file", "hexfile"):
            _check_name(arg, lineno)
            if arg in file_names:
                raise CaseError("line %d: file %r given twice" % (lineno, arg))
            file_names.add(arg)
            data = decode_text(body, first) if kind == "file" else parse_hex(body, first)
            case.files.append((arg, data))
        elif kind == "setup":
            case.setup = "\n".join(body) + "\n"
        elif kind == "run":
            nb = _nonblank(body)
            if len(nb) != 1:
                raise CaseError("line %d: 'run' needs exactly one command line" % lineno)
            try:
                argv = shlex.split(nb[0])
            except ValueError as e:
                raise CaseError("line %d: cannot split run line: %s" % (lineno, e))
            if not argv:
                raise CaseError("line %d: empty run line" % lineno)
            case.argv = argv
        elif kind == "stdout":
            if arg == "ignore":
                if _nonblank(body):
                    raise CaseError("line %d: 'stdout ignore' must be empty" % lineno)
                case.stdout = None
            else:
                case.stdout = decode_text(body, first)
        elif kind == "stderr":
            case.stderr = decode_text(body, first)
        elif kind == "status":
            nb = _nonblank(body)
            if len(nb) != 1 or not re.fullmatch(r"\s*\d{1,3}\s*", nb[0]) or int(nb[0]) > 255:
                raise CaseError("line %d: 'status' needs one integer 0..255" % lineno)
            case.status = int(nb[0])
        elif kind == "output":
            _check_name(arg, lineno)
            if arg in output_names:
                raise CaseError("line %d: output %r given twice" % (lineno, arg))
            output_names.add(arg)
            nb = [l.split("#", 1)[0].strip() for l in body]
            words = [w for w in nb if w]
            if words in (["none"], ["unchanged"]):
                case.outputs.append((arg, words[0]))
            else:
                case.outputs.append((arg, parse_hex(body, first)))
        else:
            raise CaseError("line %d: unknown section kind %r (known: file hexfile setup run "
                            "stdout stderr status output)" % (lineno, kind))

    for kind in ("run", "stdout", "status"):
        if kind not in seen:
            raise CaseError("missing '--- %s' section" % kind)
    return case


# ---------------------------------------------------------------- running

def _make_writable_tree(top):
    """Undo chmods a setup may have made, so the tree can be removed."""
    try:
        os.chmod(top, 0o700)
    except OSError:
        pass
    for root, dirs, _files in os.walk(top):
        for d in dirs:
            p = os.path.join(root, d)
            if not os.path.islink(p):
                try:
                    os.chmod(p, 0o700)
                except OSError:
                    pass


def remove_tree(top):
    import shutil
    _make_writable_tree(top)
    shutil.rmtree(top, ignore_errors=True)


def _snapshot(path):
    """Return (kind, payload) for a path: file bytes, or stat if unreadable."""
    if not os.path.lexists(path):
        return ("missing", None)
    st = os.lstat(path)
    if not stat.S_ISREG(st.st_mode):
        return ("other", stat.S_IFMT(st.st_mode))
    try:
        with open(path, "rb") as f:
            return ("bytes", f.read())
    except OSError:
        return ("stat", (st.st_size, st.st_mtime_ns, st.st_ino))


def _diff(expected_lines, actual_lines, what):
    import difflib
    lines = list(difflib.unified_diff(expected_lines, actual_lines,
                                      "expected " + what, "actual " + what, lineterm=""))
    if len(lines) > DIFF_LINE_LIMIT:
        extra = len(lines) - DIFF_LINE_LIMIT
        lines = lines[:DIFF_LINE_LIMIT] + ["... (%d more diff lines)" % extra]
    return "\n".join(lines)


def _first_difference(a, b):
    for i, (x, y) in enumerate(zip(a, b)):
        if x != y:
            return i
    return min(len(a), len(b))


def _signal_status(rc):
    return 128 - rc if rc < 0 else rc


def _run(argv, executable, cwd, env, timeout):
    proc = subprocess.Popen(argv, executable=executable, cwd=cwd, env=env,
                            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, start_new_session=True)
    try:
        out, err = proc.communicate(timeout=timeout)
        return out, err, _signal_status(proc.returncode), False
    except subprocess.TimeoutExpired:
        try:
            os.killpg(proc.pid, signal.SIGKILL)
        except OSError:
            pass
        out, err = proc.communicate()
        return out, err, _signal_status(proc.returncode), True


def _round_trip_failures(case, bins, tmp, status):
    """Every compiled file a clean compile writes must list back, through vorn-dis, as a
    script that compiles to the same bytes. Checked when both programs were given."""
    if case.argv[0] != "vorn" or "vorn-dis" not in bins or status != 0:
        return []
    compiled = [name for name, expect in case.outputs if isinstance(expect, bytes)]
    if not compiled or not all(os.path.isfile(os.path.join(tmp, n)) for n in roundtrip_check.LISTS):
        return []
    failures = []
    for name in compiled:
        problem = roundtrip_check.check_one(bins["vorn"], bins["vorn-dis"], tmp, name)
        if problem:
            failures.append("round trip of %s through vorn-dis: %s" % (name, problem))
    return failures


def run_case(case, bins, timeout, keep, report):
    """Run a parsed case; return an exit code.  report(str) prints a message."""
    prog = case.argv[0]
    if prog not in bins:
        if prog in KNOWN_PROGRAMS:
            report("SKIP: case runs %s, which was not given with --bin" % prog)
            return EXIT_SKIP
        raise CaseError("run line names unknown program %r (known: %s)"
                        % (prog, ", ".join(sorted(set(KNOWN_PROGRAMS) | set(bins)))))
    if case.setup is not None:
        for name, var in ENV_NAMES.items():
            if name not in bins and re.search(r"\$\{?%s\b" % var, case.setup):
                report("SKIP: setup uses $%s, but %s was not given with --bin" % (var, name))
                return EXIT_SKIP

    env = dict(os.environ)
    env["LC_ALL"] = "C"
    for name, path in bins.items():
        env[ENV_NAMES.get(name, name.upper().replace("-", "_"))] = path

    tmp = tempfile.mkdtemp(prefix="vorn-e2e-")
    failed = True
    try:
        for name, data in case.files:
            path = os.path.join(tmp, name)
            parent = os.path.dirname(path)
            if parent:
                os.makedirs(parent, exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)

        if case.setup is not None:
            try:
                out, err, rc, timed_out = _run(["bash", "-euo", "pipefail", "-c", case.setup],
                                               None, tmp, env, timeout)
            except OSError as e:
                report("FAIL: cannot run setup with bash: %s" % e)
                return EXIT_FAIL
            if rc != 0 or timed_out:
                report("FAIL: setup %s (status %d)\n--- setup stdout:\n%s\n--- setup stderr:\n%s"
                       % ("timed out" if timed_out else "failed", rc,
                          "\n".join(render_text(out)), "\n".join(render_text(err))))
                return EXIT_FAIL

        before = {}
        for name, expect in case.outputs:
            if expect == "unchanged":
                before[name] = _snapshot(os.path.join(tmp, name))
                if before[name][0] == "missing":
                    report("FAIL: output %s is declared unchanged, but it does not exist "
                           "before the run (write it with a file/hexfile/setup section)" % name)
                    return EXIT_FAIL

        try:
            out, err, status, timed_out = _run(case.argv, bins[prog], tmp, env, timeout)
        except OSError as e:
            report("FAIL: cannot start %s (%s): %s" % (prog, bins[prog], e))
            return EXIT_FAIL

        failures = []
        if timed_out:
            failures.append("%s timed out after %g s and was killed" % (prog, timeout))
        if case.stdout is not None and out != case.stdout:
            failures.append("stdout differs:\n" + _diff(render_text(case.stdout),
                                                        render_text(out), "stdout"))
        if err != case.stderr:
            failures.append("stderr differs:\n" + _diff(render_text(case.stderr),
                                                        render_text(err), "stderr"))
        if not timed_out and status != case.status:
            failures.append("exit status: expected %d, got %d" % (case.status, status))

        for name, expect in case.outputs:
            path = os.path.join(tmp, name)
            now = _snapshot(path)
            if expect == "none":
                if now[0] != "missing":
                    failures.append("output %s: should not exist, but it does%s"
                                    % (name, " (%d bytes)" % len(now[1])
                                       if now[0] == "bytes" else ""))
            elif expect == "unchanged":
                if now != before[name]:
                    msg = "output %s: should be unchanged, but " % name
                    if now[0] == "missing":
                        msg += "it was removed"
                    elif now[0] == before[name][0] == "bytes":
                        msg += "its bytes changed:\n" + _diff(render_hex(before[name][1]),
                                                              render_hex(now[1]), name)
                    else:
                        msg += "it changed (%s -> %s)" % (before[name][0], now[0])
                    failures.append(msg)
            else:
                if now[0] == "missing":
                    failures.append("output %s: expected %d bytes, but the file does not exist"
                                    % (name, len(expect)))
                elif now[0] != "bytes":
                    failures.append("output %s: expected a readable file, found %s"
                                    % (name, now[0]))
                elif now[1] != expect:
                    failures.append(
                        "output %s: expected %d bytes, got %d; first difference at offset "
                        "%d (0x%X):\n%s" % (name, len(expect), len(now[1]),
                                            _first_difference(expect, now[1]),
                                            _first_difference(expect, now[1]),
                                            _diff(render_hex(expect), render_hex(now[1]), name)))

        if not failures:
            failures += _round_trip_failures(case, bins, tmp, status)

        if failures:
            report("FAIL: %s" % " ".join(shlex.quote(a) for a in case.argv))
            for f in failures:
                report(f)
            return EXIT_FAIL
        failed = False
        return EXIT_PASS
    finally:
        if keep and failed:
            report("(temporary directory kept: %s)" % tmp)
        else:
            remove_tree(tmp)


def main(argv):
    import argparse
    ap = argparse.ArgumentParser(description="Run one VORN end-to-end case file.")
    ap.add_argument("--bin", action="append", default=[], metavar="NAME=PATH",
                    help="program binary, e.g. vorn=/build/src/vorn (repeatable)")
    ap.add_argument("--timeout", type=float, default=60.0,
                    help="seconds before the program (or setup) is killed (default 60)")
    ap.add_argument("--keep", action="store_true",
                    help="keep the temporary directory of a failing case")
    ap.add_argument("casefile")
    args = ap.parse_args(argv)

    bins = {}
    for binding in args.bin:
        name, sep, path = binding.partition("=")
        if not sep or not name or not path:
            ap.error("--bin wants NAME=PATH, got %r" % binding)
        bins[name] = os.path.abspath(path)

    def report(msg):
        sys.stdout.write(msg + "\n")

    try:
        with open(args.casefile, "rb") as f:
            raw = f.read()
        case = parse_case(raw)
        rc = run_case(case, bins, args.timeout, args.keep, report)
    except CaseError as e:
        report("%s: malformed case file: %s" % (args.casefile, e))
        return EXIT_BAD_CASE
    except OSError as e:
        report("%s: %s" % (args.casefile, e))
        return EXIT_BAD_CASE
    if rc == EXIT_FAIL:
        report("in case file %s" % args.casefile)
    sys.stdout.flush()
    return rc


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
