// The project model on real folders: which scripts are top scripts, diagnostics in the context
// of the top scripts, names across files, the bounded walk, and incremental recompiles.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include <vorn/project.h>

namespace fs = std::filesystem;

namespace {

class ProjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string name = (fs::temp_directory_path() / "vorn-project-XXXXXX").string();
        ASSERT_NE(mkdtemp(name.data()), nullptr);
        folder = name;
        write("events.lst", "OnStart 1\nOnStop 2\n");
        write("command.lst", "Wait 0 1\nIf 1 3\n");
    }
    void TearDown() override { fs::remove_all(folder); }

    void write(const std::string& path, const std::string& text) {
        fs::path full = folder / path;
        fs::create_directories(full.parent_path());
        std::ofstream(full, std::ios::binary) << text;
    }

    std::vector<std::string> texts(const std::vector<vorn::ContextDiagnostic>& diagnostics) {
        std::vector<std::string> out;
        for (const vorn::ContextDiagnostic& d : diagnostics)
            out.push_back(d.diagnostic.where.file + ":" + std::to_string(d.diagnostic.where.line) +
                          ": " + d.diagnostic.text + (d.context.empty() ? "" : " [" + d.context + "]"));
        return out;
    }

    const vorn::Symbol* symbol(const vorn::Project& project, vorn::SymbolKind kind,
                               const std::string& name, const std::string& file = {}) {
        for (const vorn::Symbol& s : project.symbols())
            if (s.kind == kind && s.name == name && (file.empty() || s.definition.file == file))
                return &s;
        return nullptr;
    }

    static bool has_use(const vorn::Symbol& symbol, const std::string& file, uint32_t line, uint32_t column) {
        return std::any_of(symbol.uses.begin(), symbol.uses.end(), [&](const vorn::Location& use) {
            return use.file == file && use.line == line && use.column == column;
        });
    }

    fs::path folder;
};

using Strings = std::vector<std::string>;

// A top script's compile is one shared result: every holder sees the same one, and a
// recompile (served text) makes a new result while an old holder's stays whole.
TEST_F(ProjectTest, ACompileIsSharedAndOutlivesItsRecompile) {
    write("main.vs", "include lib.vs\n  Wait(1)\n");
    write("lib.vs", "  Wait(2)\n");
    vorn::Project project(folder.string());
    project.load();
    std::shared_ptr<const vorn::CompileResult> held = project.shared_compile_of("main.vs");
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(held.get(), project.compile_of("main.vs"));
    EXPECT_EQ(project.shared_compile_of((folder / "main.vs").string()), held);
    EXPECT_EQ(project.shared_compile_of("lib.vs"), nullptr);
    EXPECT_TRUE(held->diagnostics.empty());
    auto text = std::make_shared<const std::string>("  Jump(1)\n");
    project.serve((folder / "lib.vs").string(), text);
    std::shared_ptr<const vorn::CompileResult> fresh = project.shared_compile_of("main.vs");
    ASSERT_NE(fresh, held);
    EXPECT_EQ(fresh->error_count, 1);
    EXPECT_TRUE(held->diagnostics.empty());
    EXPECT_EQ(held->error_count, 0);
    // The served bytes are read where they lie: the caller's text is not copied to be kept.
    EXPECT_GE(text.use_count(), 2);
}

