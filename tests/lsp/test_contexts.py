"""A shared file seen through every top script that includes it: hover, definition and
completion answer for each compile that reaches the place; diagnostics carry their key note
and the compile they arise in in the message itself; warnings come from the client's settings."""

import os
import random
import unittest

import lsp_client
from lsp_client import LISTS, ServerTest, uri, write_files

SHARED = "OnTouch:\n    Wait(Mood)\n"
WATCH = {"workspace": {"configuration": True}}


def locations(answer):
    """A definition answer as a list: none (null), one Location, or Location[]."""
    if answer is None:
        return []
    return answer if isinstance(answer, list) else [answer]


def at_line(line, start, end):
    return {"start": {"line": line, "character": start}, "end": {"line": line, "character": end}}


class SharedFileMeanings(ServerTest):
    def setUp(self):
        super().setUp()
        self.write({"tavern.vs": "defvar Mood 20\ndefvar Gold 3\ninclude lib\\/shared.vs\n",
                    "market.vs": "defvar Mood 22\ninclude lib\\/shared.vs\n",
                    "lib/shared.vs": SHARED})
        self.client.initialize(self.root)
        self.shared = self.path("lib/shared.vs")
        self.client.open(self.shared)
        self.client.diagnostics(self.shared)

    def test_hover_shows_each_compiles_meaning(self):
        hover = self.client.at("textDocument/hover", self.shared, 1, 10)["contents"]["value"]
        self.assertIn("`Mood` differs between the compiles that reach this line:", hover)
        self.assertIn("variable 20, defined in tavern.vs line 1 (in the compile of tavern.vs)", hover)
        self.assertIn("variable 22, defined in market.vs line 1 (in the compile of market.vs)", hover)
        self.assertNotIn("unknown", hover)

    def test_definition_returns_every_definition_site(self):
        found = self.client.at("textDocument/definition", self.shared, 1, 10)
        self.assertIsInstance(found, list)
        self.assertEqual(sorted((d["uri"], d["range"]["start"]["line"], d["range"]["start"]["character"])
                                for d in found),
                         [(uri(self.path("market.vs")), 0, 7), (uri(self.path("tavern.vs")), 0, 7)])

    def test_references_cover_every_includers_definition(self):
        found = self.client.at("textDocument/references", self.shared, 1, 10, context={"includeDeclaration": True})
        self.assertEqual(sorted((d["uri"], d["range"]["start"]["line"]) for d in found),
                         [(uri(self.path("lib/shared.vs")), 1), (uri(self.path("market.vs")), 0),
                          (uri(self.path("tavern.vs")), 0)])

    def test_completion_offers_the_names_of_every_includer_with_where_they_come_from(self):
        items = self.client.at("textDocument/completion", self.shared, 1, 9)["items"]
        details = {item["label"]: item["detail"] for item in items}
        self.assertEqual(details["Gold"], "variable 3, defined in tavern.vs line 2")
        # In check order: market.vs before tavern.vs.
        self.assertEqual(details["Mood"], "variable 22, defined in market.vs line 1; "
                                          "variable 20, defined in tavern.vs line 1")
        self.assertIn("Self", details)

    def test_a_name_defined_after_the_include_is_unknown_in_that_compile(self):
        self.write({"market.vs": "include lib\\/shared.vs\ndefvar Mood 22\n"})
        self.client.notify("workspace/didChangeWatchedFiles",
                           {"changes": [{"uri": uri(self.path("market.vs")), "type": 2}]})
        found = self.client.diagnostics(self.shared)
        self.assertEqual([d["message"] for d in found],
                         ["Unknown argument 'Mood' (in the compile of market.vs)"])
        hover = self.client.at("textDocument/hover", self.shared, 1, 10)["contents"]["value"]
        self.assertIn("variable 20, defined in tavern.vs line 1 (in the compile of tavern.vs)", hover)
        self.assertIn("unknown (in the compile of market.vs)", hover)
        self.assertNotIn("22", hover)
        found = self.client.at("textDocument/definition", self.shared, 1, 10)
        self.assertEqual(found["uri"], uri(self.path("tavern.vs")))


