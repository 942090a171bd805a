// vorn-check's dependency files and GNU-form locations, from results made by hand.
#include <gtest/gtest.h>

#include <string>

#include "check/reports.h"

namespace {

// Paths as make must read them back: gcc -MD's conventions.
TEST(MakeEscaped, LeavesOrdinaryPathsAsTheyAre) {
    EXPECT_EQ(make_escaped("lib/doors.vs"), "lib/doors.vs");
    EXPECT_EQ(make_escaped("a\\b.vs"), "a\\b.vs");
    EXPECT_EQ(make_escaped("x:y%z.vs"), "x:y%z.vs");
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

TEST(UnreadableByMake, FindsLineEndsSemicolonsAndEquals) {
    EXPECT_EQ(unreadable_by_make("a\nb"), '\n');
    EXPECT_EQ(unreadable_by_make("a;b"), ';');
    EXPECT_EQ(unreadable_by_make("k=v.vs"), '=');
    EXPECT_EQ(unreadable_by_make("a b#c$d:e%f\\"), std::nullopt);
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

// Every diagnostic of the result in GNU form.
std::string gnu_report(const vorn::CompileResult& result) {
    std::string out;
    for (const vorn::Diagnostic& d : result.diagnostics)
        out += gnu_line(d);
    return out;
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

}  // namespace