TEST_F(ProjectTest, TopScriptsAreTheScriptsNoScriptIncludes) {
    write("main.vs", "include lib\\/names.vs\ninclude lib\\/use.vs\n");
    write("other.vs", "  Wait(1)\n");
    write("lib/names.vs", "defvar Count 1\n");
    write("lib/use.vs", "  Wait(Count)\n");
    write("sub/deep.vs", "defvar Count 2\ninclude lib\\/use.vs\n");
    write("notes.txt", "  Jump(1)\n");
    write("lib/plain", "  Wait(2)\n");
    write("uses-plain.vs", "include lib\\/plain\n");
    vorn::Project project(folder.string());
    project.load();
    EXPECT_EQ(project.top_scripts(), (Strings{"main.vs", "other.vs", "uses-plain.vs", "sub/deep.vs"}));
    // A file an include names is a script, whatever its name.
    EXPECT_EQ(project.scripts(), (Strings{"lib/names.vs", "lib/plain", "lib/use.vs", "main.vs",
                                          "other.vs", "sub/deep.vs", "uses-plain.vs"}));
    EXPECT_TRUE(project.is_top("sub/deep.vs"));
    EXPECT_TRUE(project.is_top((folder / "main.vs").string()));
    EXPECT_FALSE(project.is_top("lib/use.vs"));
    EXPECT_EQ(project.compile_of("lib/use.vs"), nullptr);
    EXPECT_EQ(project.tops_reaching("lib/use.vs"), (Strings{"main.vs", "sub/deep.vs"}));
    EXPECT_EQ(project.tops_reaching("main.vs"), (Strings{"main.vs"}));
    // Every shared file is clean in the context of its includers.
    EXPECT_EQ(texts(project.diagnostics()), Strings{});
    EXPECT_EQ(project.status(), vorn::StatusClean);
    EXPECT_EQ(project.stats().compiles, 4u);
}

TEST_F(ProjectTest, ASharedFileWrongForOneIncluderNamesIt) {
    write("a.vs", "defvar Speed 3\ninclude shared.vs\n");
    write("b.vs", "include shared.vs\n");
    write("shared.vs", "  Wait(Speed)\n  Wait(&7)\n");
    vorn::Project project(folder.string());
    project.load();
    EXPECT_EQ(texts(project.diagnostics_of("shared.vs")),
              (Strings{"shared.vs:2: Event parameter (7) out of range (1-3) [a.vs]",
                       "shared.vs:1: Unknown argument 'Speed' [b.vs]"}));
    EXPECT_EQ(texts(project.diagnostics_of("a.vs")), Strings{});
    EXPECT_EQ(project.status(), vorn::StatusErrors);
}

TEST_F(ProjectTest, AnIncludeCycleHasItsFirstScriptAsTopScript) {
    write("a.vs", "include b.vs\n  Wait(1)\n");
    write("b.vs", "include a.vs\n");
    write("self.vs", "include self.vs\n");
    vorn::Project project(folder.string());
    project.load();
    // a.vs opens b.vs; b.vs's include of a.vs is not opened (a.vs is open), so a.vs is
    // included by no one. A file that includes only itself is its own top script.
    EXPECT_EQ(project.top_scripts(), (Strings{"a.vs", "self.vs"}));
    EXPECT_EQ(texts(project.diagnostics()),
              (Strings{"b.vs:1: File a.vs includes itself [a.vs]", "self.vs:1: File self.vs includes itself"}));
}

TEST_F(ProjectTest, LaterTopScriptThatIncludesAnEarlierOneDemotesIt) {
    // a.vs comes first in check order, is compiled as a top script, and then turns out to be
    // included by z.vs.
    write("a.vs", "  Wait(Late)\n");
    write("z.vs", "defvar Late 1\ninclude a.vs\n");
    vorn::Project project(folder.string());
    project.load();
    EXPECT_EQ(project.top_scripts(), Strings{"z.vs"});
    EXPECT_EQ(texts(project.diagnostics()), Strings{});
}

TEST_F(ProjectTest, SymbolicLinkLoopsAreWalkedOnce) {
    write("main.vs", "  Wait(1)\n");
    write("sub/inner.vs", "  Wait(2)\n");
    fs::create_directory_symlink(".", folder / "loop");
    fs::create_directory_symlink("..", folder / "sub" / "up");
    // A link to a folder not seen yet is followed.
    write("../" + folder.filename().string() + "-outside/far.vs", "  Wait(3)\n");
    fs::create_directory_symlink(folder.string() + "-outside", folder / "far");
    vorn::Project project(folder.string());
    project.load();
    fs::remove_all(folder.string() + "-outside");
    EXPECT_EQ(project.top_scripts(), (Strings{"main.vs", "far/far.vs", "sub/inner.vs"}));
    EXPECT_TRUE(project.notes().empty());
}

