"""The playground in a real browser: serves the folder that make playground builds on
127.0.0.1, drives it in Debian's Chromium through puppeteer-core (playground_ui.js), and checks
what a user sees and gets: the editor ready, an error underlined and listed, hover, completion,
a rename across two tabs, formatting, a quick fix, and, for every example of examples/ and for
generated projects, that Compile prints exactly what native vorn prints and that the downloaded
file has the same bytes; last, the permalink opened in a fresh page holds the same files.
Figures (time to a ready editor, keystroke to diagnostics, a 5,000-line compile, sizes) are
printed. Skipped (status 77) where the folder is not built (no emscripten or npm), or where
Chromium, node or puppeteer-core is missing. Screenshots are kept in the work folder.

    test_playground.py --vorn VORN --site build-web/playground --work DIR [--projects N]
"""

import argparse
import functools
import http.server
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
EXAMPLES = os.path.join(ROOT, "examples")
SETUP = os.path.join(ROOT, "tests", "editors", "setup_vscode.sh")
sys.path.insert(0, os.path.join(ROOT, "tests", "browser"))
import browser_run  # noqa: E402

DEADLINE_SECONDS = 400
# Names the generated scripts use beside the lists' own; some are never defined, so that
# generated projects have errors too.
NAMES = ["Count", "Hour", "Mood", "Doors", "Speed", "Limit", "Nope"]
CONDITIONS = ["Equal", "NotEqual", "LessThan", "GreaterThan", "NotLessThan", "GreaterThanOrEqual"]


def skip(why):
    print("skipped: " + why)
    return 77


def read_list(path):
    """The entries of a list: (name, arguments) for command.lst, names for events.lst."""
    entries = []
    with open(path, encoding="latin-1") as f:
        for line in f:
            words = line.split(";")[0].split()
            if words:
                entries.append((words[0], int(words[2]) if len(words) > 2 else 0))
    return entries


def example_projects():
    """Each folder of examples/ that has an events.lst: its lists and scripts (those of
    subfolders that are not projects of their own too), and its top scripts."""
    found = []
    for folder, dirs, _ in os.walk(EXAMPLES):
        dirs.sort()
        if not os.path.exists(os.path.join(folder, "events.lst")):
            continue
        files = {}
        for sub, subdirs, names in os.walk(folder):
            subdirs[:] = sorted(d for d in subdirs if not os.path.exists(os.path.join(sub, d, "events.lst")))
            for name in sorted(names):
                if name.endswith((".vs", ".lst")):
                    rel = os.path.relpath(os.path.join(sub, name), folder).replace(os.sep, "/")
                    with open(os.path.join(sub, name), encoding="latin-1") as f:
                        files[rel] = f.read()
        top = sorted(p for p in files if p.endswith(".vs") and "/" not in p)
        found.append({"name": os.path.relpath(folder, ROOT), "files": files, "top": top, "example": True})
    return found


def generated_project(seed):
    """A project of a top script and two includes over examples/'s lists: definitions, labels,
    statements with right and wrong argument counts, names known and unknown, strings with
    escapes, comments, long lines; with errors or without, as the seed falls."""
    rng = random.Random(seed)
    events = [name for name, _ in read_list(os.path.join(EXAMPLES, "events.lst"))]
    commands = read_list(os.path.join(EXAMPLES, "command.lst"))
    clean = seed % 2 == 0

    def argument(defined):
        if clean:
            kind = rng.randrange(3)
            if kind == 0:
                return str(rng.randrange(0, 65536))
            if kind == 1 or not defined:
                return '"%s"' % rng.choice(["hi", "a \\\"quoted\\\" word", "semi; colon", "x" * rng.randrange(1, 40)])
            return rng.choice(defined)
        kind = rng.randrange(5)
        if kind == 0:
            return str(rng.randrange(0, 70000))
        if kind == 1:
            return '"%s"' % rng.choice(["hi", "a \\\"quoted\\\" word", "semi; colon", "x" * rng.randrange(1, 90)])
        if kind == 2 and defined:
            return rng.choice(defined)
        if kind == 3 and not clean:
            return rng.choice(NAMES)
        return "&%d" % rng.randrange(1, 4) if rng.random() < 0.5 else rng.choice(CONDITIONS)

    def statement(defined):
        name, count = rng.choice(commands)
        if not clean and rng.random() < 0.1:
            count += rng.choice([-1, 1]) if count else 1
        args = [argument(defined) if name != "If" or i != 1 else rng.choice(CONDITIONS) for i in range(max(count, 0))]
        comment = rng.choice(["", "", " ; note", "   ; a \\; b"])
        return "    %s(%s)%s" % (name, ", ".join(args), comment)

    def body(defined, places, lines):
        out = []
        for _ in range(lines):
            roll = rng.random()
            if roll < 0.08 and not clean:
                out.append("%d   ; place" % rng.choice(places))
            elif roll < 0.12:
                out.append("; a comment line")
            elif roll < 0.14:
                out.append("")
            else:
                out.append(statement(defined))
        return out

    files = {}
    with open(os.path.join(EXAMPLES, "events.lst"), encoding="latin-1") as f:
        files["events.lst"] = f.read()
    with open(os.path.join(EXAMPLES, "command.lst"), encoding="latin-1") as f:
        files["command.lst"] = f.read()
    defined = []
    lib = []
    for i in range(rng.randrange(1, 5)):
        name = "Var%d" % i
        lib.append("defvar %s %d" % (name, i + 1))
        defined.append(name)
    for i in range(rng.randrange(1, 4)):
        name = "Num%d" % i
        lib.append("defnum %s %d" % (name, rng.randrange(0, 65536)))
        defined.append(name)
    files["lib/names.vs"] = "\n".join(lib) + "\n"
    places = list(range(1, rng.randrange(2, 6)))
    files["lib/more.vs"] = "\n".join(body(defined, places, rng.randrange(3, 15))) + "\n"
    top = ["; generated %d" % seed, "include lib\\/names.vs"]
    for event in rng.sample(events, rng.randrange(1, len(events) + 1)):
        top.append("%s:" % event)
        top.extend(body(defined, places, rng.randrange(2, 20)))
    top.append("include lib\\/more.vs")
    for place in places:
        top.append("%d" % place)
        top.extend(body(defined, places, rng.randrange(1, 6)))
    files["main.vs"] = "\r\n".join(top) + ("\r\n" if rng.random() < 0.5 else "")
    return {"name": "generated-%d" % seed, "files": files, "top": ["main.vs"]}


