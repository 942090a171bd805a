#!/usr/bin/env python3
"""The language server's core reaches no file system, clock or thread of its own.

The core (the sources of the vorn_lsp_core library in src/CMakeLists.txt, and their headers)
is hosted by vorn-lsp, a fuzzer and a page in a browser: files come through the provider the
host gives it, time and threads are the host's. A line of it that includes a header for
those, or calls the file system or a clock directly, is an offender."""
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import layout_check  # noqa: E402

FORBIDDEN = [
    (re.compile(r'#\s*include\s*<(chrono|thread|mutex|shared_mutex|atomic|condition_variable|future|fstream|'
                r'ctime|dirent\.h|fcntl\.h|unistd\.h|sys/stat\.h|sys/time\.h)>'), 'includes'),
    (re.compile(r'(?<![\w.>:])(?:::)?(?:opendir|readdir|fopen|lstat|fstat|stat|getcwd|getenv)\s*\('), 'calls'),
    (re.compile(r'::open\s*\((?!\w+Params)'), 'calls'),
    (re.compile(r'\bstd::(?:thread|jthread|mutex|this_thread|async)\b'), 'uses'),
    (re.compile(r'\b(?:steady_clock|system_clock|high_resolution_clock|current_path|directory_iterator)\b'), 'uses'),
]


def core_files(root):
    """The core's sources as src/CMakeLists.txt lists them, and the headers beside them."""
    with open(os.path.join(root, 'src', 'CMakeLists.txt'), encoding='utf-8') as f:
        text = f.read()
    found = re.search(r'add_library\(vorn_lsp_core\s+STATIC\s+([^)]*)\)', text)
    if not found:
        return None
    files = []
    for source in found.group(1).split():
        files.append('src/' + source)
        header = 'src/' + os.path.splitext(source)[0] + '.h'
        if os.path.exists(os.path.join(root, header)):
            files.append(header)
    return files


def offenders(root):
    files = core_files(root)
    if files is None:
        return ['src/CMakeLists.txt: no vorn_lsp_core library found']
    found = []
    for rel in files:
        with open(os.path.join(root, rel), encoding='utf-8', errors='replace') as f:
            lines = f.read().split('\n')
        for number, line in enumerate(lines, 1):
            code = line.split('//')[0] if not line.lstrip().startswith('#') else line
            for pattern, what in FORBIDDEN:
                match = pattern.search(code)
                if match:
                    found.append('%s:%d: %s %s: %s' % (rel, number, what, match.group(0).strip(), line.strip()))
                    break
    return found


REAL_ROOT = None


def take_root(root):
    global REAL_ROOT
    REAL_ROOT = root


class SelfTest(layout_check.unittest.TestCase):
    def tree(self, files):
        cmake = 'add_library(vorn_lsp_core STATIC\n  lsp/a.cpp\n)\nadd_library(host STATIC lsp/host.cpp)\n'
        return layout_check.small_tree(self, dict({'src/CMakeLists.txt': cmake}, **files), 'core-io-')

    def test_every_kind_of_reach_is_caught_in_the_core(self):
        reaches = [
            '#include <chrono>',
            '#include <sys/stat.h>',
            'DIR* dir = opendir(path.c_str());',
            'if (stat(path.c_str(), &st) != 0) {}',
            'int fd = ::open(name.c_str(), O_RDONLY);',
            'std::thread helper(work);',
            'auto now = std::chrono::steady_clock::now();',
            'auto here = std::filesystem::current_path();',
            'const char* home = getenv("HOME");',
        ]
        root = self.tree({'src/lsp/a.cpp': '\n'.join(reaches) + '\n', 'src/lsp/a.h': '#include <thread>\n',
                          'src/lsp/host.cpp': '\n'.join(reaches) + '\n'})
        found = offenders(root)
        self.assertEqual(len(found), len(reaches) + 1, found)
        self.assertTrue(all(f.startswith(('src/lsp/a.cpp:', 'src/lsp/a.h:')) for f in found), found)

    def test_the_providers_calls_and_comments_pass(self):
        root = self.tree({'src/lsp/a.cpp': 'auto info = files.stat(path);\nauto more = files_->stat(p);\n'
                                           'void Server::open(DidOpenParams params) {}\n'
                                           '// no thread, no std::thread, no steady_clock here\n'})
        self.assertEqual(offenders(root), [])

    def test_the_real_tree_fails_on_a_planted_reach(self):
        layout_check.assert_plant_is_caught(self, REAL_ROOT, offenders, 'core-io-real-', 'src/lsp/features.cpp',
                                            'static auto planted = std::chrono::steady_clock::now();')


if __name__ == '__main__':
    sys.exit(layout_check.main(__doc__, offenders, 'reaches past the host from the server core', take_root))
