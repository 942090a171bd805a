"""The VS Code extension in real VS Code: packs the .vsix as make vsix does, installs it with
code-server (VS Code's server, from npm) into a fresh profile, serves a project folder on
127.0.0.1, and drives the page in Debian's Chromium (vscode_ui.js) to check what a user
sees. code-server and puppeteer-core come from setup_vscode.sh; where they, Chromium or the
extension's npm packages are missing, or VORN_FRESH_ROOT is set, the test is skipped
(status 77). Screenshots of failed checks are kept in the work folder."""

import argparse
import glob
import json
import os
import shutil
import socket
import subprocess
import sys
import time
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
EXTENSION = os.path.normpath(os.path.join(HERE, "..", "..", "editors", "vscode"))
sys.path.insert(0, os.path.normpath(os.path.join(HERE, "..", "browser")))
import browser_run  # noqa: E402

# The whole run, from packing to the last check, and the start of each server.
DEADLINE_SECONDS = 300
START_SECONDS = 60
FILES = {
    "events.lst": "OnStart 1\nOnTouch 2\n",
    "command.lst": "Wait 10 1\nSay 11 1\nStop 12 0\nSet 14 2\n",
    "main.vs": "include lib\\/doors.vs   ; the doors\nOnStart:\n    Say(\"open\")\n    Wait(Doors)\n    \n"
               "    Wait(Speed)\n",
    "lib/doors.vs": "defvar Doors 4\n    Set(\"é\",   Nope) ; é\ndefnum Speed 7\n",
    # A project of its own inside the workspace (as examples/build/ is): compiled against the
    # outer lists, tool.vs would show false errors in the Problems panel.
    "build/events.lst": "OnStart 1\n",
    "build/command.lst": "Hour 20 0\n",
    "build/tool.vs": "include lib\\/names.vs\nOnStart:\n    Hour()\n",
    "build/lib/names.vs": "defvar Mood 3\n",
}


