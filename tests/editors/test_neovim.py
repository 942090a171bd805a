"""Real Neovim, headless, with editors/vim: attaches vorn-lsp to a script whose included
file, shared with a second script, has an error, and checks what Neovim shows (see
nvim_init.lua); a buffer it formats and saves passes vorn-fmt --check."""

import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
FILES = {
    "events.lst": "OnStart 1\nOnTouch 2\n",
    "command.lst": "Wait 10 1\nSay 11 1\nStop 12 0\nSet 14 2\n",
    "main.vs": "include lib\\/doors.vs   ; the doors\nOnStart:\n    Say(\"open\")\n    Wait(Doors)\n    \n",
    "lib/doors.vs": "defvar Doors 4\n    Set(\"é\",   Nope) ; é\n",
    # A second includer of the shared file: Spare is defined only here.
    "other.vs": "defvar Spare 2\ninclude lib\\/doors.vs\nOnTouch:\n    Stop()\n",
}


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: test_neovim.py VORN_LSP VORN_FMT")
    nvim = shutil.which("nvim")
    if not nvim:
        print("nvim is not installed: skipped")
        return 77
    with tempfile.TemporaryDirectory() as tmp:
        root = os.path.realpath(tmp)
        for name, text in FILES.items():
            os.makedirs(os.path.dirname(os.path.join(root, name)), exist_ok=True)
            with open(os.path.join(root, name), "w", encoding="utf-8") as f:
                f.write(text)
        env = dict(os.environ, VORN_TEST_ROOT=root, VORN_LSP=os.path.abspath(sys.argv[1]),
                   VORN_FMT=os.path.abspath(sys.argv[2]),
                   VORN_EDITORS=os.path.join(HERE, "..", "..", "editors"),
                   XDG_CONFIG_HOME=root, XDG_DATA_HOME=root, XDG_STATE_HOME=root, XDG_CACHE_HOME=root)
        run = subprocess.run([nvim, "--headless", "-n", "-i", "NONE", "-u", os.path.join(HERE, "nvim_init.lua")],
                             env=env, cwd=root, stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
        sys.stdout.write(run.stdout.decode(errors="replace"))
        sys.stdout.write(run.stderr.decode(errors="replace"))
        print("neovim: %s" % ("1 passed, 0 failed" if run.returncode == 0 else "0 passed, 1 failed"))
        return 0 if run.returncode == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
