#!/usr/bin/env python3
r"""Run one end-to-end case file against the VORN binaries.

Usage: run_case.py --bin vorn=PATH [--bin vorn-dis=PATH] [--bin vorn-check=PATH]
                   [--timeout SECONDS] [--keep] [--rebase] CASEFILE

--rebase rewrites the expected stdout, stderr, status and output sections that
the run does not meet to what it gave (after an intended change); the rest of
the file stays byte for byte.

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
                      $VORN / $VORN_DIS / $VORN_CHECK = binaries) run
                      before the program.
                      A failing setup fails the case.
  --- run             one line: program name (vorn / vorn-dis / vorn-check) and
                      arguments,
                      split with shlex; no shell involved.  argv[0] is the
                      bare program name.
  --- stdout          expected standard output (escaped text; exact bytes).
  --- stdout ignore   do not compare standard output (section must be empty).
  --- stdout json     standard output must be one JSON document that matches the
                      section's JSON text (read as it stands: the escapes below
                      do not apply).  Every key the expected object gives must
                      be there with a matching value; keys it leaves out are not
                      checked.  Arrays must have the same length and match
                      element by element; other values must be equal, of the
                      same JSON type.
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

import json
import os
import re
import shlex
import signal
import stat
import subprocess
import sys
import tempfile

import byte_map_check
import roundtrip_check

EXIT_PASS, EXIT_FAIL, EXIT_BAD_CASE, EXIT_SKIP = 0, 1, 2, 77
KNOWN_PROGRAMS = ("vorn", "vorn-dis", "vorn-check", "vorn-list", "vorn-fmt")
ENV_NAMES = {"vorn": "VORN", "vorn-dis": "VORN_DIS", "vorn-check": "VORN_CHECK", "vorn-list": "VORN_LIST",
             "vorn-fmt": "VORN_FMT"}
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
        self.stdout = None       # bytes, or None if ignored or JSON
        self.stdout_json = None  # (value,) for a "stdout json" section
        self.stderr = b""
        self.stdin = None        # bytes for the program's standard input; None: /dev/null
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
        if kind in ("setup", "run", "stdin", "stdout", "stderr", "status"):
            if kind in seen:
                raise CaseError("line %d: second '%s' section" % (lineno, kind))
            seen.add(kind)
            if arg and not (kind == "stdout" and arg in ("ignore", "json")):
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
            elif arg == "json":
                try:
                    case.stdout_json = (json.loads("\n".join(body)),)
                except ValueError as e:
                    raise CaseError("line %d: 'stdout json' holds no JSON document: %s"
                                    % (lineno, e))
            else:
                case.stdout = decode_text(body, first)
        elif kind == "stderr":
            case.stderr = decode_text(body, first)
        elif kind == "stdin":
            case.stdin = decode_text(body, first)
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
                            "stdin stdout stderr status output)" % (lineno, kind))

    for kind in ("run", "stdout", "status"):
        if kind not in seen:
            raise CaseError("missing '--- %s' section" % kind)
    return case


# ---------------------------------------------------------------- JSON

def _json_type(value):
    if value is None:
        return "null"
    if isinstance(value, bool):
        return "boolean"
    if isinstance(value, (int, float)):
        return "number"
    if isinstance(value, str):
        return "string"
    if isinstance(value, list):
        return "array"
    return "object"


def _json_path(path):
    return path or "the document"


def json_mismatches(expected, actual, path=""):
    """Where actual does not match expected: every key of an expected object must be in
    actual with a matching value (other keys of actual are not looked at), arrays match
    element by element and have the same length, anything else is equal and of the same
    JSON type. Returns a list of messages, empty when it matches."""
    kind = _json_type(expected)
    if kind != _json_type(actual):
        return ["%s: expected %s %s, got %s %s"
                % (_json_path(path), kind, json.dumps(expected), _json_type(actual),
                   json.dumps(actual))]
    found = []
    if kind == "object":
        for key, value in expected.items():
            where = "%s.%s" % (path, key)
            if key not in actual:
                found.append("%s: missing (expected %s)" % (where, json.dumps(value)))
            else:
                found += json_mismatches(value, actual[key], where)
    elif kind == "array":
        if len(expected) != len(actual):
            found.append("%s: expected %d elements, got %d"
                         % (_json_path(path), len(expected), len(actual)))
        for i, (e, a) in enumerate(zip(expected, actual)):
            found += json_mismatches(e, a, "%s[%d]" % (path, i))
    elif expected != actual:
        found.append("%s: expected %s, got %s"
                     % (_json_path(path), json.dumps(expected), json.dumps(actual)))
    return found


def _stdout_json_failures(expected, out):
    try:
        actual = json.loads(out.decode("utf-8"))
    except (UnicodeDecodeError, ValueError) as e:
        return ["stdout is not one JSON document (%s):\n%s"
                % (e, "\n".join(render_text(out)[:DIFF_LINE_LIMIT]))]
    found = json_mismatches(expected, actual)
    if not found:
        return []
    shown = found[:DIFF_LINE_LIMIT]
    if len(found) > len(shown):
        shown.append("... (%d more)" % (len(found) - len(shown)))
    return ["stdout JSON does not match:\n" + "\n".join(shown)]


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


def _run(argv, executable, cwd, env, timeout, stdin=None):
    proc = subprocess.Popen(argv, executable=executable, cwd=cwd, env=env,
                            stdin=subprocess.DEVNULL if stdin is None else subprocess.PIPE,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, start_new_session=True)
    try:
        out, err = proc.communicate(input=stdin, timeout=timeout)
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
    if "vorn-list" in bins and len(case.argv) == 3 and case.argv[2] in compiled:
        failures += _listing_failures(case, bins, tmp, case.argv[1], case.argv[2])
    return failures


def _listing_failures(case, bins, tmp, script, name):
    """vorn-list's listing of the script names every byte of the compiled file once, and
    the symbol map it writes gives vorn-dis the names back in a listing that still compiles
    to the same bytes."""
    failures = []
    problem = byte_map_check.check_one(bins["vorn-list"], tmp, script, name)
    if problem:
        failures.append("byte map of %s in vorn-list's listing: %s" % (name, problem))
    with tempfile.TemporaryDirectory(prefix="vorn-map-") as where:
        map_path = os.path.join(where, "symbols.map")
        out, err, status, _ = _run(["vorn-list", "--map", map_path, script], bins["vorn-list"],
                                   tmp, dict(os.environ, LC_ALL="C"), 60)
        if status != 0 or not os.path.isfile(map_path):
            failures.append("vorn-list --map ended with status %d: %s"
                            % (status, err.decode("latin-1")))
            return failures
        problem = roundtrip_check.check_one(bins["vorn"], bins["vorn-dis"], tmp, name, map_path)
        if problem:
            failures.append("round trip of %s through vorn-dis --map: %s" % (name, problem))
    return failures


class Observed:
    """What a run did: its output, status, and the declared output files before and after."""

    def __init__(self):
        self.out = self.err = b""
        self.status = None
        self.timed_out = False
        self.before = {}     # name -> snapshot, for outputs declared unchanged
        self.outputs = {}    # name -> snapshot after the run


def expectation_failures(case, seen, timeout=None):
    """What of the case's expectations the observed run does not meet, as messages."""
    out, err, status = seen.out, seen.err, seen.status
    failures = []
    if seen.timed_out:
        failures.append("%s timed out after %g s and was killed" % (case.argv[0], timeout))
    if case.stdout is not None and out != case.stdout:
        failures.append("stdout differs:\n" + _diff(render_text(case.stdout),
                                                    render_text(out), "stdout"))
    if case.stdout_json is not None:
        failures += _stdout_json_failures(case.stdout_json[0], out)
    if err != case.stderr:
        failures.append("stderr differs:\n" + _diff(render_text(case.stderr),
                                                    render_text(err), "stderr"))
    if not seen.timed_out and status != case.status:
        failures.append("exit status: expected %d, got %d" % (case.status, status))
    before = seen.before
    for name, expect in case.outputs:
        now = seen.outputs[name]
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
    return failures


