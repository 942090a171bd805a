"""Every tool that reads the lists finds the same ones from a subfolder of a project: the
nearest folder from the script's own (or the current one) up that holds both. A folder on the
way that holds only one of them is passed over (vorn-dis, which has no script, looks from the
current folder). vorn alone reads the current folder."""
import argparse
import json
import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lsp"))
import lsp_client  # noqa: E402

TOOLS = {}

# Shout is in the project's command.lst only: a script that uses it compiles clean only with
# the project's lists. The subfolder's lone events.lst lists no OnStart.
PROJECT = {
    "events.lst": "OnStart 1\n",
    "command.lst": "Wait 1 1\nShout 9 1\n",
    "sub/events.lst": "OnOther 1\n",
    "sub/deeper/s.vs": "OnStart:\n    Shout(\"hey\")\n",
    "top.vs": "OnStart:\n    Wait(1)\n",
}


def run(tool, *args, cwd):
    # vorn's echo of a line shows a string's quotes as the bytes it reads them as.
    return subprocess.run([TOOLS[tool], *args], cwd=cwd, capture_output=True, text=True, errors="replace",
                          timeout=60)


class ListsFound(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.root = os.path.realpath(self.tmp.name)
        self.addCleanup(self.tmp.cleanup)
        lsp_client.write_files(self.root, PROJECT)
        self.sub = os.path.join(self.root, "sub")

    def test_every_tool_finds_the_projects_lists_from_a_subfolder(self):
        check = run("vorn-check", "--format=json", "deeper/s.vs", cwd=self.sub)
        report = json.loads(check.stdout)
        self.assertEqual((check.returncode, report["diagnostics"]), (0, []), check.stderr)
        self.assertEqual([f["path"] for f in report["files"][:2]], ["../events.lst", "../command.lst"])
        listed = run("vorn-list", "deeper/s.vs", cwd=self.sub)
        self.assertEqual(listed.returncode, 0, listed.stdout + listed.stderr)
        self.assertIn("=== 6 bytes of code, no errors\n", listed.stdout)
        project = run("vorn-check", "--project", "--format=json", cwd=os.path.join(self.sub, "deeper"))
        report = json.loads(project.stdout)
        self.assertEqual((project.returncode, report["status"], report["diagnostics"]), (0, 0, []))
        # The whole project, its paths written from where the command ran.
        scripts = {script["path"]: [f["path"] for f in script["files"][:2]] for script in report["scripts"]}
        lists = ["../../events.lst", "../../command.lst"]
        self.assertEqual(scripts, {"../../top.vs": lists, "s.vs": lists})
        # Compiled with the project's lists by vorn in the project folder, listed from the
        # subfolder: Shout comes back by name.
        compiled = run("vorn", "sub/deeper/s.vs", "s.bin", cwd=self.root)
        self.assertEqual(compiled.returncode, 0, compiled.stdout)
        dis = run("vorn-dis", "../s.bin", cwd=self.sub)
        self.assertEqual(dis.returncode, 0, dis.stdout + dis.stderr)
        self.assertIn('Shout("hey")', dis.stdout)
        client = lsp_client.Client(TOOLS["vorn-lsp"])
        try:
            client.initialize(self.root)
            client.open(os.path.join(self.sub, "deeper", "s.vs"))
            self.assertEqual(client.diagnostics(os.path.join(self.sub, "deeper", "s.vs")), [])
            self.assertEqual(client.shutdown(), 0)
        finally:
            client.close()

    def test_vorn_reads_the_current_folder(self):
        vorn = run("vorn", "deeper/s.vs", "s.bin", cwd=self.sub)
        self.assertNotEqual(vorn.returncode, 0, vorn.stdout)
        self.assertIn("Loaded 1 events", vorn.stdout)

    def test_the_tools_say_where_they_looked_when_no_folder_holds_both(self):
        os.remove(os.path.join(self.root, "command.lst"))
        check = run("vorn-check", "deeper/s.vs", cwd=self.sub)
        self.assertIn("deeper/s.vs: note: no folder from deeper up to / holds both events.lst and command.lst",
                      check.stdout)
        check = run("vorn-check", "--format=json", "deeper/s.vs", cwd=self.sub)
        self.assertIn({"path": "deeper/s.vs", "text": "no folder from deeper up to / holds both events.lst and "
                       "command.lst"}, json.loads(check.stdout)["notes"])
        listed = run("vorn-list", "deeper/s.vs", cwd=self.sub)
        self.assertIn("vorn-list: note: no folder from deeper up to / holds both", listed.stderr)
        project = run("vorn-check", "--project", cwd=self.sub)
        self.assertIn("no folder from . up to / holds both", project.stdout)
        self.assertNotEqual(project.returncode, 0)
        with open(os.path.join(self.root, "s.bin"), "wb") as compiled:
            compiled.write(bytes(64))
        dis = run("vorn-dis", "../../s.bin", cwd=os.path.join(self.sub, "deeper"))
        self.assertIn("vorn-dis: note: no folder from . up to / holds both", dis.stderr)
        self.assertNotEqual(dis.returncode, 0)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    names = ("vorn", "vorn-check", "vorn-list", "vorn-dis", "vorn-lsp")
    for tool in names:
        parser.add_argument("--" + tool, required=True)
    args, rest = parser.parse_known_args()
    TOOLS.update({tool: os.path.abspath(getattr(args, tool.replace("-", "_"))) for tool in names})
    unittest.main(argv=[sys.argv[0]] + rest)
