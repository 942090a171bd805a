// vorn-check's dependency files and GNU-form locations, from results made by hand.
#include <gtest/gtest.h>

#include <string>

#include "check/reports.h"

namespace {

// Paths as make must read them back: gcc -MD's conventions.
TEST(MakeEscaped, LeavesOrdinaryPathsAsTheyAre) {
    EXPECT_EQ(make_escaped("lib/doors.vs"), "lib/doors.vs");
    EXPECT_EQ(make_escaped("a\\b.vs"), "a\\b.vs");
    EXPECT_EQ(make_escaped("x:y%z.vs"), "x\\:y%z.vs");
    EXPECT_EQ(make_escaped("x|y.vs"), "x\\|y.vs");
}

TEST(MakeEscaped, EscapesBlanksAndHashWithABackslash) {
    EXPECT_EQ(make_escaped("my script.vs"), "my\\ script.vs");
    EXPECT_EQ(make_escaped("a\tb"), "a\\\tb");
    EXPECT_EQ(make_escaped("a#b#"), "a\\#b\\#");
    EXPECT_EQ(make_escaped(" "), "\\ ");
}

TEST(MakeEscaped, DoublesTheBackslashesBeforeAnEscapedCharacter) {
    // One backslash before a blank: it is doubled, and the blank escaped (three in all).
    EXPECT_EQ(make_escaped("a\\ b"), "a\\\\\\ b");
    EXPECT_EQ(make_escaped("a\\\\#b"), "a\\\\\\\\\\#b");
    // Only the run right before the character counts.
    EXPECT_EQ(make_escaped("a\\b c"), "a\\b\\ c");
}

TEST(MakeEscaped, WritesDollarTwice) {
    EXPECT_EQ(make_escaped("a$b"), "a$$b");
    EXPECT_EQ(make_escaped("$$"), "$$$$");
}

TEST(MakeEscaped, DoublesABackslashAtTheEndSoThatItJoinsNoLine) {
    EXPECT_EQ(make_escaped("dir\\"), "dir\\\\");
    EXPECT_EQ(make_escaped("dir\\\\"), "dir\\\\\\\\");
}

TEST(MakeTargetEscaped, AlsoEscapesColonAndPercent) {
    // make reads "a:b:" as two colons and "a%b:" as a pattern rule.
    EXPECT_EQ(make_target_escaped("out:1%.bin"), "out\\:1\\%.bin");
    EXPECT_EQ(make_target_escaped("a\\:b c$"), "a\\\\\\:b\\ c$$");
    EXPECT_EQ(make_target_escaped("plain.bin"), "plain.bin");
}

TEST(UnreadableByMake, FindsLineEndsSemicolonsEqualsHomeFoldersAndArchiveMembers) {
    EXPECT_EQ(unreadable_by_make("a\nb"), "a line end");
    EXPECT_EQ(unreadable_by_make("a;b"), "';'");
    EXPECT_EQ(unreadable_by_make("k=v.vs"), "'='");
    EXPECT_EQ(unreadable_by_make("~/a.vs"), "a leading '~'");
    EXPECT_EQ(unreadable_by_make("././~x.vs"), "a leading '~'");
    EXPECT_EQ(unreadable_by_make("lib(m)"), "an archive member's \"(...)\"");
    EXPECT_EQ(unreadable_by_make("a b#c$d:e%f|g(h).vs~\\"), std::nullopt);
}

vorn::SourceRecord file(const char* path, bool opened = true, int includer = -1,
                        uint32_t include_line = 0) {
    vorn::SourceRecord record;
    record.path = path;
    record.opened = opened;
    record.includer = includer;
    record.include_line = include_line;
    return record;
}

vorn::CompileResult read_files() {
    vorn::CompileResult result;
    result.files = {file("events.lst"),       file("command.lst"),
                    file("main.vs"),          file("lib/a $.vs", true, 2, 1),
                    file("gone.vs", false, 3, 4), file("lib/a $.vs", true, 2, 7)};
    return result;
}

TEST(DependencyFile, NamesTheTargetThenEveryFileReadOnceInOrder) {
    // The include that could not be opened is a dependency too: a build must notice when it
    // appears. A file included twice is named once.
    EXPECT_EQ(dependency_file(read_files(), "out dir/main.bin", false),
              "out\\ dir/main.bin: \\\n"
              " events.lst \\\n"
              " command.lst \\\n"
              " main.vs \\\n"
              " lib/a\\ $$.vs \\\n"
              " gone.vs\n");
}

TEST(DependencyFile, PhonyAddsAnEmptyRuleForEachDependency) {
    EXPECT_EQ(dependency_file(read_files(), "main.bin", true),
              "main.bin: \\\n events.lst \\\n command.lst \\\n main.vs \\\n lib/a\\ $$.vs \\\n"
              " gone.vs\n"
              "\nevents.lst:\n\ncommand.lst:\n\nmain.vs:\n\nlib/a\\ $$.vs:\n\ngone.vs:\n");
}

TEST(DependencyFile, ARunThatReadNothingNamesOnlyTheTarget) {
    EXPECT_EQ(dependency_file(vorn::CompileResult{}, "t.bin", true), "t.bin:\n");
}

vorn::Diagnostic diagnostic(vorn::Location where, bool fatal, int status) {
    vorn::Diagnostic d{};
    d.kind = vorn::DiagnosticKind::UnknownDirective;
    d.where = std::move(where);
    d.fatal = fatal;
    d.status = status;
    d.text = "Some text";
    return d;
}

TEST(GnuReport, LeavesOutWhatTheLocationDoesNotHave) {
    vorn::CompileResult result;
    result.diagnostics = {diagnostic({"a.vs", 3, 5, 9}, false, 10),
                          diagnostic({"a.vs", 4, 0, 0}, false, 10),
                          diagnostic({"events.lst", 0, 0, 0}, false, 10),
                          diagnostic({"", 0, 0, 0}, true, 101)};
    EXPECT_EQ(gnu_report(result),
              "a.vs:3:5: error: Some text\n"
              "a.vs:4: error: Some text\n"
              "events.lst: error: Some text\n"
              "vorn-check: error: Some text\n"
              "vorn-check: note: checking stopped here (status 101)\n");
}

TEST(GnuReport, WritesControlBytesOfNamesAndTextsEscaped) {
    vorn::CompileResult result;
    result.diagnostics = {diagnostic({"e\x1b[31m.vs", 1, 3, 4}, true, 201)};
    result.diagnostics[0].text = "Cannot open file x\x07\x7f\t.vs";
    EXPECT_EQ(gnu_report(result),
              "e\\x1b[31m.vs:1:3: error: Cannot open file x\\x07\\x7f\\x09.vs\n"
              "e\\x1b[31m.vs:1:3: note: checking stopped here (status 201)\n");
}

// Several scripts: a diagnostic of a shared file is printed once, with a note naming the
// first top script it arose for; the top script's own diagnostics and a list's have none.
TEST(GnuReport, NamesTheContextOfASharedFilesDiagnosticOnce) {
    auto in = [](const char* path, int source) {
        vorn::Diagnostic d = diagnostic({path, 2, 3, 4}, false, 10);
        d.source = source;
        return d;
    };
    vorn::CompileResult a;
    a.diagnostics = {in("lib/s.vs", 3), in("a.vs", 2)};
    vorn::CompileResult b;
    b.diagnostics = {in("events.lst", 0), in("lib/s.vs", 3)};
    a.status = b.status = vorn::StatusErrors;
    std::vector<vorn::TopCompile> compiles = {{"a.vs", &a}, {"b.vs", &b}};
    std::vector<vorn::ContextDiagnostic> merged = vorn::merge_diagnostics(compiles);
    EXPECT_EQ(gnu_report(merged),
              "lib/s.vs:2:3: error: Some text\n"
              "lib/s.vs:2:3: note: in the compiles of a.vs and b.vs\n"
              "a.vs:2:3: error: Some text\n"
              "events.lst:2:3: error: Some text\n");
    // One record for the shared file's diagnostic, with both contexts, the first as context.
    ASSERT_EQ(merged.size(), 3u);
    EXPECT_EQ(merged[0].contexts, (std::vector<std::string>{"a.vs", "b.vs"}));
    EXPECT_EQ(merged[0].context, "a.vs");
    EXPECT_TRUE(merged[1].contexts.empty());
    EXPECT_EQ(vorn::contexts_note({"a.vs", "b.vs", "c.vs", "d.vs", "e.vs"}),
              "in the compiles of a.vs, b.vs and 3 other scripts");
    // A check of one script leaves the note out.
    EXPECT_EQ(gnu_report(merged, {}, false),
              "lib/s.vs:2:3: error: Some text\n"
              "a.vs:2:3: error: Some text\n"
              "events.lst:2:3: error: Some text\n");
    EXPECT_EQ(vorn::combined_status(compiles), vorn::StatusErrors);
}

TEST(CombinedStatus, TheFirstScriptThatEndedFatallyGivesIt) {
    vorn::CompileResult clean, errors, fatal201, fatal202;
    errors.status = vorn::StatusErrors;
    fatal201.status = 201;
    fatal201.fatal = true;
    fatal202.status = 202;
    fatal202.fatal = true;
    EXPECT_EQ(vorn::combined_status({{"a", &clean}, {"b", &clean}}), vorn::StatusClean);
    EXPECT_EQ(vorn::combined_status({{"a", &errors}, {"b", &fatal202}, {"c", &fatal201}}), 202);
    EXPECT_EQ(vorn::combined_status({{"a", &fatal201}, {"b", &errors}}), 201);
}

// Paths of a compile made in the project folder, as they open from where the command started.
TEST(PathRebase, WritesPathsSoThatTheyOpenFromWhereTheCommandStarted) {
    PathRebase above{"/p", "/p/tools"};
    EXPECT_EQ(above.into_folder("x.vs"), "tools/x.vs");
    EXPECT_EQ(above.to_here("tools/x.vs"), "x.vs");
    EXPECT_EQ(above.to_here("lib/a.vs"), "../lib/a.vs");
    EXPECT_EQ(above.to_here("/abs/a.vs"), "/abs/a.vs");
    PathRebase below{"/w/proj", "/w"};
    EXPECT_EQ(below.into_folder("proj/sub/../x.vs"), "x.vs");
    EXPECT_EQ(below.to_here("lib/a.vs"), "proj/lib/a.vs");
    PathRebase same{"/w", "/w"};
    EXPECT_EQ(same.into_folder("./x.vs"), "./x.vs");
    vorn::CompileResult result;
    result.files = {file("events.lst"), file("lib/a.vs")};
    result.diagnostics = {diagnostic({"lib/a.vs", 1, 1, 2}, false, 10)};
    below.to_here(result);
    EXPECT_EQ(result.files[0].path, "proj/events.lst");
    EXPECT_EQ(result.diagnostics[0].where.file, "proj/lib/a.vs");
}

}  // namespace