TEST_F(ProjectTest, TheWalkStopsSixteenLevelsDownWithANote) {
    std::string deep;
    for (int level = 1; level <= vorn::MaxFolderDepth + 1; ++level) {
        deep += "d/";
        write(deep + "s.vs", "  Wait(1)\n");
    }
    vorn::Project project(folder.string());
    project.load();
    EXPECT_EQ(project.top_scripts().size(), static_cast<std::size_t>(vorn::MaxFolderDepth));
    ASSERT_EQ(project.notes().size(), 1u);
    EXPECT_NE(project.notes()[0].text.find("16 levels"), std::string::npos);
    EXPECT_EQ(vorn::WalkLimits{}.depth, 16);
}

TEST_F(ProjectTest, AFolderThatCannotBeReadIsNoted) {
    write("main.vs", "  Wait(1)\n");
    write("locked/hidden.vs", "  Wait(2)\n");
    fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(folder / "locked", fs::perms::none);
    // Root reads any folder: the walk runs as nobody then, in a child process.
    auto walk = [&] {
        vorn::Project project(folder.string());
        project.load();
        const std::vector<vorn::ProjectNote>& notes = project.notes();
        return project.top_scripts() == Strings{"main.vs"} && notes.size() == 1 &&
               notes[0].path == (folder / "locked").string() &&
               notes[0].text == "this folder could not be read (Permission denied): it was not "
                                "searched for scripts";
    };
    int status = 0;
    if (geteuid() == 0) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0)
            _exit(setgid(65534) != 0 || setuid(65534) != 0 ? 77 : walk() ? 0 : 1);
        ASSERT_EQ(waitpid(child, &status, 0), child);
        status = WIFEXITED(status) ? WEXITSTATUS(status) : 2;
    } else {
        status = walk() ? 0 : 1;
    }
    fs::permissions(folder / "locked", fs::perms::owner_all);
    if (status == 77)
        GTEST_SKIP() << "cannot become nobody";
    EXPECT_EQ(status, 0);
}

TEST_F(ProjectTest, TheWalkStopsAfterItsEntriesWithANote) {
    // events.lst, command.lst, many/ and its files, and zz/ with last.vs: 46 entries in all.
    fs::create_directory(folder / "many");
    for (int i = 0; i < 40; ++i)
        std::ofstream(folder / "many" / (std::to_string(i) + ".vs"));
    write("zz/last.vs", "  Wait(1)\n");
    vorn::WalkLimits limits;
    limits.entries = 30;
    vorn::Project project(folder.string(), limits);
    project.load();
    EXPECT_EQ(project.stats().entries, 30u);
    EXPECT_LT(project.top_scripts().size(), 30u);
    ASSERT_EQ(project.notes().size(), 1u);
    EXPECT_NE(project.notes()[0].text.find("after 30 entries"), std::string::npos);

    limits.entries = 46;
    vorn::Project all(folder.string(), limits);
    all.load();
    EXPECT_EQ(all.top_scripts().size(), 41u);
    EXPECT_TRUE(all.notes().empty());
    EXPECT_EQ(vorn::WalkLimits{}.entries, 100000u);
}