class GeneratedProjects(ServerTest):
    """Random projects: each top script defines some of the names, before or after its include
    of the shared file, with values of its own; the shared file uses every name. Hover,
    definition and completion in the shared file must agree with what each compile defines
    before the include."""

    NAMES = ["Mood", "Gold", "Rain", "Hour"]

    def make(self, rng, folder):
        tops = {}
        before = {}  # top -> {name: (value, line from 0)}
        for t in range(rng.randint(1, 4)):
            lines, defined = [], {}
            include_at = None
            for name in self.NAMES:
                where = rng.choice(["before", "after", "none"])
                if where == "before":
                    value = rng.randint(0, 3)
                    defined[name] = (value, len(lines))
                    lines.append("defvar %s %d" % (name, value))
            include_at = len(lines)
            lines.append("include lib\\/shared.vs")
            for name in self.NAMES:
                if name not in defined and rng.random() < 0.3:
                    lines.append("defvar %s 9" % name)
            top = "top%d.vs" % t
            tops[top] = "\n".join(lines) + "\n"
            before[top] = defined
        shared = "OnTouch:\n" + "".join("    Wait(%s)\n" % name for name in self.NAMES)
        files = dict(LISTS, **tops)
        files["lib/shared.vs"] = shared
        write_files(folder, files)
        return before

    def test_answers_agree_with_each_compile(self):
        rng = random.Random(22)
        for case in range(lsp_client.property_share(12)):
            folder = self.path("p%d" % case)
            before = self.make(rng, folder)
            if case == 0:
                self.client.initialize(self.root)
            shared = os.path.join(folder, "lib/shared.vs")
            self.client.open(shared)
            self.client.diagnostics(shared)
            items = self.client.at("textDocument/completion", shared, 1, 9)["items"]
            offered = {item["label"] for item in items} & set(self.NAMES)
            self.assertEqual(offered, {n for defined in before.values() for n in defined}, (case, before))
            for line, name in enumerate(self.NAMES, start=1):
                meanings = {top: defined.get(name) for top, defined in before.items()}
                sites = sorted({(uri(os.path.join(folder, top)), m[1]) for top, m in meanings.items() if m})
                found = locations(self.client.at("textDocument/definition", shared, line, 10))
                self.assertEqual(sorted((d["uri"], d["range"]["start"]["line"]) for d in found), sites,
                                 (case, name, before))
                hover = self.client.at("textDocument/hover", shared, line, 10)
                text = hover["contents"]["value"] if hover else ""
                values = {m[0] if m else None for m in meanings.values()}
                distinct = {(top, m) for top, m in meanings.items() if m}
                if len(distinct) == 0:
                    self.assertNotIn("`%s`" % name, text, (case, name))
                    continue
                known = {(m[0], top) for top, m in meanings.items() if m}
                if len(known) == 1 and None not in values:
                    value, top = next(iter(known))
                    self.assertTrue(text.startswith("`%s`: variable %d, defined in %s line %d"
                                                    % (name, value, top, meanings[top][1] + 1)), (case, text))
                    continue
                self.assertIn("differs between the compiles", text, (case, name, before))
                for top, m in meanings.items():
                    if m:
                        self.assertIn("variable %d, defined in %s line %d" % (m[0], top, m[1] + 1), text)
                    else:
                        self.assertRegex(text, r"unknown \(in the compiles? of [^)]*%s" % top)
            self.client.notify("textDocument/didClose", {"textDocument": {"uri": uri(shared)}})


class FoldedMessages(ServerTest):
    def test_the_key_note_and_the_compile_are_in_the_message(self):
        self.write({"tavern.vs": "include lib\\/shared.vs\n",
                    "lib/shared.vs": "OnTouch:\n    Sya(\"hi\")\n    Wait(1, 2)\n"})
        self.client.initialize(self.root)
        shared = self.path("lib/shared.vs")
        self.client.open(shared)
        found = self.client.diagnostics(shared)
        messages = [d["message"] for d in found]
        self.assertEqual(messages, [
            "Unknown command 'Sya'; did you mean 'Say'? (in the compile of tavern.vs)",
            "Wrong number of arguments; 'Wait' takes 1 argument; 2 were given (in the compile of tavern.vs)",
        ])
        # Clients that show related information still get the note and the include line.
        related = [r["message"] for r in found[0]["relatedInformation"]]
        self.assertIn("did you mean 'Say'?", related)
        self.assertIn("Included here, in the compile of tavern.vs", related)
        self.client.open(self.path("tavern.vs"))
        summary = self.client.diagnostics(self.path("tavern.vs"))
        self.assertEqual([d["message"] for d in summary],
                         ["2 errors in other files; the first, in lib/shared.vs: Unknown command 'Sya'; "
                          "did you mean 'Say'?"])


    def test_the_note_at_a_comma_inside_a_string_is_in_the_message(self):
        main = self.path("main.vs")
        self.write({"main.vs": "defvar Count 1\nOnStart:\n    Set(\"x,Count\")\n"})
        self.client.initialize(self.root)
        self.client.open(main)
        found = self.client.diagnostics(main)
        self.assertEqual(len(found), 1, found)
        self.assertTrue(found[0]["message"].startswith("Unknown argument 'Count"), found)
        self.assertTrue(found[0]["message"].endswith("'; did you mean 'Count'?; "
                                                     "the ',' inside this string ends the argument here"), found)


class WarningSettings(ServerTest):
    # An event label with no statement: empty-label is off unless asked for.
    UNUSED = {"main.vs": "OnStart:\nOnTouch:\n    Stop()\n"}

    def codes(self):
        return sorted(d["code"] for d in self.client.diagnostics(self.path("main.vs")))

    def test_initialization_options_turn_warnings_on(self):
        self.write(self.UNUSED)
        self.client.request("initialize", {"processId": None, "rootUri": uri(self.root), "capabilities": {},
                                           "initializationOptions": {"vorn": {"warnings": ["all"]}}})
        self.client.notify("initialized")
        self.client.open(self.path("main.vs"))
        self.assertEqual(self.codes(), ["empty-label"])

    def test_workspace_configuration_is_asked_for_and_followed(self):
        self.write(self.UNUSED)
        self.client.initialize(self.root, WATCH)
        self.client.open(self.path("main.vs"))
        # The server asks for the "vorn" section; until the answer, the default warnings.
        self.client.drain()
        asked = [m for m in self.client.requests if m["method"] == "workspace/configuration"]
        self.assertEqual(len(asked), 1)
        self.assertEqual(asked[0]["params"]["items"], [{"section": "vorn"}])
        self.assertEqual(self.codes(), [])
        self.client.notifications.clear()
        self.client.send({"jsonrpc": "2.0", "id": asked[0]["id"], "result": [{"warnings": ["all", "bogus"]}]})
        self.assertEqual(self.codes(), ["empty-label"])
        shown = [m for m in self.client.notifications if m["method"] == "window/showMessage"]
        self.assertEqual([m["params"]["message"] for m in shown], ["vorn.warnings: not a warning option: 'bogus'"])
        # A pushed change of settings is followed too, and "no-NAME" turns one off.
        self.client.notify("workspace/didChangeConfiguration",
                           {"settings": {"vorn": {"warnings": ["all", "no-empty-label"]}}})
        self.assertEqual(self.codes(), [])


if __name__ == "__main__":
    unittest.main()
