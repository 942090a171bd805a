#!/usr/bin/env python3
"""Checks the Debian package that CPack made: unpacked into a scratch root with dpkg -x, it
holds every tool, its manual page, the CMake package files and the documentation, and each
tool runs from there on the demo; find_package(Vorn) finds it there; lintian finds no error.

Usage: package_test.py --deb FILE --version V --tools vorn,vorn-dis,... --vorn PATH
                       --demo DIR --doc DIR --example DIR
       package_test.py --deb FILE --lintian      (lintian alone; status 77 without lintian)
"""

import argparse
import gzip
import os
import shutil
import struct
import subprocess
import sys
import tempfile


class Failure(Exception):
    pass


def run(argv, cwd=None, env=None, status=0):
    done = subprocess.run(argv, cwd=cwd, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          stdin=subprocess.DEVNULL)
    if status is not None and done.returncode != status:
        raise Failure("%s ended with status %d, not %d:\n%s%s"
                      % (" ".join(argv), done.returncode, status,
                         done.stdout.decode("utf-8", "replace")[-2000:],
                         done.stderr.decode("utf-8", "replace")[-2000:]))
    return done


def control_fields(deb):
    fields = {}
    for line in run(["dpkg-deb", "-f", deb]).stdout.decode().split("\n"):
        if line and not line.startswith(" ") and ":" in line:
            name, _, value = line.partition(":")
            fields[name] = value.strip()
    return fields


def check_control(args, checks):
    name = os.path.basename(args.deb)
    expected_name = "vorn_%s_amd64.deb" % args.version
    if name != expected_name:
        raise Failure("the package is %s, not %s" % (name, expected_name))
    fields = control_fields(args.deb)
    for field, value in (("Package", "vorn"), ("Version", args.version), ("Architecture", "amd64")):
        if fields.get(field) != value:
            raise Failure("control field %s is %r, not %r" % (field, fields.get(field), value))
    checks.append("control: %s %s, Depends: %s" % (fields["Package"], fields["Version"],
                                                   fields.get("Depends", "(none)")))
    return fields


def check_contents(root, args, fields, checks):
    usr = os.path.join(root, "usr")
    dynamic = []
    for tool in args.tools:
        path = os.path.join(usr, "bin", tool)
        if not os.access(path, os.X_OK):
            raise Failure("%s is not in the package, or not executable" % path)
        if b"NEEDED" in run(["objdump", "-p", path]).stdout:
            dynamic.append(tool)
    # Every manual page of doc/, compressed, and each of them shown by man.
    pages = sorted(name for name in os.listdir(args.doc) if name.endswith(".1"))
    missing = [tool for tool in args.tools if tool + ".1" not in pages]
    if missing and set(missing) & {"vorn", "vorn-dis", "vorn-check", "vorn-list"}:
        raise Failure("doc/ has no manual page for %s" % missing)
    for name in pages:
        tool = name[:-2]
        page = os.path.join(usr, "share", "man", "man1", name + ".gz")
        if not os.path.isfile(page):
            raise Failure("the manual page %s is not in the package" % name)
        with open(page, "rb") as f:
            header = f.read(10)
        # gzip -9n: no time stamp (bytes 4 to 7), and the best compression's flag (byte 8).
        if header[4:8] != b"\0\0\0\0" or header[8] != 2:
            raise Failure("%s is not compressed with gzip -9n" % page)
        with gzip.open(page, "rb") as f:
            if not f.read().startswith(b".\\\""):
                raise Failure("%s does not hold a roff page" % page)
        rendered = run(["man", "-l", page], env=dict(os.environ, MANWIDTH="80", LC_ALL="C"))
        if tool.upper() not in rendered.stdout.decode("utf-8", "replace"):
            raise Failure("man -l %s does not show the page" % page)
    # dpkg-shlibdeps names the libraries of the dynamic tools; static ones need none.
    depends = fields.get("Depends", "")
    if dynamic and "libc6" not in depends:
        raise Failure("%s are linked dynamically, but Depends is %r" % (dynamic, depends))
    if not dynamic and depends:
        raise Failure("every tool is static, but Depends is %r" % depends)
    for relative in ("share/cmake/Vorn/VornConfig.cmake", "share/cmake/Vorn/VornConfigVersion.cmake",
                     "share/cmake/Vorn/VornScripts.cmake", "share/cmake/Vorn/VornTargets.cmake",
                     "share/doc/vorn/copyright", "share/doc/vorn/README.md",
                     "share/doc/vorn/changelog.gz", "share/emacs/site-lisp/vorn-mode.el"):
        if not os.path.isfile(os.path.join(usr, relative)):
            raise Failure("/usr/%s is not in the package" % relative)
    with open(os.path.join(usr, "share/doc/vorn/copyright")) as f:
        if not f.readline().startswith("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"):
            raise Failure("the copyright file is not in Debian's format")
    checks.append("contents: %s; manual pages %s; dynamic: %s"
                  % (", ".join(args.tools), ", ".join(pages), ", ".join(dynamic) or "none"))


