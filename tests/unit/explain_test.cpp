// Explanations of errors and fixes as data: the distance that picks a known name, the names
// offered, the fixes a compile gives (each edit's place and text), and how fixes are made in
// a file's text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <vorn/compiler.h>
#include <vorn/fixes.h>

#include "report/explain.h"

namespace {

TEST(EditDistance, CountsInsertionsRemovalsChangesAndSwapsOfNeighbours) {
    EXPECT_EQ(vorn::edit_distance("", ""), 0u);
    EXPECT_EQ(vorn::edit_distance("", "Wait"), 4u);
    EXPECT_EQ(vorn::edit_distance("Wait", ""), 4u);
    EXPECT_EQ(vorn::edit_distance("Teleport", "Teleport"), 0u);
    EXPECT_EQ(vorn::edit_distance("Teleprt", "Teleport"), 1u);   // one removed
    EXPECT_EQ(vorn::edit_distance("Teleport", "Teleprt"), 1u);   // and the other way round
    EXPECT_EQ(vorn::edit_distance("Telepxrt", "Teleport"), 1u);  // one changed
    EXPECT_EQ(vorn::edit_distance("Telepotr", "Teleport"), 1u);  // two neighbours swapped
    EXPECT_EQ(vorn::edit_distance("Sya", "Say"), 1u);
    EXPECT_EQ(vorn::edit_distance("ab", "ba"), 1u);
    // Optimal string alignment: a swapped pair is not edited again.
    EXPECT_EQ(vorn::edit_distance("CA", "ABC"), 3u);
    EXPECT_EQ(vorn::edit_distance("kitten", "sitting"), 3u);
}

TEST(EditDistance, CountsCaseAsTheCompilerComparesNames) {
    EXPECT_EQ(vorn::edit_distance("teleport", "Teleport"), 1u);
    EXPECT_EQ(vorn::edit_distance("SELF", "Self"), 3u);
}

TEST(ClosestNames, OneEditForShortNamesTwoForLongerOnes) {
    std::vector<std::string_view> known{"Say", "Stop", "Step", "Teleport", "Wait"};
    EXPECT_EQ(vorn::closest_names("Sya", known), std::vector<std::string>{"Say"});
    EXPECT_EQ(vorn::closest_names("Stip", known), (std::vector<std::string>{"Stop", "Step"}));
    EXPECT_TRUE(vorn::closest_names("Sp", known).empty());          // two away from Stop
    EXPECT_TRUE(vorn::closest_names("Wt", known).empty());
    EXPECT_EQ(vorn::closest_names("Tlport", known), std::vector<std::string>{"Teleport"});  // two, long
    EXPECT_TRUE(vorn::closest_names("Tlprt", known).empty());       // three
    EXPECT_TRUE(vorn::closest_names("Xyzzy", known).empty());
}

TEST(ClosestNames, OnlyTheClosestEachOnceAndAlwaysKeepingAByte) {
    std::vector<std::string_view> known{"Gold", "Golden", "Gold", "Goal"};
    EXPECT_EQ(vorn::closest_names("Gol", known), (std::vector<std::string>{"Gold", "Goal"}));
    EXPECT_EQ(vorn::closest_names("Goldn", known), (std::vector<std::string>{"Gold", "Golden"}));
    // A one-byte name is never one change away from another.
    std::vector<std::string_view> letters{"x", "y", "xy"};
    EXPECT_TRUE(vorn::closest_names("z", letters).empty());
    EXPECT_TRUE(vorn::closest_names("", letters).empty());
}

// ---- The fixes a compile gives ------------------------------------------------------------

struct Served {
    vorn::OverlayProvider files{"/vorn-served"};
    using Scripts = std::vector<std::pair<std::string, std::string>>;
    explicit Served(Scripts scripts) {
        files.serve("events.lst", "OnStart 1\nOnTouch 2\n");
        files.serve("command.lst", "Wait 1 1\nSay 2 1\nStop 3 0\nStep 4 0\nTeleport 5 1\n");
        for (auto& [path, text] : scripts)
            files.serve(path, text);
    }
};

vorn::CompileResult explained(Served& served, const std::string& script, bool explain = true) {
    vorn::NullSink quiet;
    vorn::CompileOptions options;
    options.keep_going = true;
    options.explain = explain;
    options.warnings = vorn::WarningSet::defaults();
    vorn::Compiler compiler;
    return compiler.compile(script, served.files, quiet, options);
}

struct Expected {
    uint32_t line, column, end_column;
    std::string new_text;
    std::string description;
    bool safe;
};

void expect_fix(const vorn::Diagnostic& d, const Expected& e) {
    SCOPED_TRACE(d.text);
    ASSERT_EQ(d.fixes.size(), 1u);
    const vorn::Fix& fix = d.fixes[0];
    EXPECT_EQ(fix.description, e.description);
    EXPECT_EQ(fix.safe, e.safe);
    ASSERT_EQ(fix.edits.size(), 1u);
    const vorn::Location& r = fix.edits[0].range;
    EXPECT_EQ(r.file, "t.vs");
    EXPECT_EQ(r.line, e.line);
    EXPECT_EQ(r.column, e.column);
    EXPECT_EQ(r.end_column, e.end_column);
    EXPECT_EQ(fix.edits[0].new_text, e.new_text);
}

TEST(Fixes, EachReplacesMovesOrRemovesExactlyItsBytes) {
    Served served(Served::Scripts{{"sub/x.vs", "    Wait(1)\n"},
                   {"t.vs", "defvar Gold 3\n"
                            "include sub/x.vs ; the file\n"
                            "OnStrt:\n"
                            "OnTouch:\tSa\\y(\"a;b\")\r\n"
                            "    Teleprt(G\\ol)\n"
                            "    Wait junk (1)\n"
                            "    Wait(Gold)  x y \n"
                            "8 junk\n"}});
    vorn::CompileResult result = explained(served, "t.vs");
    ASSERT_EQ(result.diagnostics.size(), 7u);
    expect_fix(result.diagnostics[0], {2, 9, 17, "sub\\/x.vs", "escape the '/' of 'sub/x.vs'", true});
    expect_fix(result.diagnostics[1], {3, 1, 7, "OnStart", "replace 'OnStrt' with 'OnStart'", true});
    // The statement keeps its raw bytes (the backslash, the quotes, the ';' in the string)
    // and the line's own line end.
    expect_fix(result.diagnostics[2], {4, 9, 21, "\r\n    Sa\\y(\"a;b\")",
                                       "move 'Sa\\y(\"a;b\")' onto a line of its own", true});
    expect_fix(result.diagnostics[3], {5, 5, 12, "Teleport", "replace 'Teleprt' with 'Teleport'", true});
    // The line of an unknown command is skipped: 'G\ol' is found once it is fixed.
    expect_fix(result.diagnostics[4], {6, 9, 14, "", "remove 'junk'", true});
    expect_fix(result.diagnostics[5], {7, 15, 20, "", "remove 'x y'", true});
    expect_fix(result.diagnostics[6], {8, 2, 7, "", "remove 'junk'", true});
}

TEST(Fixes, TwoCandidatesGiveTwoFixesNeitherSafe) {
    Served served(Served::Scripts{{"t.vs", "OnStart:\n    Stip()\n"}});
    vorn::CompileResult result = explained(served, "t.vs");
    ASSERT_EQ(result.diagnostics.size(), 1u);
    const vorn::Diagnostic& d = result.diagnostics[0];
    ASSERT_EQ(d.fixes.size(), 2u);
    EXPECT_EQ(d.fixes[0].edits[0].new_text, "Stop");
    EXPECT_EQ(d.fixes[1].edits[0].new_text, "Step");
    EXPECT_FALSE(d.fixes[0].safe);
    EXPECT_FALSE(d.fixes[1].safe);
}

TEST(Fixes, NoneForACommaInAStringNorWithoutExplaining) {
    Served served(Served::Scripts{{"t.vs", "OnStart:\n    Say(\"a, b\")\n    Teleprt(1)\n"}});
    vorn::CompileResult result = explained(served, "t.vs");
    ASSERT_EQ(result.diagnostics.size(), 2u);
    EXPECT_EQ(result.diagnostics[0].kind, vorn::DiagnosticKind::WrongArgCount);
    EXPECT_TRUE(result.diagnostics[0].fixes.empty());
    EXPECT_EQ(result.diagnostics[1].fixes.size(), 1u);
    vorn::CompileResult plain = explained(served, "t.vs", false);
    ASSERT_EQ(plain.diagnostics.size(), 2u);
    EXPECT_TRUE(plain.diagnostics[1].fixes.empty());
    EXPECT_EQ(plain.diagnostics[0].notes.size(), 1u);  // the string's own, not the counts
}

// ---- Making fixes in a text --------------------------------------------------------------

vorn::Fix fix_of(uint32_t line, uint32_t column, uint32_t end_column, std::string new_text,
                 std::string file = "t.vs") {
    return vorn::Fix{"", {vorn::Edit{vorn::Location{file, line, column, end_column}, new_text}}, true};
}

TEST(ApplyFixes, MakesEveryFixThatFitsFromTheEndBack) {
    vorn::Fix a = fix_of(1, 3, 6, "Teleport");
    vorn::Fix b = fix_of(1, 7, 8, "");
    vorn::Fix c = fix_of(2, 1, 1, "  ");
    vorn::FixedText fixed = vorn::apply_fixes("  Tpt(x)\nWait(1)\n", "t.vs", {&a, &b, &c});
    EXPECT_EQ(fixed.text, "  Teleport()\n  Wait(1)\n");
    EXPECT_EQ(fixed.made, (std::vector<bool>{true, true, true}));
}

TEST(ApplyFixes, TheFirstOfOverlappingFixesIsMadeTheOthersAreNot) {
    vorn::Fix first = fix_of(1, 1, 5, "Stop");
    vorn::Fix inside = fix_of(1, 2, 3, "x");
    vorn::Fix again = fix_of(1, 1, 5, "Stop");
    vorn::Fix insert_at_start = fix_of(1, 1, 1, ">");
    vorn::Fix after = fix_of(1, 5, 5, "!");
    vorn::FixedText fixed = vorn::apply_fixes("Stip()\n", "t.vs", {&first, &inside, &again, &insert_at_start, &after});
    EXPECT_EQ(fixed.text, "Stop!()\n");
    EXPECT_EQ(fixed.made, (std::vector<bool>{true, false, false, false, true}));
    vorn::Fix one = fix_of(1, 2, 2, "a");
    vorn::Fix two = fix_of(1, 2, 2, "b");
    EXPECT_EQ(vorn::apply_fixes("xy", "t.vs", {&one, &two}).text, "xay");
}

TEST(ApplyFixes, LeavesOutFixesOfOtherFilesAndPlacesOutsideTheLines) {
    vorn::Fix other = fix_of(1, 1, 2, "X", "u.vs");
    vorn::Fix past_line_end = fix_of(1, 3, 5, "");
    vorn::Fix no_such_line = fix_of(3, 1, 1, "x");
    vorn::Fix reversed = fix_of(1, 2, 1, "");
    vorn::Fix last_line_without_end = fix_of(2, 1, 3, "OK");
    vorn::FixedText fixed = vorn::apply_fixes("ab\ncd", "t.vs",
                                              {&other, &past_line_end, &no_such_line, &reversed, &last_line_without_end});
    EXPECT_EQ(fixed.text, "ab\nOK");
    EXPECT_EQ(fixed.made, (std::vector<bool>{false, false, false, false, true}));
    // A fix of two edits is made whole or not at all.
    vorn::Fix both = fix_of(1, 1, 2, "A");
    both.edits.push_back(fix_of(9, 1, 1, "x").edits.front());
    EXPECT_EQ(vorn::apply_fixes("ab\n", "t.vs", {&both}).text, "ab\n");
}

}  // namespace
