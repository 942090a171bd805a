"""The VS Code extension: its manifest points at files that are there and parse, declares
what the extension offers, its client script is valid JavaScript, its problem matcher reads
vorn-check's real lines, and its TextMate grammars give the scopes that grammar/*.vs and
grammar/*.lst assert, run by the real engine through vscode-tmgrammar-test (from
editors/vscode's node_modules: skipped, status 77, where npm could not install it)."""

import argparse
import glob
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
EXTENSION = os.path.join(ROOT, "editors", "vscode")


def check_manifest():
    with open(os.path.join(EXTENSION, "package.json")) as f:
        manifest = json.load(f)
    contributes = manifest["contributes"]
    files = [g["path"] for g in contributes["grammars"]] + \
        [lang["configuration"] for lang in contributes["languages"] if "configuration" in lang]
    for name in files:
        with open(os.path.join(EXTENSION, name)) as f:
            json.load(f)
    grammar_scopes = {g["language"]: g["scopeName"] for g in contributes["grammars"]}
    assert grammar_scopes == {"vorn": "source.vorn", "vorn-list": "source.vorn-list"}, grammar_scopes
    # The manifest's main is the bundle that vsce's prepublish step makes from extension.js.
    assert manifest["main"] == "./dist/extension.js" and "bundle" in manifest["scripts"]["vscode:prepublish"]
    assert "./extension.js" in manifest["scripts"]["bundle"] and "--external:vscode" in manifest["scripts"]["bundle"]
    assert manifest["devDependencies"].get("vscode-languageclient"), "the client library is missing"
    assert not manifest.get("dependencies"), "bundled: nothing to ship in node_modules"
    # The version is the toolchain's.
    with open(os.path.join(ROOT, "CMakeLists.txt")) as f:
        version = re.search(r"project\(vorn VERSION (\S+)", f.read()).group(1)
    assert manifest["version"] == version, (manifest["version"], version)
    assert manifest["license"] == "MIT" and manifest["repository"]["url"]
    with open(os.path.join(EXTENSION, "LICENSE")) as f:
        assert f.readline().strip() == "MIT License"
    commands = {c["command"]: c["category"] + ": " + c["title"] for c in contributes["commands"]}
    assert commands == {"vorn.restartServer": "VORN: Restart language server"}, commands
    settings = contributes["configuration"]["properties"]
    assert settings["vorn.server.path"]["default"] == "vorn-lsp"
    assert settings["vorn.trace.server"]["enum"] == ["off", "messages", "verbose"]
    with open(os.path.join(EXTENSION, "extension.js")) as f:
        script = f.read()
    # The client takes its trace level from <its id>.trace.server.
    assert "new LanguageClient('vorn'," in script
    if shutil.which("node"):
        subprocess.run(["node", "--check", os.path.join(EXTENSION, "extension.js")], check=True)
    return manifest


def check_problem_matcher(manifest, vorn_check):
    """The matcher's pattern against what vorn-check prints for a script with errors in it and
    in an include: every located line is read with its file, line, column and text."""
    [matcher] = [m for m in manifest["contributes"]["problemMatchers"] if m["name"] == "vorn-check"]
    pattern = matcher["pattern"]
    regexp = re.compile(pattern["regexp"])
    with tempfile.TemporaryDirectory() as project:
        files = {
            "events.lst": "OnStart 1\n",
            "command.lst": "Wait 10 1\nSay 11 1\n",
            "main.vs": "include lib\\/doors.vs\nOnStart:\n    Jump(1)\n    Wait(1)\n",
            "lib/doors.vs": "defvar Doors 4\n    Say(Nope)\n",
        }
        for name, text in files.items():
            os.makedirs(os.path.dirname(os.path.join(project, name)), exist_ok=True)
            with open(os.path.join(project, name), "w") as f:
                f.write(text)
        run = subprocess.run([vorn_check, "-k", "main.vs"], cwd=project, capture_output=True, text=True, timeout=60)
    lines = run.stdout.splitlines() + run.stderr.splitlines()
    matched = []
    for line in lines:
        found = regexp.match(line)
        if found:
            matched.append((found.group(pattern["file"]), int(found.group(pattern["line"])),
                            int(found.group(pattern["column"])), found.group(pattern["severity"]),
                            found.group(pattern["message"])))
    assert ("lib/doors.vs", 2, 9, "error", "Unknown argument 'Nope'") in matched, (lines, matched)
    assert ("main.vs", 3, 5, "error", "Unknown command 'Jump'") in matched, (lines, matched)
    assert len(matched) == len([line for line in lines if ": error: " in line]), (lines, matched)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--vorn-check", help="checks the problem matcher against this vorn-check")
    args = parser.parse_args()
    manifest = check_manifest()
    print("manifest and client script: ok")
    if args.vorn_check:
        check_problem_matcher(manifest, os.path.abspath(args.vorn_check))
        print("problem matcher on vorn-check's lines: ok")
    tool = os.path.join(EXTENSION, "node_modules", ".bin", "vscode-tmgrammar-test")
    if not os.path.exists(tool):
        print("vscode-tmgrammar-test is not installed (npm install in editors/vscode): skipped")
        return 77
    tests = sorted(glob.glob(os.path.join(HERE, "grammar", "*.vs")) + glob.glob(os.path.join(HERE, "grammar", "*.lst")))
    grammars = []
    for grammar in manifest["contributes"]["grammars"]:
        grammars += ["-g", os.path.join(EXTENSION, grammar["path"])]
    run = subprocess.run([tool] + grammars + tests, capture_output=True, text=True, timeout=120)
    sys.stdout.write(run.stdout + run.stderr)
    return run.returncode


if __name__ == "__main__":
    sys.exit(main())
