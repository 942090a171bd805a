#!/usr/bin/env python3
"""Nothing in the library includes, and so calls, a layer above its own.

Layers, bottom to top:
  0 language   the language's facts: include/vorn/language.h and the .def tables
  1 stages     src/common, src/lists, src/frontend, src/codegen: reading, compiling and
               code generation, producing records (diagnostics, files, lines, definitions);
               within it, common below lists and codegen, and those below frontend, so
               that no two folders call each other
  2 reporting  src/report: explanations and other reporting over the records
  3 library    src/api (the entry points, providers, fixes), src/format
  4 project    src/project
  5 tools      every other folder of src/, each a tool (or the tools' shared src/tools/)

A file may include its own layer and those below it. A call into another folder needs that
folder's declarations, so an upward call shows as an upward include: of an internal header
(resolved as the compiler does: next to the including file, then in src/ and include/), or of
a public header of include/vorn/, which PUBLIC_HEADERS places in the layer of the code behind
it. A folder of src/ that no layer names is reported too, so a new one gets a place. The umbrella
header vorn.h is for the library's users: a file of src/ includes what it uses instead.

Usage: layers.py --root DIR          (exit 1 and a list of offenders if any)
       layers.py --self-test --root DIR   (also plants an upward include in a copy of DIR)
"""
import os
import re
import sys
import unittest

import layout_check

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)
SOURCE_EXTENSIONS = ('.h', '.hpp', '.cpp', '.cc', '.c', '.def')
# Levels, bottom to top: the layers, with the stages' folders in the order they use each other
# (the shared reading and records, then lists and code generation, then the front end).
NAMES = ['language', 'stages (common)', 'stages (lists, codegen)', 'stages (frontend)',
         'reporting', 'library', 'project', 'tools']

FOLDERS = {
    'common': 1, 'lists': 2, 'codegen': 2, 'frontend': 3,
    'report': 4,
    'api': 5, 'format': 5,
    'project': 6,
    'check': 7, 'disasm': 7, 'driver': 7, 'fmt': 7, 'list': 7, 'lsp': 7, 'tools': 7,
}

# The public headers by the code they declare. compiler.h gathers things of several layers; it
# stands at the lowest, the records and sinks that the stages fill, until it is split.
PUBLIC_HEADERS = {
    'language.h': 0,
    'sources.h': 1, 'output.h': 1, 'result.h': 1, 'diagnostics.h': 1, 'warning_set.h': 1,
    'compiler.h': 1, 'grammar.h': 1, 'gnu_form.h': 1, 'line_text.h': 1, 'output_file.h': 1,
    'warning_options.h': 4,
    'fixes.h': 5, 'read_file.h': 5, 'parse_unsigned.h': 5, 'format.h': 5,
    'vorn.h': 5,  # includes them all, format.h too
    'project.h': 6, 'name_contexts.h': 6, 'edit_check.h': 6,
}


# Every public header for the library's users; nothing of src/ includes it.
UMBRELLA = 'vorn.h'


def layer_of(root, path):
    """The layer of a source file; None for files outside src/ and include/vorn/."""
    rel = os.path.relpath(path, root).split(os.sep)
    if rel[0] == 'include' and len(rel) == 3 and rel[1] == 'vorn':
        if rel[2].endswith('.def'):
            return 0
        if rel[2] not in PUBLIC_HEADERS:
            raise KeyError('include/vorn/%s has no layer in PUBLIC_HEADERS' % rel[2])
        return PUBLIC_HEADERS[rel[2]]
    if rel[0] == 'src' and len(rel) >= 3:
        if rel[1] not in FOLDERS:
            raise KeyError('src/%s has no layer in FOLDERS' % rel[1])
        return FOLDERS[rel[1]]
    return None