def native(vorn, project):
    """What vorn prints, its status and the compiled file's bytes (hex, empty when it writes
    none), for each top script, run in a folder that holds the project."""
    results = {}
    with tempfile.TemporaryDirectory() as folder:
        for path, text in project["files"].items():
            os.makedirs(os.path.dirname(os.path.join(folder, path)), exist_ok=True)
            with open(os.path.join(folder, path), "w", encoding="latin-1", newline="") as f:
                f.write(text)
        for script in project["top"]:
            out = os.path.splitext(os.path.basename(script))[0] + ".bin"
            run = subprocess.run([vorn, script, out], cwd=folder, capture_output=True, timeout=60)
            written = os.path.join(folder, out)
            output = ""
            if os.path.exists(written):
                with open(written, "rb") as f:
                    output = f.read().hex()
                os.remove(written)
            results[script] = {"console": run.stdout.decode("latin-1"), "status": run.returncode,
                               "output": output}
    return results


class Handler(http.server.SimpleHTTPRequestHandler):
    extensions_map = dict(http.server.SimpleHTTPRequestHandler.extensions_map,
                          **{".wasm": "application/wasm", ".js": "text/javascript"})

    def log_message(self, *args):
        pass


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--vorn", required=True)
    parser.add_argument("--site", required=True, help="the folder make playground builds")
    parser.add_argument("--work", required=True, help="a folder for the browser, downloads and screenshots")
    parser.add_argument("--projects", type=int, default=6, help="how many generated projects")
    args = parser.parse_args()
    args.vorn = os.path.abspath(args.vorn)
    if not os.path.exists(os.path.join(args.site, "vorn.wasm")):
        return skip("the playground is not built in %s (make playground; it needs emscripten and npm)" % args.site)
    chromium = shutil.which("chromium")
    if not chromium or not shutil.which("node"):
        return skip("chromium or node is missing (tests/editors/setup_vscode.sh installs them)")
    tools = subprocess.run(["bash", SETUP, "--where"], capture_output=True, text=True, check=True).stdout.strip()
    puppeteer = os.path.join(tools, "node_modules", "puppeteer-core")
    if not os.path.exists(puppeteer):
        return skip("puppeteer-core is not installed in %s (tests/editors/setup_vscode.sh)" % tools)

    work = os.path.abspath(args.work)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(os.path.join(work, "downloads"))
    projects = example_projects() + [generated_project(seed) for seed in range(args.projects)]
    for project in projects:
        project["native"] = native(args.vorn, project)
    with open(os.path.join(work, "projects.json"), "w") as f:
        json.dump(projects, f)

    server = http.server.ThreadingHTTPServer(
        ("127.0.0.1", 0), functools.partial(Handler, directory=os.path.abspath(args.site)))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    browser = driver = None
    start = time.monotonic()
    try:
        browser, endpoint = browser_run.start_chromium(chromium, work)
        driver = browser_run.start_driver(
            os.path.join(HERE, "playground_ui.js"), puppeteer, endpoint,
            dict(os.environ, VORN_URL="http://127.0.0.1:%d/index.html" % server.server_address[1],
                 VORN_WORK=work, VORN_PROJECTS=os.path.join(work, "projects.json")))
        status = browser_run.wait(driver, DEADLINE_SECONDS)
    finally:
        browser_run.stop(driver)
        browser_run.stop(browser)
        server.shutdown()
    print("playground: %s in %.0f s; screenshots in %s" % ("passed" if status == 0 else "failed",
                                                           time.monotonic() - start, os.path.join(work, "screenshots")))
    return status


if __name__ == "__main__":
    sys.exit(main())
