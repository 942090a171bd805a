"""Every tool the build defines is named where a user looks for the list of tools: under SEE
ALSO in `man vorn` (doc/vorn.1), and in the Debian package's description, which also names
the editor files.

    tool_names.py --tools vorn,vorn-check,... --man doc/vorn.1 --cpack-config CPackConfig.cmake
"""

import argparse
import re
import sys
import unittest

EDITORS = ("Vim", "Neovim", "Emacs")


def see_also(page):
    """The pages named under .SH SEE ALSO of a man page."""
    match = re.search(r"^\.SH SEE ALSO\n(.*?)(?=^\.SH |\Z)", page, re.S | re.M)
    return set(re.findall(r"^\.BR ([\w-]+) \(\d\)", match.group(1), re.M)) if match else set()


def description(cpack_config):
    """CPACK_PACKAGE_DESCRIPTION as CMake wrote it into CPackConfig.cmake."""
    match = re.search(r'^set\(CPACK_PACKAGE_DESCRIPTION "((?:[^"\\]|\\.)*)"\)', cpack_config,
                      re.M)
    return match.group(1).replace("\\n", "\n") if match else ""


def named(text, tool):
    return re.search(r"(?<![\w-])%s(?![\w-])" % re.escape(tool), text) is not None


class Parsing(unittest.TestCase):
    def test_see_also_and_description(self):
        page = ".SH NAME\nvorn\n.SH SEE ALSO\n.BR vorn-check (1),\n.BR vorn-dis (1)\n.SH X\n.BR no (1)\n"
        self.assertEqual(see_also(page), {"vorn-check", "vorn-dis"})
        config = 'set(CPACK_PACKAGE_DESCRIPTION "the compiler\\n(vorn) and \\"vorn-dis\\"")\n'
        self.assertEqual(description(config), 'the compiler\n(vorn) and \\"vorn-dis\\"')
        self.assertTrue(named("(vorn), x", "vorn"))
        self.assertFalse(named("vorn-check only", "vorn"))


class Names(unittest.TestCase):
    def test_man_vorn_lists_every_other_tool(self):
        with open(ARGS.man, encoding="utf-8") as f:
            listed = see_also(f.read())
        self.assertEqual(sorted(set(TOOLS) - {"vorn"} - listed), [],
                         "tools missing under SEE ALSO in %s" % ARGS.man)

    def test_package_description_names_every_tool_and_the_editors(self):
        with open(ARGS.cpack_config, encoding="utf-8") as f:
            text = description(f.read())
        self.assertTrue(text, "no CPACK_PACKAGE_DESCRIPTION in %s" % ARGS.cpack_config)
        self.assertEqual([t for t in TOOLS + list(EDITORS) if not named(text, t)], [])


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--tools", required=True, help="comma-separated tool names")
    parser.add_argument("--man", required=True)
    parser.add_argument("--cpack-config", required=True)
    ARGS, rest = parser.parse_known_args()
    TOOLS = [t for t in ARGS.tools.split(",") if t]
    unittest.main(argv=[sys.argv[0]] + rest)
