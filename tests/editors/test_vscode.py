"""The VS Code extension: its manifest points at files that are there and parse, its client
script is valid JavaScript, and its TextMate grammar gives the scopes that grammar/*.vs
assert, run by the real engine through vscode-tmgrammar-test (from editors/vscode's
node_modules: skipped, status 77, where npm could not install it)."""

import glob
import json
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
EXTENSION = os.path.normpath(os.path.join(HERE, "..", "..", "editors", "vscode"))


def check_manifest():
    with open(os.path.join(EXTENSION, "package.json")) as f:
        manifest = json.load(f)
    contributes = manifest["contributes"]
    files = [manifest["main"]] + [g["path"] for g in contributes["grammars"]] + \
        [lang["configuration"] for lang in contributes["languages"] if "configuration" in lang]
    for name in files:
        with open(os.path.join(EXTENSION, name)) as f:
            if name.endswith(".json"):
                json.load(f)
    grammar_scopes = {g["scopeName"] for g in contributes["grammars"]}
    assert grammar_scopes == {"source.vorn"}, grammar_scopes
    assert manifest["dependencies"].get("vscode-languageclient"), "the client library is missing"
    if shutil.which("node"):
        subprocess.run(["node", "--check", os.path.join(EXTENSION, manifest["main"])], check=True)


def main():
    check_manifest()
    print("manifest and client script: ok")
    tool = os.path.join(EXTENSION, "node_modules", ".bin", "vscode-tmgrammar-test")
    if not os.path.exists(tool):
        print("vscode-tmgrammar-test is not installed (npm install in editors/vscode): skipped")
        return 77
    tests = sorted(glob.glob(os.path.join(HERE, "grammar", "*.vs")))
    run = subprocess.run([tool, "-g", os.path.join(EXTENSION, "syntaxes", "vorn.tmLanguage.json")] + tests,
                         capture_output=True, text=True, timeout=120)
    sys.stdout.write(run.stdout + run.stderr)
    return run.returncode


if __name__ == "__main__":
    sys.exit(main())