def run_case(case, bins, timeout, keep, report, observed=None):
    """Run a parsed case; return an exit code.  report(str) prints a message.  An Observed
    given as observed gets what the program did, once it has run."""
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
            out, err, status, timed_out = _run(case.argv, bins[prog], tmp, env, timeout, case.stdin)
        except OSError as e:
            report("FAIL: cannot start %s (%s): %s" % (prog, bins[prog], e))
            return EXIT_FAIL

        seen = observed if observed is not None else Observed()
        seen.out, seen.err, seen.status, seen.timed_out = out, err, status, timed_out
        seen.before = before
        for name, _expect in case.outputs:
            seen.outputs[name] = _snapshot(os.path.join(tmp, name))
        failures = expectation_failures(case, seen, timeout)

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


# ---------------------------------------------------------------- rebasing

def _json_projection(expected, actual):
    """actual, cut down to the keys that expected gives (recursively). Array elements past
    the expected ones take the last expected element's keys."""
    if isinstance(expected, dict) and isinstance(actual, dict):
        return {k: _json_projection(v, actual[k]) for k, v in expected.items() if k in actual}
    if isinstance(expected, list) and isinstance(actual, list):
        out = []
        for i, a in enumerate(actual):
            template = expected[min(i, len(expected) - 1)] if expected else a
            out.append(_json_projection(template, a))
        return out
    return actual


