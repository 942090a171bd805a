#!/usr/bin/env python3
"""Every public header of include/vorn/ compiles when it is the only one a file includes.

Usage: headers_alone.py --root DIR --compiler CXX   (exit 1 and the headers that fail)
       headers_alone.py --root DIR --compiler CXX --self-test
           (also, in a copy of include/, a header that leans on another's include must fail)
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile


def failures(include, compiler, names=None):
    found = []
    folder = os.path.join(include, 'vorn')
    for name in sorted(os.listdir(folder)):
        if not name.endswith('.h') or (names and name not in names):
            continue
        run = subprocess.run([compiler, '-std=c++20', '-fsyntax-only', '-I', include, '-x', 'c++', '-'],
                             input='#include <vorn/%s>\n' % name, capture_output=True, text=True)
        if run.returncode != 0:
            found.append('%s: %s' % (name, (run.stderr.strip().splitlines() or ['?'])[-1]))
    return found


def self_test(root, compiler):
    copy = tempfile.mkdtemp(prefix='headers-alone-')
    try:
        shutil.copytree(os.path.join(root, 'include'), os.path.join(copy, 'include'))
        planted = os.path.join(copy, 'include', 'vorn', 'planted.h')
        with open(planted, 'w', encoding='utf-8') as f:
            f.write('#pragma once\nnamespace vorn { inline Location planted_location; }\n')
        found = failures(os.path.join(copy, 'include'), compiler, ('planted.h', 'language.h'))
        if len(found) != 1 or not found[0].startswith('planted.h'):
            print('self-test: expected planted.h alone to fail, found %r' % found)
            return False
    finally:
        shutil.rmtree(copy)
    return True


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('--root', required=True)
    parser.add_argument('--compiler', required=True)
    parser.add_argument('--self-test', action='store_true')
    args = parser.parse_args()
    if args.self_test and not self_test(args.root, args.compiler):
        return 1
    found = failures(os.path.join(args.root, 'include'), args.compiler)
    for line in found:
        print(line)
    return 1 if found else 0


if __name__ == '__main__':
    sys.exit(main())