TEST_F(ProjectTest, AFifoIsNeverOpened) {
    write("main.vs", "include pipe.vs\n  Wait(1)\n");
    ASSERT_EQ(mkfifo((folder / "pipe.vs").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo((folder / "other.vs").c_str(), 0600), 0);
    vorn::Project project(folder.string());
    project.load();  // would block on opening a FIFO for reading
    EXPECT_EQ(project.top_scripts(), Strings{"main.vs"});
    EXPECT_EQ(texts(project.diagnostics()), Strings{"main.vs:1: Cannot open file pipe.vs: not a regular file"});
}

TEST_F(ProjectTest, EveryCompileOfOneChangeSeesTheSameRefusals) {
    // The compiles that one change calls for read each file once; a file that could not be
    // opened, or was refused, is so for every one of them, each with its own reason.
    write("a.vs", "include pipe.vs\ninclude missing.vs\n");
    write("b.vs", "include pipe.vs\ninclude missing.vs\n");
    ASSERT_EQ(mkfifo((folder / "pipe.vs").c_str(), 0600), 0);
    vorn::Project project(folder.string());
    project.load();
    EXPECT_EQ(texts(project.diagnostics()),
              (Strings{"a.vs:1: Cannot open file pipe.vs: not a regular file", "a.vs:2: Cannot open file missing.vs",
                       "b.vs:1: Cannot open file pipe.vs: not a regular file", "b.vs:2: Cannot open file missing.vs"}));
    // The next change reads the files again.
    write("missing.vs", "  Wait(Nobody)\n");
    project.added("missing.vs");
    EXPECT_EQ(texts(project.diagnostics()),
              (Strings{"a.vs:1: Cannot open file pipe.vs: not a regular file",
                       "missing.vs:1: Unknown argument 'Nobody' [a.vs]",
                       "b.vs:1: Cannot open file pipe.vs: not a regular file"}));
}

TEST_F(ProjectTest, UsesAndDefinitionsAcrossThreeFiles) {
    write("main.vs", "include lib\\/names.vs\ninclude lib\\/use.vs\nOnStart:\n  Wait(Max)\n5\n");
    write("lib/names.vs", "defvar Count 1\ndefnum Max 9\ndefvar Count 2\ndefnum Count 7\n");
    write("lib/use.vs", "  Wait(Count)\n  If(Self, GreaterThan, Max)\n");
    vorn::Project project(folder.string());
    project.load();
    ASSERT_EQ(project.status(), vorn::StatusClean);

    // The first definition of Count wins, and a variable comes before a constant.
    const vorn::Symbol* count = symbol(project, vorn::SymbolKind::Variable, "Count");
    ASSERT_NE(count, nullptr);
    EXPECT_EQ(count->definition.file, "lib/names.vs");
    EXPECT_EQ(count->definition.line, 1u);
    EXPECT_EQ(count->definition.column, 8u);
    EXPECT_EQ(count->uses.size(), 1u);
    EXPECT_TRUE(has_use(*count, "lib/use.vs", 1, 8));
    int later_counts = 0;
    for (const vorn::Symbol& s : project.symbols())
        if (s.name == "Count" && &s != count) {
            ++later_counts;
            EXPECT_TRUE(s.uses.empty());
        }
    EXPECT_EQ(later_counts, 2);

    const vorn::Symbol* max = symbol(project, vorn::SymbolKind::Constant, "Max");
    ASSERT_NE(max, nullptr);
    EXPECT_EQ(max->definition.line, 2u);
    EXPECT_EQ(max->uses.size(), 2u);
    EXPECT_TRUE(has_use(*max, "main.vs", 4, 8));
    EXPECT_TRUE(has_use(*max, "lib/use.vs", 2, 25));

    const vorn::Symbol* self = symbol(project, vorn::SymbolKind::Variable, "Self");
    ASSERT_NE(self, nullptr);
    EXPECT_TRUE(self->definition.file.empty());
    EXPECT_TRUE(has_use(*self, "lib/use.vs", 2, 6));
    const vorn::Symbol* greater = symbol(project, vorn::SymbolKind::Condition, "GreaterThan");
    ASSERT_NE(greater, nullptr);
    EXPECT_TRUE(has_use(*greater, "lib/use.vs", 2, 12));

    const vorn::Symbol* wait = symbol(project, vorn::SymbolKind::Command, "Wait");
    ASSERT_NE(wait, nullptr);
    EXPECT_EQ(wait->definition.file, "command.lst");
    EXPECT_EQ(wait->uses.size(), 2u);
    EXPECT_TRUE(has_use(*wait, "main.vs", 4, 3));
    EXPECT_TRUE(has_use(*wait, "lib/use.vs", 1, 3));

    const vorn::Symbol* start = symbol(project, vorn::SymbolKind::Event, "OnStart");
    ASSERT_NE(start, nullptr);
    EXPECT_TRUE(has_use(*start, "main.vs", 3, 1));
    const vorn::Symbol* label = symbol(project, vorn::SymbolKind::EventLabel, "OnStart");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->definition.line, 3u);
    const vorn::Symbol* place = symbol(project, vorn::SymbolKind::Place, "5");
    ASSERT_NE(place, nullptr);
    EXPECT_EQ(place->definition.file, "main.vs");
    EXPECT_EQ(place->definition.line, 5u);

    const vorn::Symbol* use_file = symbol(project, vorn::SymbolKind::Include, "lib/use.vs");
    ASSERT_NE(use_file, nullptr);
    // "include lib\/use.vs": the name's range covers the backslash that escapes '/'.
    EXPECT_EQ(use_file->uses.size(), 1u);
    EXPECT_TRUE(has_use(*use_file, "main.vs", 2, 9));
    EXPECT_EQ(use_file->uses[0].end_column, 20u);

    // The query the editor asks: what is the name at this place?
    std::vector<const vorn::Symbol*> at = project.symbols_at("lib/use.vs", 1, 10);
    ASSERT_EQ(at.size(), 1u);
    EXPECT_EQ(at[0], count);
    at = project.symbols_at("lib/names.vs", 1, 8);
    ASSERT_EQ(at.size(), 1u);
    EXPECT_EQ(at[0], count);
    EXPECT_TRUE(project.symbols_at("lib/use.vs", 1, 1).empty());
}

