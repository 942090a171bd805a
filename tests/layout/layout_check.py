"""What the layout checks share: their command line, and a copy of the real tree for a
self-test to plant a fault in."""
import argparse
import os
import shutil
import sys
import tempfile
import unittest


def copy_of_tree(test, root, prefix):
    """src/ and include/ of root copied to a folder that test removes when it ends."""
    copy = tempfile.mkdtemp(prefix=prefix)
    test.addCleanup(shutil.rmtree, copy)
    for place in ('src', 'include'):
        shutil.copytree(os.path.join(root, place), os.path.join(copy, place))
    return copy


def assert_plant_is_caught(test, root, offenders, prefix, where, line):
    """The real tree passes the check, and fails it once, at where, when line is appended to
    its file where (a path inside the tree)."""
    if not root:
        test.skipTest('needs --root')
    copy = copy_of_tree(test, root, prefix)
    test.assertEqual(offenders(copy), [])
    with open(os.path.join(copy, where), 'a', encoding='utf-8') as f:
        f.write(line + '\n')
    found = offenders(copy)
    test.assertEqual(len(found), 1, found)
    test.assertIn(where, found[0])


def main(doc, offenders, what, take_root=None):
    """The check's command line: --root DIR lists the offenders (status 1 if any, each line
    then "N <what>"); --self-test runs the calling script's tests, after handing the root to
    take_root (None without --root) for those that read the real tree."""
    parser = argparse.ArgumentParser(description=doc.split('\n')[0])
    parser.add_argument('--root', help='the source tree')
    parser.add_argument('--self-test', action='store_true')
    args = parser.parse_args()
    if args.self_test:
        if take_root:
            take_root(os.path.abspath(args.root) if args.root else None)
        unittest.main(module='__main__', argv=[sys.argv[0]], verbosity=1)
    if not args.root:
        parser.error('--root is needed')
    found = offenders(args.root)
    for line in found:
        print(line)
    if found:
        print('%d %s' % (len(found), what))
        return 1
    return 0


def small_tree(test, files, prefix):
    """A folder holding files (name: text), removed when test ends."""
    folder = tempfile.mkdtemp(prefix=prefix)
    test.addCleanup(shutil.rmtree, folder)
    for name, text in files.items():
        path = os.path.join(folder, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, 'w', encoding='utf-8') as f:
            f.write(text)
    return folder