def sources(root):
    for place in ('src', os.path.join('include', 'vorn')):
        for folder, subfolders, files in os.walk(os.path.join(root, place)):
            subfolders.sort()
            for name in sorted(files):
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
    found = []
    for path in sources(root):
        rel = os.path.relpath(path, root)
        try:
            own = layer_of(root, path)
        except KeyError as missing:
            found.append('%s: %s' % (rel, missing.args[0]))
            continue
        with open(path, encoding='utf-8', errors='replace') as f:
            text = f.read()
        for match in INCLUDE.finditer(text):
            target = resolve(root, path, match.group(1) == '"', match.group(2))
            if not target:
                continue  # a system header
            try:
                theirs = layer_of(root, target)
            except KeyError as missing:
                found.append('%s: %s' % (rel, missing.args[0]))
                continue
            if own is not None and rel.startswith('src' + os.sep) and \
                    os.path.relpath(target, root) == os.path.join('include', 'vorn', UMBRELLA):
                line = text.count('\n', 0, match.start()) + 1
                found.append('%s:%d: includes the umbrella %s; include what it uses' % (rel, line, UMBRELLA))
            if theirs is not None and theirs > own:
                line = text.count('\n', 0, match.start()) + 1
                found.append('%s:%d: %s includes %s, of %s above it' %
                             (rel, line, NAMES[own], os.path.relpath(target, root), NAMES[theirs]))
    return sorted(set(found))


REAL_ROOT = None


class SelfTest(unittest.TestCase):
    """The check itself, on small trees of its own and on a copy of the real one."""

    def tree(self, files):
        return layout_check.small_tree(self, files, 'layers-')

    def test_downward_and_level_includes_pass(self):
        root = self.tree({'include/vorn/language.h': '#include "argument_tags.def"\n',
                          'include/vorn/argument_tags.def': '',
                          'include/vorn/grammar.h': '#include "language.h"\n',
                          'src/common/a.h': '#include <vorn/grammar.h>\n',
                          'src/frontend/b.cpp': '#include "../common/a.h"\n#include "b.h"\n#include <vector>\n',
                          'src/frontend/b.h': '',
                          'src/report/r.cpp': '#include "../frontend/b.h"\n',
                          'src/api/c.cpp': '#include "../report/r.h"\n',
                          'src/report/r.h': '',
                          'src/lsp/main.cpp': '#include <vorn/project.h>\n',
                          'include/vorn/project.h': ''})
        self.assertEqual(offenders(root), [])

    def test_every_spelling_of_an_upward_include_is_caught(self):
        root = self.tree({'src/report/r.h': '',
                          'src/api/c.h': '',
                          'src/lists/l.h': '',
                          'include/vorn/project.h': '',
                          'include/vorn/language.h': '#include "project.h"\n',
                          'src/common/d.cpp': '#include "../report/r.h"\n',
                          'src/frontend/e.cpp': '  #  include <report/r.h>\n',
                          'src/codegen/f.cpp': '#include <vorn/project.h>\n',
                          'src/report/g.cpp': '#include "../api/c.h"\n',
                          'src/lists/h.cpp': '#include "l.h"\n#include "api/c.h"\n',
                          'src/frontend/w.h': '',
                          'src/lists/i.cpp': '#include "../frontend/w.h"\n'})
        found = offenders(root)
        self.assertEqual(len(found), 7, found)
        self.assertTrue(any(f.startswith('src/lists/h.cpp:2:') for f in found), found)
        self.assertTrue(any(f.startswith('include/vorn/language.h:1:') for f in found), found)

    def test_the_umbrella_header_is_reported_in_src_only(self):
        root = self.tree({'include/vorn/vorn.h': '#include "language.h"\n',
                          'include/vorn/language.h': '',
                          'src/check/main.cpp': '#include <vorn/language.h>\n#include <vorn/vorn.h>\n',
                          'src/lsp/a.h': '#include "vorn/vorn.h"\n'})
        found = offenders(root)
        self.assertEqual(len(found), 2, found)
        self.assertTrue(found[0].startswith('src/check/main.cpp:2: includes the umbrella'), found)

    def test_a_folder_or_public_header_without_a_layer_is_reported(self):
        root = self.tree({'src/newstage/x.cpp': '', 'include/vorn/new.h': ''})
        found = offenders(root)
        self.assertEqual(len(found), 2, found)

    def test_the_real_tree_fails_on_a_planted_upward_include(self):
        layout_check.assert_plant_is_caught(self, REAL_ROOT, offenders, 'layers-real-', 'src/common/diagnostics.cpp',
                                            '#include "../report/explain.h"')


def take_root(root):
    global REAL_ROOT
    REAL_ROOT = root


if __name__ == '__main__':
    sys.exit(layout_check.main(__doc__, offenders, 'upward include(s) or unplaced file(s)', take_root))