def check_tools_on_demo(root, args, checks):
    """Every tool of the package, from the scratch root, on a copy of examples/."""
    bindir = os.path.join(root, "usr", "bin")
    demo = tempfile.mkdtemp(prefix="vorn-package-demo-")
    try:
        shutil.copytree(args.demo, demo, dirs_exist_ok=True,
                        ignore=shutil.ignore_patterns("*.bin", "build"))
        run([args.vorn, "demo.vs", "expected.bin"], cwd=demo)
        with open(os.path.join(demo, "expected.bin"), "rb") as f:
            expected = f.read()

        run([os.path.join(bindir, "vorn"), "demo.vs", "demo.bin"], cwd=demo)
        with open(os.path.join(demo, "demo.bin"), "rb") as f:
            if f.read() != expected:
                raise Failure("the packaged vorn writes other bytes than the built one")
        listing = run([os.path.join(bindir, "vorn-dis"), "demo.bin"], cwd=demo).stdout
        with open(os.path.join(demo, "again.vs"), "wb") as f:
            f.write(listing)
        run([os.path.join(bindir, "vorn"), "again.vs", "again.bin"], cwd=demo)
        with open(os.path.join(demo, "again.bin"), "rb") as f:
            if f.read() != expected:
                raise Failure("vorn-dis's listing of the demo does not compile back to its bytes")
        checked = run([os.path.join(bindir, "vorn-check"), "-o", "check.bin", "demo.vs"], cwd=demo)
        with open(os.path.join(demo, "check.bin"), "rb") as f:
            if checked.stdout or f.read() != expected:
                raise Failure("vorn-check on the demo reports %r or writes other bytes" % checked.stdout)
        code_size = struct.unpack_from("<I", expected, 4)[0]
        listed = run([os.path.join(bindir, "vorn-list"), "demo.vs"], cwd=demo).stdout.decode()
        if "=== %d bytes of code, no errors" % code_size not in listed:
            raise Failure("vorn-list's listing of the demo does not end as expected:\n" + listed[-600:])
        answer = run([os.path.join(bindir, "vorn-list"), "--at", "0x32", "demo.vs"], cwd=demo).stdout
        if answer != b"demo.vs:13:    Set(Visitors, 0)\n":
            raise Failure("vorn-list --at 0x32 answers %r" % answer)
        checks.append("tools on the demo: vorn, vorn-dis (round trip), vorn-check -o, vorn-list, "
                      "vorn-list --at")
    finally:
        shutil.rmtree(demo)


def check_find_package(root, args, checks):
    """examples/build configured and built with the package's CMake files and tools."""
    work = tempfile.mkdtemp(prefix="vorn-package-cmake-")
    try:
        source = os.path.join(work, "src")
        shutil.copytree(args.example, source, ignore=shutil.ignore_patterns("out", "_build", ".ninja_*"))
        binary = os.path.join(work, "build")
        run(["cmake", "-S", source, "-B", binary, "-DCMAKE_PREFIX_PATH=" + os.path.join(root, "usr")])
        cache = open(os.path.join(binary, "CMakeCache.txt")).read()
        if "Vorn_DIR:PATH=" + os.path.join(root, "usr", "share", "cmake", "Vorn") not in cache:
            raise Failure("find_package(Vorn) did not find the package's files")
        built = run(["cmake", "--build", binary, "--verbose"]).stdout.decode()
        if os.path.join(root, "usr", "bin", "vorn-check") not in built:
            raise Failure("the build did not run the package's vorn-check:\n" + built[-1000:])
        scripts = [n for n in os.listdir(source) if n.endswith(".vs")]
        for script in scripts:
            if not os.path.isfile(os.path.join(binary, "scripts", script[:-3] + ".bin")):
                raise Failure("find_package build: %s was not compiled" % script)
        checks.append("find_package(Vorn) from the scratch root: %d scripts built" % len(scripts))
    finally:
        shutil.rmtree(work)


def check_lintian(args, checks):
    done = run(["lintian", "--fail-on", "error", args.deb], status=None)
    text = (done.stdout + done.stderr).decode("utf-8", "replace")
    errors = [line for line in text.split("\n") if line.startswith("E:")]
    if done.returncode != 0 or errors:
        raise Failure("lintian finds errors (status %d):\n%s" % (done.returncode, text))
    # Everything else lintian says, overridden tags and notes included, for the record.
    # (With overrides shown, lintian's status counts the overridden errors too.)
    shown = run(["lintian", "--info", "--show-overrides", args.deb], status=None)
    tags = [line for line in shown.stdout.decode("utf-8", "replace").split("\n")
            if line[:2] in ("W:", "I:", "O:", "P:")]
    checks.append("lintian: no error; %d other tags" % len(tags))
    checks.extend("  " + line for line in tags)


def main(argv):
    ap = argparse.ArgumentParser(description="Check the Debian package.")
    ap.add_argument("--deb", required=True)
    ap.add_argument("--lintian", action="store_true", help="run lintian on the package, alone")
    ap.add_argument("--version")
    ap.add_argument("--tools", help="the tools, separated by commas")
    ap.add_argument("--vorn")
    ap.add_argument("--demo")
    ap.add_argument("--doc", help="the folder of the manual pages")
    ap.add_argument("--example")
    args = ap.parse_args(argv)
    checks = []
    if args.lintian:
        if not shutil.which("lintian"):
            print("SKIP: lintian is not installed")
            return 77
        try:
            check_lintian(args, checks)
        except Failure as e:
            print("FAIL: %s" % e)
            return 1
        for line in checks:
            print("ok: " + line)
        return 0
    if not all((args.version, args.tools, args.vorn, args.demo, args.doc, args.example)):
        ap.error("--version, --tools, --vorn, --demo, --doc and --example are needed")
    args.tools = [t for t in args.tools.split(",") if t]
    args.vorn = os.path.abspath(args.vorn)
    root = tempfile.mkdtemp(prefix="vorn-package-root-")
    try:
        fields = check_control(args, checks)
        run(["dpkg", "-x", args.deb, root])
        check_contents(root, args, fields, checks)
        check_tools_on_demo(root, args, checks)
        check_find_package(root, args, checks)
    except Failure as e:
        for line in checks:
            print("ok: " + line)
        print("FAIL: %s" % e)
        return 1
    finally:
        shutil.rmtree(root)
    for line in checks:
        print("ok: " + line)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
