"""What the browser tests share (tests/playground/test_playground.py,
tests/editors/test_vscode_ui.py): Debian's Chromium started headless, the node driver that
checks the page through it (its side is browser_checks.js), and the ending of both."""

import os
import re
import signal
import subprocess
import time

# How long Chromium may take to say where its DevTools listen.
START_SECONDS = 60


def start_chromium(chromium, work, env=None):
    """Debian's Chromium, headless, with a debugging port of its choosing and its profile in
    work: returns the process and its DevTools address, read from its standard error."""
    args = [chromium, "--headless=new", "--remote-debugging-port=0", "--remote-debugging-address=127.0.0.1",
            "--user-data-dir=" + os.path.join(work, "chromium"), "--no-first-run", "--disable-gpu",
            "--disable-dev-shm-usage", "--window-size=1400,900", "about:blank"]
    if os.geteuid() == 0:
        args.insert(1, "--no-sandbox")
    log = open(os.path.join(work, "chromium.log"), "w+")
    process = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=log, stderr=log, env=env,
                               start_new_session=True)
    end = time.monotonic() + START_SECONDS
    while time.monotonic() < end:
        log.seek(0)
        found = re.search(r"DevTools listening on (ws://\S+)", log.read())
        if found:
            return process, found.group(1)
        if process.poll() is not None:
            break
        time.sleep(0.2)
    log.seek(0)
    text = log.read()[-2000:]
    stop(process)
    raise RuntimeError("Chromium did not start:\n" + text)


def start_driver(script, puppeteer, endpoint, env):
    """node running script, a driver of the page, with puppeteer-core's folder and Chromium's
    DevTools address in its environment (browser_checks.js connects through them)."""
    return subprocess.Popen(["node", script], stdin=subprocess.DEVNULL, start_new_session=True,
                            env=dict(env, VORN_PUPPETEER=puppeteer, VORN_BROWSER=endpoint))


def wait(driver, seconds):
    """The driver's status, or 1 when it has not ended within seconds."""
    try:
        return driver.wait(seconds)
    except subprocess.TimeoutExpired:
        print("FAIL the checks did not end within %d s" % seconds)
        return 1


def stop(process):
    """Ends a process started in a session of its own, and everything it started."""
    if process is None or process.poll() is not None:
        return
    for sig in (signal.SIGTERM, signal.SIGKILL):
        try:
            os.killpg(process.pid, sig)
        except ProcessLookupError:
            return
        try:
            process.wait(5)
            return
        except subprocess.TimeoutExpired:
            pass