TEST_F(ProjectTest, ANameOfASharedFileResolvesPerIncluder) {
    write("a.vs", "defvar Speed 3\ninclude shared.vs\n");
    write("b.vs", "defnum Speed 4\ninclude shared.vs\n");
    write("shared.vs", "  Wait(Speed)\n");
    vorn::Project project(folder.string());
    project.load();
    std::vector<const vorn::Symbol*> at = project.symbols_at("shared.vs", 1, 8);
    ASSERT_EQ(at.size(), 2u);
    EXPECT_EQ(at[0]->definition.file, "a.vs");
    EXPECT_EQ(at[0]->kind, vorn::SymbolKind::Variable);
    EXPECT_EQ(at[1]->definition.file, "b.vs");
    EXPECT_EQ(at[1]->kind, vorn::SymbolKind::Constant);
}

TEST_F(ProjectTest, SymbolsAtAnswersAsAScanOfEveryPlace) {
    // Names that resolve differently per includer, several names on one line (some with no
    // blank between them), includes, commands, events, conditions and a place.
    write("a.vs", "defvar Speed 3\ndefnum Top 9\ninclude lib\\/shared.vs\nOnStart:\n  If(Speed, Equal, Top)\n");
    write("b.vs", "defnum Speed 4\ndefvar Top 1\ninclude lib\\/shared.vs\n  Wait(Speed)\n7\n");
    write("lib/shared.vs", "  If(Speed,LessThan,Top)\n  Wait(Speed)\nOnStop:\n  If(Self, GreaterThan, Top)\n");
    vorn::Project project(folder.string());
    project.load();
    std::size_t hits = 0, several = 0;
    for (const std::string file : {"a.vs", "b.vs", "lib/shared.vs", "command.lst", "elsewhere.vs"}) {
        std::vector<std::string> lines;
        std::ifstream in(folder / file);
        for (std::string text; std::getline(in, text);)
            lines.push_back(text);
        lines.emplace_back();  // a line past the end
        for (uint32_t line = 1; line <= lines.size(); ++line) {
            for (uint32_t column = 1; column <= lines[line - 1].size() + 2; ++column) {
                std::vector<const vorn::Symbol*> scanned;
                for (const vorn::Symbol& s : project.symbols()) {
                    auto covers = [&](const vorn::Location& where) {
                        return where.file == file && where.line == line && where.column <= column &&
                               column < std::max(where.end_column, where.column + 1);
                    };
                    if (covers(s.definition) || std::any_of(s.uses.begin(), s.uses.end(), covers))
                        scanned.push_back(&s);
                }
                EXPECT_EQ(project.symbols_at(file, line, column), scanned) << file << ":" << line << ":" << column;
                hits += !scanned.empty();
                several += scanned.size() > 1;
            }
        }
    }
    // The comparison saw names, and names of a shared file with two meanings.
    EXPECT_GE(hits, 100u);
    EXPECT_GE(several, 20u);
}

