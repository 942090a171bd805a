"""Real Emacs, in batch, with editors/emacs and eglot: attaches vorn-lsp to a script whose included
file has an error and checks what eglot receives and Emacs shows (see emacs_test.el)."""

import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
FILES = {
    "events.lst": "OnStart 1\nOnTouch 2\n",
    "command.lst": "Wait 10 1\nSay 11 1\nStop 12 0\nSet 14 2\n",
    "main.vs": "include lib\\/doors.vs   ; the doors\nOnStart:\n    Say(\"open\") / é\n    Wait(Doors)\n    \n",
    "lib/doors.vs": "defvar Doors 4\n    Set(\"é\",   Nope) ; é\n",
    # A second includer of the shared file: Spare is defined only here.
    "other.vs": "defvar Spare 2\ninclude lib\\/doors.vs\nOnTouch:\n    Stop()\n",
}


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: test_emacs.py VORN_LSP VORN_FMT")
    emacs = shutil.which("emacs")
    if not emacs:
        print("emacs is not installed (apt-get install emacs-nox elpa-eglot): skipped")
        return 77
    with tempfile.TemporaryDirectory() as tmp:
        root = os.path.realpath(tmp)
        has_eglot = subprocess.run([emacs, "--batch", "--eval", "(require 'eglot)"],
                                   env=dict(os.environ, HOME=root), stdin=subprocess.DEVNULL,
                                   capture_output=True, timeout=60)
        if has_eglot.returncode != 0:
            print("eglot is not installed (apt-get install elpa-eglot): skipped")
            return 77
        for name, text in FILES.items():
            os.makedirs(os.path.dirname(os.path.join(root, name)), exist_ok=True)
            with open(os.path.join(root, name), "w", encoding="utf-8") as f:
                f.write(text)
        env = dict(os.environ, HOME=root, VORN_TEST_ROOT=root, VORN_LSP=os.path.abspath(sys.argv[1]),
                   VORN_FMT=os.path.abspath(sys.argv[2]),
                   VORN_EMACS_LISP=os.path.normpath(os.path.join(HERE, "..", "..", "editors", "emacs")))
        # The mode compiles without a warning.
        copy = os.path.join(root, "vorn-mode.el")
        shutil.copy(os.path.join(env["VORN_EMACS_LISP"], "vorn-mode.el"), copy)
        compiled = subprocess.run([emacs, "--batch", "--eval", "(setq byte-compile-error-on-warn t)",
                                   "-f", "batch-byte-compile", copy], env=env, stdin=subprocess.DEVNULL,
                                  capture_output=True, timeout=60)
        if compiled.returncode != 0:
            sys.stdout.write(compiled.stderr.decode(errors="replace"))
            print("emacs: vorn-mode.el does not byte-compile cleanly")
            return 1
        os.remove(copy)
        os.remove(copy + "c")
        start = time.monotonic()
        run = subprocess.run([emacs, "--batch", "-l", os.path.join(HERE, "emacs_test.el")],
                             env=env, cwd=root, stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
        sys.stdout.write(run.stdout.decode(errors="replace"))
        sys.stdout.write(run.stderr.decode(errors="replace"))
        print("emacs: %s in %.1f s" % ("1 passed, 0 failed" if run.returncode == 0 else "0 passed, 1 failed",
                                        time.monotonic() - start))
        return 0 if run.returncode == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
