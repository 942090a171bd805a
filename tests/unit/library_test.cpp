// The compiler through its public interface: many compiles in one process, served text,
// positions of diagnostics and definitions, and what a compile records.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <vorn/compiler.h>

namespace {

namespace fs = std::filesystem;

const char* const Events = "START 1\nSTOP 2\nTICK 3\n";
const char* const Commands = "Say 1 1\nWait 2 1\nIf 3 3\nStop 4 0\n";

// A provider with the two lists and the given scripts, all served from memory.
struct Served {
    vorn::OverlayProvider files{"/vorn-served"};
    using Scripts = std::vector<std::pair<std::string, std::string>>;
    explicit Served(Scripts scripts) {
        files.serve("events.lst", Events);
        files.serve("command.lst", Commands);
        for (auto& [path, text] : scripts)
            files.serve(path, text);
    }
};

vorn::CompileResult compile(vorn::SourceProvider& files, const std::string& script,
                            bool keep_going = false, vorn::OutputSink* sink = nullptr) {
    vorn::NullSink quiet;
    vorn::CompileOptions options;
    options.keep_going = keep_going;
    options.record_lines = true;
    vorn::Compiler compiler;
    return compiler.compile(script, files, sink ? *sink : quiet, options);
}

// ---- Many compiles in one process match vorn ---------------------------------------------

struct VornRun {
    std::string stdout_text;
    int status;
    std::vector<unsigned char> output;
};

std::string read_all(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

VornRun run_vorn(const fs::path& folder, const std::string& script, const std::string& output) {
    std::string command = "cd '" + folder.string() + "' && '" VORN_BINARY "' " + script + " " + output;
    FILE* pipe = popen(command.c_str(), "r");
    EXPECT_NE(pipe, nullptr);
    VornRun run;
    char block[4096];
    std::size_t got;
    while ((got = fread(block, 1, sizeof block, pipe)) > 0)
        run.stdout_text.append(block, got);
    int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (fs::exists(folder / output)) {
        std::string bytes = read_all(folder / output);
        run.output.assign(bytes.begin(), bytes.end());
    }
    return run;
}

void write_file(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// What the library sends to the sink is vorn's standard output without the banner before it
// and the error count and "Done." after it.
std::string library_part(const std::string& vorn_stdout) {
    const std::string banner = "\n------- VORN version 0.1 -- by the VORN authors\n";
    std::string text = vorn_stdout.substr(banner.size());
    const std::string done = "Done.\n";
    if (text.size() >= done.size() && text.compare(text.size() - done.size(), done.size(), done) == 0)
        text.resize(text.size() - done.size());
    std::size_t count = text.rfind(" errors.\n");
    if (count != std::string::npos && count + 9 == text.size())
        text.resize(text.rfind('\n', count) + 1);
    return text;
}

TEST(Compiler, TwoScriptsCompiledAlternatelyAThousandTimesMatchVorn) {
    fs::path folder = fs::temp_directory_path() / ("vorn-alternate-" + std::to_string(getpid()));
    fs::remove_all(folder);
    write_file(folder / "events.lst", Events);
    write_file(folder / "command.lst", Commands);
    write_file(folder / "lib/common.vs", "defvar counter 7\ndefnum Big 100000\n");
    write_file(folder / "good.vs",
               "include lib\\/common.vs\nSTART:\n  Say(\"hello\")\n  If(counter, GreaterThan, Big)\n"
               "1\n  Wait(&2)\nSTOP:\n  Stop()\n");
    write_file(folder / "bad.vs",
               "TICK:\n  Wait(nothing)\n  Say(1, 2)\nUNKNOWN:\n7\n7\n  Say(\"" +
               std::string(90, 'x') + "\")\n");
    VornRun good = run_vorn(folder, "good.vs", "good.bin");
    VornRun bad = run_vorn(folder, "bad.vs", "bad.bin");
    ASSERT_EQ(good.status, 0);
    ASSERT_FALSE(good.output.empty());
    ASSERT_EQ(bad.status, 10);
    ASSERT_TRUE(bad.output.empty());

    vorn::FileSystemProvider files(folder.string());
    vorn::Compiler compiler;
    for (int round = 0; round < 1000; ++round) {
        for (int which = 0; which < 2; ++which) {
            const VornRun& expected = which == 0 ? good : bad;
            vorn::RecordingSink sink;
            vorn::CompileResult result = compiler.compile(which == 0 ? "good.vs" : "bad.vs", files, sink);
            ASSERT_EQ(result.status, expected.status) << "round " << round;
            ASSERT_EQ(sink.text(), library_part(expected.stdout_text)) << "round " << round;
            ASSERT_EQ(result.compiled, expected.output) << "round " << round;
        }
    }
    fs::remove_all(folder);
}

// ---- Served text --------------------------------------------------------------------------

TEST(OverlayProvider, ServedTextReplacesTheFileForTheScriptAndItsIncludes) {
    Served served(Served::Scripts{{"main.vs", "include inc.vs\n  Say(x)\n"}, {"inc.vs", "defvar x 3\n"}});
    vorn::CompileResult first = compile(served.files, "main.vs");
    EXPECT_EQ(first.status, 0);
    // An edit to the include, not yet saved anywhere, is what the next compile sees.
    served.files.serve("inc.vs", "defvar y 3\n");
    vorn::CompileResult second = compile(served.files, "main.vs");
    EXPECT_EQ(second.status, 10);
    ASSERT_EQ(second.diagnostics.size(), 1u);
    EXPECT_EQ(second.diagnostics[0].text, "Unknown argument 'x'");
}

TEST(OverlayProvider, AServedFileThatIncludesItselfIsCaught) {
    Served served(Served::Scripts{{"loop.vs", "include .\\/loop.vs\n"}});
    vorn::CompileResult result = compile(served.files, "loop.vs");
    ASSERT_EQ(result.diagnostics.size(), 1u);
    EXPECT_EQ(result.diagnostics[0].kind, vorn::DiagnosticKind::IncludesItself);
}

// ---- Positions ----------------------------------------------------------------------------

TEST(Positions, AnErrorTwoIncludesDeepHasItsOwnFileAndLine) {
    Served served(Served::Scripts{{"main.vs", "START:\n  Stop()\ninclude a.vs\n"},
                   {"a.vs", "\n\ninclude b.vs\n"},
                   {"b.vs", "  Stop()\n  Stop()\n  Say(nope)\n"}});
    vorn::CompileResult result = compile(served.files, "main.vs");
    ASSERT_EQ(result.diagnostics.size(), 1u);
    const vorn::Diagnostic& d = result.diagnostics[0];
    EXPECT_EQ(d.where.file, "b.vs");
    EXPECT_EQ(d.where.line, 3u);
    EXPECT_EQ(d.where.column, 7u);
    EXPECT_EQ(d.where.end_column, 11u);
    // vorn's own text quotes the running count, which runs on across the files (an include
    // line counts once its file is done, so the included file starts on its number).
    EXPECT_EQ(d.running_line, 7);
    EXPECT_EQ(d.vorn_text, "Error!  Unknown argument 'nope' on line 7\n");
    // The files with who includes whom, and from which line.
    ASSERT_EQ(result.files.size(), 5u);
    EXPECT_EQ(result.files[3].path, "a.vs");
    EXPECT_EQ(result.files[3].includer, 2);
    EXPECT_EQ(result.files[3].include_line, 3u);
    EXPECT_EQ(result.files[4].includer, 3);
}

TEST(Positions, ColumnsCountTheBackslashesThatCleaningRemoves) {
    Served served(Served::Scripts{{"main.vs", "  Say(\\\\\\q, 1)\n"}});
    vorn::CompileResult result = compile(served.files, "main.vs");
    ASSERT_EQ(result.diagnostics.size(), 1u);
    // The raw line is `  Say(\\\q, 1)`: the argument starts with the first backslash...
    EXPECT_EQ(result.diagnostics[0].kind, vorn::DiagnosticKind::WrongArgCount);
    EXPECT_EQ(result.diagnostics[0].where.column, 6u);
    EXPECT_EQ(result.diagnostics[0].where.end_column, 15u);

    Served escaped(Served::Scripts{{"main.vs", "  Sa\\y(\\\"x)\n"}});
    result = compile(escaped.files, "main.vs");
    ASSERT_EQ(result.diagnostics.size(), 1u);
    // ...and an escaped quote is an ordinary character of the name `"x`, whose range starts
    // with the backslash before it: columns 8 to 11.
    EXPECT_EQ(result.diagnostics[0].text, "Unknown argument '\"x'");
    EXPECT_EQ(result.diagnostics[0].where.column, 8u);
    EXPECT_EQ(result.diagnostics[0].where.end_column, 11u);
}

TEST(Positions, TheSecondPieceOfALongLineIsTheSameLineFromColumn300) {
    std::string line = "  Stop()" + std::string(291, ' ') + "  Say(zzz)\n";
    Served served(Served::Scripts{{"main.vs", "\n" + line + "  Stop()\n"}});
    vorn::CompileResult result = compile(served.files, "main.vs");
    ASSERT_EQ(result.diagnostics.size(), 1u);
    EXPECT_EQ(result.diagnostics[0].where.line, 2u);
    EXPECT_EQ(result.diagnostics[0].where.column, 300u + 6);
    EXPECT_EQ(result.diagnostics[0].running_line, 3);
    // Both pieces are records of line 2; the line after is line 3 again.
    ASSERT_EQ(result.lines.size(), 4u);
    EXPECT_EQ(result.lines[1].line, 2u);
    EXPECT_EQ(result.lines[2].line, 2u);
    EXPECT_EQ(result.lines[2].column, 300u);
    EXPECT_EQ(result.lines[3].line, 3u);
}

TEST(Positions, ListErrorsPointAtTheirLine) {
    vorn::OverlayProvider files{"/vorn-served"};
    files.serve("events.lst", "START 1\n; a comment\nSTOP 99999999999\n");
    files.serve("command.lst", Commands);
    files.serve("main.vs", "");
    vorn::CompileResult result = compile(files, "main.vs");
    EXPECT_EQ(result.status, 9);
    ASSERT_EQ(result.diagnostics.size(), 1u);
    EXPECT_EQ(result.diagnostics[0].where.file, "events.lst");
    EXPECT_EQ(result.diagnostics[0].where.line, 3u);
    EXPECT_EQ(result.diagnostics[0].vorn_text, "Bad entry on line 3 of events.lst!\n");
}

// ---- What a compile records ---------------------------------------------------------------

TEST(Records, DefinitionsAndLinesCarryTheirPlacesAndCode) {
    Served served(Served::Scripts{{"main.vs", "defvar v 5\ndefnum n -3\nSTART:\n  Say(v)\n12\n  Wait(n)\n"}});
    vorn::CompileResult result = compile(served.files, "main.vs");
    ASSERT_EQ(result.status, 0);
    // Self and Time first, with no place in a file.
    ASSERT_EQ(result.definitions.size(), 6u);
    EXPECT_EQ(result.definitions[0].name, "Self");
    EXPECT_TRUE(result.definitions[0].where.file.empty());
    const vorn::Definition& v = result.definitions[2];
    EXPECT_EQ(v.kind, vorn::DefinitionKind::Variable);
    EXPECT_EQ(v.value, 5);
    EXPECT_EQ(v.where.line, 1u);
    EXPECT_EQ(v.where.column, 8u);
    // A constant's value is as written; statements compile its low 16 bits (-3 as 65533).
    EXPECT_EQ(result.definitions[3].value, -3);
    EXPECT_EQ(result.definitions[4].kind, vorn::DefinitionKind::EventLabel);
    EXPECT_EQ(result.definitions[4].index, 0);
    EXPECT_EQ(result.definitions[5].kind, vorn::DefinitionKind::Place);
    EXPECT_EQ(result.definitions[5].index, 12);
    EXPECT_EQ(result.definitions[5].value, 4);
    // Say(v) is 4 bytes at 0, Wait(n) 6 bytes at 4; the code is what the file holds.
    EXPECT_EQ(result.lines[3].code_begin, 0);
    EXPECT_EQ(result.lines[3].code_end, 4);
    EXPECT_EQ(result.lines[5].code_begin, 4);
    EXPECT_EQ(result.lines[5].code_end, 10);
    EXPECT_EQ(result.code, (std::vector<unsigned char>{0, 4, 5, 0, 1, 2, 0xFD, 0xFF, 0, 0}));
    ASSERT_EQ(result.compiled.size(), 64u + 10 + 2 + 26);
    EXPECT_TRUE(std::equal(result.code.begin(), result.code.end(), result.compiled.begin() + 64));
}

TEST(Records, AtMostMaxDiagnosticsAreKeptButAllAreCountedAndAFatalOneIsKept) {
    std::string lines;
    for (int i = 0; i < 50; ++i)
        lines += "  Say(x)\n";
    Served served(Served::Scripts{{"main.vs", lines}, {"stop.vs", lines + "  Jump(1)\n"}});
    vorn::NullSink quiet;
    vorn::CompileOptions options;
    options.max_diagnostics = 7;
    vorn::Compiler compiler;
    vorn::CompileResult capped = compiler.compile("main.vs", served.files, quiet, options);
    EXPECT_EQ(capped.diagnostics.size(), 7u);
    EXPECT_EQ(capped.error_count, 50u);
    EXPECT_EQ(capped.status, vorn::StatusErrors);

    vorn::CompileResult fatal = compiler.compile("stop.vs", served.files, quiet, options);
    ASSERT_EQ(fatal.diagnostics.size(), 8u);
    EXPECT_TRUE(fatal.diagnostics.back().fatal);
    EXPECT_EQ(fatal.diagnostics.back().kind, vorn::DiagnosticKind::UnknownCommand);

    options.max_diagnostics = SIZE_MAX;
    EXPECT_EQ(compiler.compile("main.vs", served.files, quiet, options).diagnostics.size(), 50u);
}

TEST(Records, KeepGoingSkipsTheLinesThatWouldEndTheRun) {
    Served served(Served::Scripts{{"main.vs", "  Jump(1)\n  Say 1\ninclude gone.vs\n  Say(2)\n  Say(x)\n"}});
    vorn::CompileResult stopped = compile(served.files, "main.vs");
    EXPECT_EQ(stopped.status, 201);
    EXPECT_TRUE(stopped.fatal);

    vorn::CompileResult result = compile(served.files, "main.vs", true);
    EXPECT_EQ(result.status, 10);
    EXPECT_FALSE(result.fatal);
    ASSERT_EQ(result.diagnostics.size(), 4u);
    EXPECT_EQ(result.diagnostics[0].kind, vorn::DiagnosticKind::UnknownCommand);
    EXPECT_EQ(result.diagnostics[1].kind, vorn::DiagnosticKind::MissingParen);
    EXPECT_EQ(result.diagnostics[2].kind, vorn::DiagnosticKind::CannotOpenFile);
    EXPECT_EQ(result.diagnostics[2].where.file, "main.vs");
    EXPECT_EQ(result.diagnostics[2].where.column, 9u);
    EXPECT_EQ(result.diagnostics[3].kind, vorn::DiagnosticKind::UnknownArgument);
    // The skipped lines left no code behind: Say(2) is there, and the command byte of
    // Say(x), as vorn leaves it before a counted error in an argument.
    EXPECT_EQ(result.code, (std::vector<unsigned char>{0, 0, 2, 0}));
    // The include that could not be opened is among the files, for a build to watch.
    EXPECT_EQ(result.files.back().path, "gone.vs");
    EXPECT_FALSE(result.files.back().opened);
}

TEST(LoadLists, ReadsBothListsAloneAndReportsTheFirstProblem) {
    vorn::OverlayProvider files{"/vorn-served"};
    files.serve("events.lst", Events);
    files.serve("command.lst", "Say 1\n");
    vorn::RecordingSink sink;
    vorn::ListsResult loaded = vorn::load_lists(files, sink);
    EXPECT_FALSE(loaded.error);
    EXPECT_EQ(loaded.lists.events.size(), 3u);
    // A missing argument count reads as 0.
    EXPECT_EQ(loaded.lists.commands.at(0).arg_count, 0);
    EXPECT_EQ(loaded.lists.find_event("TICK"), 2);
    EXPECT_EQ(sink.text(), "Loaded 3 events\nLoaded 1 commands\n");

    files.forget("command.lst");
    loaded = vorn::load_lists(files, sink);
    ASSERT_TRUE(loaded.error);
    EXPECT_EQ(loaded.error->status, 4);
    EXPECT_EQ(loaded.error->vorn_text, "Cannot open COMMAND.LST!\n\n");
}

}  // namespace