def _json_lines(value, indent=0):
    """JSON text with objects and arrays laid out one member a line down to the members
    that hold no containers; those are written on one line."""
    pad = " " * indent
    flat = json.dumps(value)
    if not isinstance(value, (dict, list)) or not value or not any(
            isinstance(v, (dict, list)) for v in (value.values() if isinstance(value, dict)
                                                  else value)) and len(flat) <= 90:
        return [pad + flat]
    if isinstance(value, dict):
        items = [(json.dumps(k) + ": ", v) for k, v in value.items()]
        opener, closer = "{", "}"
    else:
        items = [("", v) for v in value]
        opener, closer = "[", "]"
    lines = [pad + opener]
    for n, (key, v) in enumerate(items):
        inner = _json_lines(v, indent + 2)
        inner[0] = pad + "  " + key + inner[0].lstrip()
        if n < len(items) - 1:
            inner[-1] += ","
        lines += inner
    lines.append(pad + closer)
    return lines


def _section_spans(lines):
    """The sections of a case file's lines as parse_case sees them: (kind, arg, header
    index, body start, body end); blank lines at the end of the file are in no section."""
    content_end = len(lines)
    while content_end and lines[content_end - 1].strip() == "":
        content_end -= 1
    headers = [k for k in range(content_end) if lines[k].startswith("--- ")]
    spans = []
    for n, k in enumerate(headers):
        kind, _, arg = lines[k][4:].strip().partition(" ")
        end = headers[n + 1] if n + 1 < len(headers) else content_end
        spans.append((kind, arg.strip(), k, k + 1, end))
    return spans, content_end


def _ending_blank_lines_kept(body):
    """Blank lines that end the last section would be dropped with the file's trailing blank
    lines: write each as a \n escape on the line before (or alone, with no line end)."""
    body = list(body)
    blanks = 0
    while body and body[-1] == "":
        body.pop()
        blanks += 1
    if blanks:
        if body:
            body[-1] += "\\n" * blanks
        else:
            body = ["\\n" * blanks + "\\"]
    return body


def _output_lines(now):
    if now[0] == "missing":
        return ["none"]
    if now[0] == "bytes":
        return render_hex(now[1])
    return None