TEST_F(ProjectTest, AChangeRecompilesOnlyTheTopScriptsThatReadTheFile) {
    write("a.vs", "include shared.vs\n");
    write("b.vs", "include shared.vs\n");
    write("c.vs", "  Wait(1)\n");
    write("shared.vs", "  Wait(1)\n");
    vorn::Project project(folder.string());
    project.load();
    ASSERT_EQ(project.stats().compiles, 3u);

    write("shared.vs", "  Wait(Nobody)\n");
    project.changed("shared.vs");
    EXPECT_EQ(project.stats().compiles, 5u);
    EXPECT_EQ(texts(project.diagnostics()), Strings{"shared.vs:1: Unknown argument 'Nobody' [a.vs]"});

    project.changed((folder / "c.vs").string());
    EXPECT_EQ(project.stats().compiles, 6u);

    // The lists are read by every compile.
    project.changed("events.lst");
    EXPECT_EQ(project.stats().compiles, 9u);

    // A file nobody reads changes nothing.
    project.changed("notes.txt");
    EXPECT_EQ(project.stats().compiles, 9u);
}

TEST_F(ProjectTest, AddingRemovingAndRenamingUpdateTheSets) {
    write("a.vs", "include missing.vs\n");
    write("b.vs", "  Wait(1)\n");
    vorn::Project project(folder.string());
    project.load();
    EXPECT_EQ(texts(project.diagnostics()), Strings{"a.vs:1: Cannot open file missing.vs"});
    std::size_t compiles = project.stats().compiles;

    // The file an include named appears: a.vs is recompiled and the new file is shared.
    write("missing.vs", "  Wait(2)\n");
    project.added("missing.vs");
    EXPECT_EQ(project.top_scripts(), (Strings{"a.vs", "b.vs"}));
    EXPECT_EQ(project.stats().compiles, compiles + 1);
    EXPECT_EQ(texts(project.diagnostics()), Strings{});

    // b.vs now includes a.vs: a.vs is a shared file from then on.
    write("b.vs", "include a.vs\n");
    project.changed("b.vs");
    EXPECT_EQ(project.top_scripts(), Strings{"b.vs"});

    // Removed again: a.vs is its own top script once more.
    fs::remove(folder / "b.vs");
    project.removed("b.vs");
    EXPECT_EQ(project.top_scripts(), Strings{"a.vs"});

    // Renamed: the includer sees the file go, and the new name is a top script.
    fs::rename(folder / "missing.vs", folder / "found.vs");
    project.renamed("missing.vs", "found.vs");
    EXPECT_EQ(project.top_scripts(), (Strings{"a.vs", "found.vs"}));
    EXPECT_EQ(texts(project.diagnostics()), Strings{"a.vs:1: Cannot open file missing.vs"});
}

