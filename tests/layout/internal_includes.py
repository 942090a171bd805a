#!/usr/bin/env python3
"""No code outside the library includes the library's internal headers.

The library (vorn_core) is the folders of src/ that its sources live in, as src/CMakeLists.txt
lists them; its public interface is include/vorn/. Everything else under src/ is a tool (the
driver, vorn-check, vorn-list, the language server, the disassembler, their shared tools/),
and the tools, the fuzzer and the tests see the library through include/vorn/ only.

The one exception is tests/unit/: the unit tests of the library's internal functions (the
source reader, the cleaner, the number reader, ...) include their headers through the unit
test target's own private include path. A unit test of the public interface simply does not.

Every #include, quoted or in angle brackets, is resolved the way the compiler would: next to
the including file first, then in src/ and include/. A header that resolves into a library
folder is an internal one.

Usage: internal_includes.py --root DIR      (exit 1 and a list of offenders if any)
       internal_includes.py --self-test
"""
import os
import re
import sys
import unittest

import layout_check

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)
SOURCE_EXTENSIONS = ('.h', '.hpp', '.cpp', '.cc', '.c', '.def')


def library_folders(root):
    """The folders of src/ that vorn_core's sources are in."""
    with open(os.path.join(root, 'src', 'CMakeLists.txt'), encoding='utf-8') as f:
        text = f.read()
    block = re.search(r'add_library\(\s*vorn_core\b(.*?)\)', text, re.S)
    if not block:
        raise SystemExit('src/CMakeLists.txt has no add_library(vorn_core ...)')
    folders = set()
    for word in block.group(1).split():
        if '/' in word and not word.startswith('$'):
            folders.add(word.split('/')[0])
    if not folders:
        raise SystemExit('vorn_core lists no sources in folders')
    return {os.path.join(root, 'src', folder) for folder in folders}


def checked_files(root):
    """Every source file outside the library: the tools under src/, tests/ but tests/unit/, fuzz/."""
    library = library_folders(root)
    places = [os.path.join(root, 'src'), os.path.join(root, 'tests'), os.path.join(root, 'fuzz')]
    skipped = library | {os.path.join(root, 'tests', 'unit')}
    for place in places:
        for folder, subfolders, files in os.walk(place):
            if any(folder == s or folder.startswith(s + os.sep) for s in skipped):
                subfolders[:] = []
                continue
            # Build folders and generated trees are not sources.
            subfolders[:] = [d for d in subfolders if not d.startswith('build') and d != 'cases']
            for name in files:
                if name.endswith(SOURCE_EXTENSIONS):
                    yield os.path.join(folder, name)


def resolve(root, including, quoted, name):
    candidates = [os.path.dirname(including)] if quoted else []
    candidates += [os.path.join(root, 'src'), os.path.join(root, 'include')]
    for folder in candidates:
        path = os.path.normpath(os.path.join(folder, name))
        if os.path.isfile(path):
            return path
    return None


def offenders(root):
    root = os.path.abspath(root)
    library = library_folders(root)
    found = []
    for path in checked_files(root):
        with open(path, encoding='utf-8', errors='replace') as f:
            text = f.read()
        for match in INCLUDE.finditer(text):
            target = resolve(root, path, match.group(1) == '"', match.group(2))
            if target and any(target.startswith(folder + os.sep) for folder in library):
                line = text.count('\n', 0, match.start()) + 1
                found.append('%s:%d: includes the library\'s internal header %s' %
                             (os.path.relpath(path, root), line, os.path.relpath(target, root)))
    return found


class SelfTest(unittest.TestCase):
    """The check itself, on a small tree of its own."""

    def tree(self, files):
        files = dict(files)
        files.setdefault('src/CMakeLists.txt',
                         'add_library(vorn_core STATIC\n  common/a.cpp\n  frontend/b.cpp\n)\n')
        files.setdefault('src/common/a.h', '')
        files.setdefault('src/frontend/b.h', '')
        files.setdefault('include/vorn/vorn.h', '')
        return layout_check.small_tree(self, files, 'internal-includes-')

    def test_public_headers_and_a_tools_own_headers_pass(self):
        root = self.tree({'src/check/main.cpp': '#include <vorn/vorn.h>\n#include "reports.h"\n',
                          'src/check/reports.h': '',
                          'tests/unit/t.cpp': '#include "common/a.h"\n'})
        self.assertEqual(offenders(root), [])

    def test_every_spelling_of_an_internal_header_is_caught(self):
        root = self.tree({'src/check/main.cpp': '#include "../common/a.h"\n',
                          'src/lsp/x.cpp': '#include "common/a.h"\n',
                          'src/disasm/y.h': '  #  include <frontend/b.h>\n',
                          'tests/output/p.cpp': '#include "common/a.h"\n',
                          'fuzz/f.cpp': '#include "frontend/b.h"\n'})
        found = offenders(root)
        self.assertEqual(len(found), 5, found)
        self.assertTrue(any(f.startswith('src/check/main.cpp:1:') for f in found))

    def test_a_new_library_folder_is_library_too(self):
        root = self.tree({'src/CMakeLists.txt': 'add_library(vorn_core STATIC\n  project/p.cpp\n)\n',
                          'src/project/p.h': '',
                          'src/list/main.cpp': '#include "../project/p.h"\n'})
        self.assertEqual(len(offenders(root)), 1)


if __name__ == '__main__':
    sys.exit(layout_check.main(__doc__, offenders, 'include(s) of internal headers outside the library'))