def rebase_text(raw, case, seen):
    """The case file with the stdout, stderr, status and output sections that the observed
    run does not meet rewritten to what it did; every other byte stays. Returns (new raw
    bytes, names of the sections rewritten, problems that cannot be written down)."""
    text = raw.decode("utf-8", "surrogateescape")
    ends_with_newline = text.endswith("\n")
    lines = text.split("\n")
    if ends_with_newline:
        lines.pop()
    spans, content_end = _section_spans(lines)
    new_bodies = {}   # header index -> new body lines
    inserted = None   # (index to insert at, lines)
    changed, problems = [], []
    outputs = dict(case.outputs)
    for kind, arg, header, _start, _end in spans:
        if kind == "stdout" and arg == "" and seen.out != case.stdout:
            new_bodies[header] = render_text(seen.out)
        elif kind == "stdout" and arg == "json" and _stdout_json_failures(case.stdout_json[0],
                                                                          seen.out):
            try:
                actual = json.loads(seen.out.decode("utf-8"))
            except (UnicodeDecodeError, ValueError):
                problems.append("stdout is not JSON; a 'stdout json' section cannot hold it")
                continue
            new_bodies[header] = _json_lines(_json_projection(case.stdout_json[0], actual))
        elif kind == "stderr" and seen.err != case.stderr:
            new_bodies[header] = render_text(seen.err)
        elif kind == "status" and seen.status != case.status:
            new_bodies[header] = [str(seen.status)]
        elif kind == "output":
            expect, now = outputs[arg], seen.outputs[arg]
            met = (now[0] == "missing" if expect == "none" else
                   now == seen.before[arg] if expect == "unchanged" else
                   now == ("bytes", expect))
            if not met:
                body = _output_lines(now)
                if body is None:
                    problems.append("output %s is no regular readable file" % arg)
                else:
                    new_bodies[header] = body
        else:
            continue
        if header in new_bodies:
            changed.append(kind if kind != "output" else "output " + arg)
    if seen.err and not any(kind == "stderr" for kind, *_ in spans):
        after = next((end for kind, _a, _h, _s, end in spans if kind == "stdout"), content_end)
        inserted = (after, ["--- stderr"] + render_text(seen.err))
        changed.append("stderr")

    # Applied from the end of the file backwards, so that earlier indexes stay good; an
    # insertion at the end of a body goes in before that body is replaced.
    edits = [(start, end, new_bodies[header]) for _k, _a, header, start, end in spans
             if header in new_bodies]
    if inserted is not None:
        edits.append((inserted[0], inserted[0], inserted[1]))
    edits.sort(key=lambda e: (e[0], e[1]), reverse=True)
    for n, (start, end, body) in enumerate(edits):
        # The edit that now ends the file's content: its ending blank lines need escapes.
        if n == 0 and end == content_end:
            head = body[:1] if start == end else []
            body = head + _ending_blank_lines_kept(body[len(head):])
        lines[start:end] = body
    new_text = "\n".join(lines) + ("\n" if ends_with_newline else "")
    return new_text.encode("utf-8", "surrogateescape"), changed, problems


def rebase_case(path, raw, case, seen, report):
    """Rewrites the case file at path from the observed run; returns an exit code."""
    if seen.status is None or seen.timed_out:
        report("%s: not rebased: the program did not run to its end" % path)
        return EXIT_FAIL
    new_raw, changed, problems = rebase_text(raw, case, seen)
    for problem in problems:
        report("%s: not rebased: %s" % (path, problem))
    if problems:
        return EXIT_FAIL
    if not changed:
        report("%s: not rebased: its stdout, stderr, status and outputs already hold; "
               "what fails is not written in them" % path)
        return EXIT_FAIL
    # The new file must parse, and the run must meet it.
    left = expectation_failures(parse_case(new_raw), seen)
    if left:
        report("%s: not rebased: the rewritten case would still fail:\n%s"
               % (path, "\n".join(left)))
        return EXIT_FAIL
    temp = path + ".rebase-tmp"
    with open(temp, "wb") as f:
        f.write(new_raw)
    os.chmod(temp, stat.S_IMODE(os.stat(path).st_mode))
    os.replace(temp, path)
    report("%s: rebased %s" % (path, ", ".join(changed)))
    return EXIT_PASS


def main(argv):
    import argparse
    ap = argparse.ArgumentParser(description="Run one VORN end-to-end case file.")
    ap.add_argument("--bin", action="append", default=[], metavar="NAME=PATH",
                    help="program binary, e.g. vorn=/build/src/vorn (repeatable)")
    ap.add_argument("--timeout", type=float, default=60.0,
                    help="seconds before the program (or setup) is killed (default 60)")
    ap.add_argument("--keep", action="store_true",
                    help="keep the temporary directory of a failing case")
    ap.add_argument("--rebase", action="store_true",
                    help="after an intended change: rewrite the expected stdout, stderr, "
                         "status and output sections that the run does not meet")
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
        seen = Observed()
        rc = run_case(case, bins, args.timeout, args.keep and not args.rebase,
                      report if not args.rebase else lambda msg: None, seen)
        if args.rebase and rc == EXIT_FAIL:
            return rebase_case(args.casefile, raw, case, seen, report)
        if args.rebase and rc == EXIT_SKIP:
            report("SKIP: %s needs a program that was not given with --bin" % args.casefile)
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