TEST_F(ProjectTest, UnsavedTextIsCheckedInContext) {
    write("a.vs", "defvar Speed 3\ninclude shared.vs\n");
    write("shared.vs", "  Wait(Speed)\n");
    vorn::Project project(folder.string());
    project.load();
    project.serve("shared.vs", "  Wait(Sped)\n");
    EXPECT_EQ(texts(project.diagnostics()), Strings{"shared.vs:1: Unknown argument 'Sped' [a.vs]"});
    project.forget("shared.vs");
    EXPECT_EQ(texts(project.diagnostics()), Strings{});
    // A new document that is not saved yet is a script too.
    project.serve("new.vs", "include shared.vs\n");
    EXPECT_EQ(project.top_scripts(), (Strings{"a.vs", "new.vs"}));
}

TEST_F(ProjectTest, AnAbandonedCompileLeavesTheProjectInterruptedUntilResumed) {
    std::string many;
    for (int i = 0; i < 5000; ++i)
        many += "; a note\n";
    write("a.vs", many + "  Wait(Nobody)\n");
    write("b.vs", "  Wait(Other)\n");
    vorn::Project project(folder.string());
    // Stops at the first question: a.vs is the first top script and long enough to be asked.
    int asked = 0;
    bool stop = true;
    project.set_stop([&] {
        ++asked;
        return stop;
    });
    project.load();
    EXPECT_TRUE(project.interrupted());
    EXPECT_EQ(asked, 1);
    // Nothing after the stop was compiled, and nothing of the abandoned compile is shown.
    EXPECT_EQ(project.stats().compiles, 1u);
    EXPECT_EQ(texts(project.diagnostics()), Strings{});

    // While the stop holds, resuming stops again at once.
    project.resume();
    EXPECT_TRUE(project.interrupted());
    EXPECT_EQ(project.stats().compiles, 2u);

    stop = false;
    project.resume();
    EXPECT_FALSE(project.interrupted());
    EXPECT_EQ(project.top_scripts(), (Strings{"a.vs", "b.vs"}));
    EXPECT_EQ(texts(project.diagnostics()), (Strings{"a.vs:5001: Unknown argument 'Nobody'",
                                                     "b.vs:1: Unknown argument 'Other'"}));
    // A compile too short to be asked is never stopped.
    stop = true;
    asked = 0;
    project.changed("b.vs");
    EXPECT_FALSE(project.interrupted());
    EXPECT_EQ(asked, 0);
}

TEST(ProjectFolder, TheNearestFolderHoldingBothLists) {
    std::string name = (fs::temp_directory_path() / "vorn-folder-XXXXXX").string();
    ASSERT_NE(mkdtemp(name.data()), nullptr);
    fs::path root = name;
    fs::create_directories(root / "p/q/r");
    std::ofstream(root / "p/events.lst");
    std::ofstream(root / "p/command.lst");
    std::ofstream(root / "p/q/events.lst");  // one list alone does not make a project
    EXPECT_EQ(vorn::find_project_folder((root / "p/q/r/x.vs").string()), (root / "p").string());
    EXPECT_EQ(vorn::find_project_folder((root / "p/./q/../x.vs").string()), (root / "p").string());
    // Not above root.
    EXPECT_EQ(vorn::find_project_folder((root / "p/q/r/x.vs").string(), (root / "p/q").string()), "");
    EXPECT_EQ(vorn::find_project_folder((root / "x.vs").string(), (root / "p").string()), "");
    // Documents not yet saved count as files.
    EXPECT_EQ(vorn::find_project_folder((root / "p/q/x.vs").string(), {},
                                        {(root / "p/q/command.lst").string()}),
              (root / "p/q").string());
    EXPECT_EQ(vorn::find_project_folder("relative/x.vs"), "");
    fs::remove_all(root);
}

}  // namespace
