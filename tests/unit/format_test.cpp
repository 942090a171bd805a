// The formatter's library interface as an editor uses it: edits for a range of lines, the
// indentation unit, what stays untouched. What a whole file compiles to before and after is
// checked by tests/fmt/fmt_property.py.
#include <gtest/gtest.h>

#include <string>

#include <vorn/format.h>

namespace {

using vorn::FormatOptions;
using vorn::LineEdit;

TEST(FormatEdits, OnlyChangedLinesInTheRangeAreEdited) {
    std::string text = "OnStart:\n  Wait( 1 )\n    Wait(2)\n\tWait (3)\r\n  Stop( )";
    std::vector<LineEdit> all = vorn::format_edits(text, FormatOptions{});
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].line, 1u);
    EXPECT_EQ(all[0].begin, 0u);
    EXPECT_EQ(all[0].end, 11u);
    EXPECT_EQ(all[0].text, "    Wait(1)");
    EXPECT_EQ(all[1].line, 3u);
    EXPECT_EQ(all[1].end, 9u);  // the CR LF is not part of the edit
    EXPECT_EQ(all[1].text, "    Wait(3)");
    EXPECT_EQ(all[2].line, 4u);
    EXPECT_EQ(all[2].text, "    Stop( )");

    std::vector<LineEdit> some = vorn::format_edits(text, FormatOptions{}, 2, 3);
    ASSERT_EQ(some.size(), 1u);
    EXPECT_EQ(some[0].line, 3u);
}

TEST(FormatEdits, IndentUnitIsBlanksOrOneTab) {
    std::string text = "  Wait( 1 )\n";
    FormatOptions two;
    two.indent_width = 2;
    EXPECT_EQ(vorn::format_text(text, two), "  Wait(1)\n");
    FormatOptions tabs;
    tabs.use_tabs = true;
    EXPECT_EQ(vorn::format_text(text, tabs), "\tWait(1)\n");
    // A statement must start with white space: a width of 0 is taken as 1.
    FormatOptions none;
    none.indent_width = 0;
    EXPECT_EQ(vorn::format_text(text, none), " Wait(1)\n");
    FormatOptions wide;
    wide.indent_width = 100;
    EXPECT_EQ(vorn::format_text(text, wide), std::string(vorn::MaxIndentWidth, ' ') + "Wait(1)\n");
}

TEST(FormatEdits, NothingFromTheEndOfFileMarkOn) {
    std::string text = "  Wait( 1 )\n  Wait( 2 )\x1a  Wait( 3 )\n  Wait( 4 )\n";
    EXPECT_EQ(vorn::format_text(text, FormatOptions{}),
              "    Wait(1)\n  Wait( 2 )\x1a  Wait( 3 )\n  Wait( 4 )\n");
}

TEST(FormatText, LineCountAndEndsAreKept) {
    std::string text = "\n\r\n  \n\t\r\n;c  \r\ndefvar  x  1";
    EXPECT_EQ(vorn::format_text(text, FormatOptions{}), "\n\r\n\n\r\n;c\r\ndefvar x 1");
}

TEST(FormatDiff, NoDiffForEqualTextsAndUnifiedOtherwise) {
    EXPECT_EQ(vorn::format_diff("a.vs", "x\n", "x\n"), "");
    EXPECT_EQ(vorn::format_diff("a.vs", "x\ny\n", "x\nz\n"),
              "--- a.vs\n+++ a.vs\n@@ -1,2 +1,2 @@\n x\n-y\n+z\n");
}

}  // namespace
