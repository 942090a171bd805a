#!/usr/bin/env python3
"""No code outside the line module tests text for ';', '/', '"' or blanks.

One module reads and writes a line of the language (include/vorn/line_text.h and the files
behind it): where a comment starts, where strings run, what is blank. A test of those
characters anywhere else is a second reading of the line that can drift from the compiler's.
This check finds, in src/ and include/vorn/, every comparison with one of the characters
(== or != or a case label), every search for one (find, count, strchr, strcspn and the like,
with a character or a string of them), and every isspace/isblank. The few that are about
something else than a line of the language are allowed below, each with the reason.

Usage: line_scans.py --root DIR               (exit 1 and a list of offenders if any)
       line_scans.py --self-test --root DIR   (also plants a scan in a copy of DIR)
"""
import os
import re
import sys
import unittest

import layout_check

# The line module: the reading (cleaning, grammar) and the writing of a line.
LINE_MODULE = {
    'include/vorn/line_text.h', 'include/vorn/grammar.h', 'src/common/line_text.cpp',
    'src/common/line_reader.h', 'src/common/line_reader.cpp', 'src/common/char_class.h',
    'src/frontend/grammar.cpp',
}

# Tests of those characters that read something else than a line of the language: the file,
# a piece of the line that does it, and why.
ALLOWED = [
    ('src/common/gnu_form.cpp', "byte == '\\t'", 'the caret display widens a tab to its column'),
    ('src/format/format.cpp', 'header.find_first_of', "a diff header's file name, as patch reads it"),
    ('src/list/listing.cpp', "find_last_not_of(' ')", "the listing's own padded columns"),
    ('src/list/listing.cpp', "c == '\\t'", "a symbol map's field escaping"),
    ('src/lsp/editing.cpp', "c == '\\t'", 'JSON string escaping'),
    ('src/lsp/editing.cpp', """c == '"'""", 'JSON string escaping'),
    ('src/lsp/transport.cpp', "== ' '", "the protocol's header lines"),
    ('src/disasm/symbol_map.cpp', "find('\\t')", 'a symbol map is tab-separated'),
    ('src/report/explain.cpp', "find_first_not_of('/')", "a path's separators: the cut word adds only slashes"),
]
# '/' as a path separator, in files that handle paths.
PATH_FILES = {
    'src/lsp/server.cpp', 'src/lsp/analysis.cpp', 'src/lsp/document_store.cpp',
    'src/lsp/project_store.cpp', 'src/lsp/text.cpp', 'src/api/provider.cpp',
    'src/common/output_file.cpp', 'src/project/project.cpp', 'src/project/project_folder.cpp',
    'src/check/reports.cpp', 'src/api/memory_provider.cpp',
}

# Where a line of code tests one of the characters; string literals are first reduced to
# "MARK" (holding one of them) or "TEXT", and character literals are kept as written.
CHAR = r"""'(?:;|/|"|\\"| |\\t)'"""
SEARCH = r'\b(?:find|rfind|find_first_of|find_first_not_of|find_last_of|find_last_not_of|count|strchr|strrchr|memchr|strcspn|strspn|strpbrk)\s*\('
PATTERNS = [
    re.compile(r'[=!]=\s*' + CHAR),
    re.compile(CHAR + r'\s*[=!]='),
    re.compile(r'\bcase\s+' + CHAR + r'\s*:'),
    re.compile(SEARCH + r'[^;{]*?(?:' + CHAR + r'|"MARK")'),
    re.compile(r'"MARK"\s*\)?\s*\.\s*\w*find\w*\s*\('),
    re.compile(r'\bis(?:space|blank)\s*\('),
]
MARKED = re.compile(r'[;/ ]|\\"|\\t')