def skip(why):
    print("skipped: " + why)
    return 77


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_http(url, process, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if process.poll() is not None:
            raise RuntimeError("code-server ended with status %d" % process.returncode)
        try:
            with urllib.request.urlopen(url, timeout=2):
                return
        except OSError:
            time.sleep(0.3)
    raise RuntimeError("code-server did not answer within %d s" % seconds)


def check_trace(work):
    """vorn.trace.server set to messages: the extension's output channel, which VS Code keeps
    in the profile's logs, traces the messages to and from vorn-lsp."""
    logs = glob.glob(os.path.join(work, "user", "logs", "*", "exthost*", "output_logging_*", "*VORN language server*"))
    text = ""
    for log in logs:
        with open(log, errors="replace") as f:
            text += f.read()
    for want in ("Sending request 'initialize", "Received notification 'textDocument/publishDiagnostics'"):
        if want not in text:
            print("FAIL trace of the server's messages: no %r in %s" % (want, logs))
            return 1
    print("ok   trace of the server's messages in the output channel")
    return 0


def run(args, tools, chromium):
    work = os.path.abspath(args.work)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    home = os.path.join(work, "home")
    os.makedirs(home)
    # A home of its own: code-server writes its configuration there, Chromium its caches.
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
               XDG_DATA_HOME=os.path.join(home, ".local", "share"), XDG_CACHE_HOME=os.path.join(home, ".cache"))
    deadline = time.monotonic() + DEADLINE_SECONDS

    def left():
        return max(1, deadline - time.monotonic())

    vsix = os.path.join(work, "vorn.vsix")
    subprocess.run(["npm", "run", "--silent", "package", "--", "--out", vsix], cwd=EXTENSION, check=True,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, timeout=left())

    code_server = os.path.join(tools, "node_modules", ".bin", "code-server")
    profile = ["--user-data-dir", os.path.join(work, "user"), "--extensions-dir", os.path.join(work, "extensions")]
    installed = subprocess.run([code_server, "--install-extension", vsix] + profile, env=env,
                               stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=left())
    print(installed.stdout.strip())
    if installed.returncode != 0 or "successfully installed" not in installed.stdout:
        print(installed.stderr)
        return 1

    project = os.path.join(work, "project")
    for name, text in FILES.items():
        os.makedirs(os.path.dirname(os.path.join(project, name)), exist_ok=True)
        with open(os.path.join(project, name), "w", encoding="utf-8") as f:
            f.write(text)
    settings = os.path.join(work, "user", "User", "settings.json")
    os.makedirs(os.path.dirname(settings), exist_ok=True)
    with open(settings, "w") as f:
        json.dump({
            # Relative to the workspace folder, as a project may keep it.
            "vorn.server.path": os.path.relpath(os.path.abspath(args.vorn_lsp), project),
            "workbench.startupEditor": "none",
            "workbench.colorTheme": "Default Dark Modern",
            "workbench.tips.enabled": False,
            "workbench.enableExperiments": False,
            "extensions.ignoreRecommendations": True,
            "security.workspace.trust.enabled": False,
            "telemetry.telemetryLevel": "off",
            "chat.disableAIFeatures": True,
            "vorn.trace.server": "messages",
            "editor.hover.delay": 100,
            "files.autoSave": "off",
            "extensions.autoCheckUpdates": False,
            "extensions.autoUpdate": False,
        }, f, indent=2)

    port = free_port()
    config = os.path.join(work, "code-server.yaml")
    with open(config, "w") as f:
        f.write("bind-addr: 127.0.0.1:%d\nauth: none\ncert: false\n" % port)
    code_log = open(os.path.join(work, "code-server.log"), "w")
    servers = []
    try:
        servers.append(subprocess.Popen(
            [code_server, "--config", config, "--bind-addr", "127.0.0.1:%d" % port, "--auth", "none",
             "--disable-telemetry", "--disable-update-check", "--disable-workspace-trust",
             "--disable-getting-started-override", "--ignore-last-opened"] + profile + [project],
            env=env, stdin=subprocess.DEVNULL, stdout=code_log, stderr=code_log, start_new_session=True))
        wait_for_http("http://127.0.0.1:%d/healthz" % port, servers[0], min(START_SECONDS, left()))
        browser, endpoint = browser_run.start_chromium(chromium, work, env)
        servers.append(browser)
        driver = browser_run.start_driver(
            os.path.join(HERE, "vscode_ui.js"), os.path.join(tools, "node_modules", "puppeteer-core"), endpoint,
            dict(env, VORN_URL="http://127.0.0.1:%d/?folder=%s" % (port, project),
                 VORN_SHOTS=os.path.join(work, "screenshots"),
                 VORN_SETTINGS=os.path.join(project, ".vscode", "settings.json"), VORN_PROJECT=project,
                 VORN_EXTENSION=EXTENSION,
                 VORN_THEME=os.path.join(tools, "node_modules", "code-server", "lib", "vscode", "extensions",
                                         "theme-defaults", "themes", "dark_modern.json")))
        servers.append(driver)
        status = browser_run.wait(driver, left())
    finally:
        for process in reversed(servers):
            browser_run.stop(process)
        code_log.close()
    if status == 0:
        status = check_trace(work)
    if status != 0:
        print("logs and screenshots: " + work)
    return status


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--vorn-lsp", required=True)
    parser.add_argument("--work", required=True, help="a folder for the profile, project, logs and screenshots")
    args = parser.parse_args()
    if os.environ.get("VORN_FRESH_ROOT"):
        return skip("VORN_FRESH_ROOT is set (the fresh-machine run leaves real VS Code out)")
    tools = subprocess.run(["bash", os.path.join(HERE, "setup_vscode.sh"), "--where"], capture_output=True,
                           text=True, check=True).stdout.strip()
    if not os.path.exists(os.path.join(tools, ".complete")):
        return skip("code-server is not installed in %s (run tests/editors/setup_vscode.sh)" % tools)
    if not os.path.exists(os.path.join(EXTENSION, "node_modules", ".bin", "vsce")):
        return skip("vsce is not installed in editors/vscode (run tests/editors/setup_vscode.sh)")
    chromium = shutil.which("chromium")
    if not chromium or not shutil.which("node"):
        return skip("chromium or node is missing (run tests/editors/setup_vscode.sh)")
    start = time.monotonic()
    status = run(args, tools, chromium)
    print("vscode-ui: %s in %.0f s" % ("passed" if status == 0 else "failed", time.monotonic() - start))
    return status


if __name__ == "__main__":
    sys.exit(main())