def reduced(line):
    """The code of a line without its comment, its string literals reduced."""
    out, i = [], 0
    while i < len(line):
        c = line[i]
        if line.startswith('//', i):
            break
        if c == "'":
            end = line.find("'", i + 2 if line.startswith("\\", i + 1) else i + 1)
            if line.startswith("\\", i + 1):
                end = line.find("'", i + 3)
            end = len(line) - 1 if end < 0 else end
            out.append(line[i:end + 1])
            i = end + 1
        elif c == '"':
            j = i + 1
            while j < len(line) and line[j] != '"':
                j += 2 if line[j] == '\\' else 1
            out.append('"MARK"' if MARKED.search(line[i + 1:j]) else '"TEXT"')
            i = j + 1
        else:
            out.append(c)
            i += 1
    return ''.join(out)


def tested(line):
    """What a matching line tests: ';', '/', '"' or 'blank'."""
    literals = re.findall(r'"((?:[^"\\]|\\.)*)"', line)
    if re.search(r"' '|'\\t'|isspace|isblank", line) or any(re.search(r' |\\t', t) for t in literals):
        return 'blank'
    for mark in (';', '/'):
        if "'%s'" % mark in line or any(mark in t for t in literals):
            return mark
    return '"'


def offenders(root):
    found = []
    for place in ('src', os.path.join('include', 'vorn')):
        for folder, subfolders, files in os.walk(os.path.join(root, place)):
            subfolders.sort()
            for name in sorted(files):
                if not name.endswith(('.h', '.cpp', '.cc', '.hpp')):
                    continue
                path = os.path.join(folder, name)
                rel = os.path.relpath(path, root).replace(os.sep, '/')
                if rel in LINE_MODULE:
                    continue
                with open(path, encoding='utf-8', errors='replace') as f:
                    lines = f.read().split('\n')
                for number, line in enumerate(lines, 1):
                    code = reduced(line) if not line.lstrip().startswith('#') else ''
                    if not any(p.search(code) for p in PATTERNS):
                        continue
                    what = tested(line)
                    if any(rel == file and piece in line for file, piece, _ in ALLOWED):
                        continue
                    if what == '/' and rel in PATH_FILES:
                        continue
                    found.append('%s:%d: tests line text for %s: %s' % (rel, number, what, line.strip()))
    return found


REAL_ROOT = None


class SelfTest(unittest.TestCase):
    def tree(self, files):
        return layout_check.small_tree(self, files, 'line-scans-')

    def test_every_kind_of_scan_is_caught_outside_the_module(self):
        scans = [
            "if (c == ';') return;",
            "bool comment = '/' != line[0];",
            "case '\"':",
            "quotes += std::count(a, b, '\"');",
            "std::size_t at = text.find_first_of(\" \\t\");",
            "const char* stop = strchr(\";\\\\\\r\\n\", c);",
            "if (std::string_view(\"(),;\\\"/:\").find(c) != npos) {}",
            "if (std::isspace(c)) {}",
            "return c == ' ' || c == '\\t';",
        ]
        root = self.tree({'src/tool/a.cpp': '\n'.join(scans) + '\n',
                          'src/common/line_text.cpp': '\n'.join(scans) + '\n'})
        found = offenders(root)
        self.assertEqual(len(found), len(scans), found)
        self.assertTrue(all(f.startswith('src/tool/a.cpp:') for f in found), found)

    def test_writing_and_comments_pass(self):
        root = self.tree({'src/tool/a.cpp': "out += ' ';\n// a ';' starts a comment\n"
                                            "text_add_char(line, '\"');\n#include \"a/b.h\"\n"})
        self.assertEqual(offenders(root), [])

    def test_the_allow_list_is_by_file_and_character(self):
        root = self.tree({'src/lsp/text.cpp': "if (c == '/') {}\nif (c == ';') {}\n"})
        found = offenders(root)
        self.assertEqual(len(found), 1, found)
        self.assertIn("for ;", found[0])

    def test_the_real_tree_fails_on_a_planted_scan(self):
        layout_check.assert_plant_is_caught(self, REAL_ROOT, offenders, 'line-scans-real-', 'src/format/format.cpp',
                                            "static bool planted(char c) { return c == ';'; }")


def take_root(root):
    global REAL_ROOT
    REAL_ROOT = root


if __name__ == '__main__':
    sys.exit(layout_check.main(__doc__, offenders, 'test(s) of line text outside the line module', take_root))
