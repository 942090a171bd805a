// The GNU form's source and caret lines, and the reader that gives them, through the public
// interface only: what e2e cases cannot easily show (a range past the line's end, a cut long
// line, characters of several bytes, a reader asked for lines out of order).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include <vorn/files.h>
#include <vorn/sources.h>
#include <vorn/vorn.h>

namespace {

vorn::Location at(uint32_t line, uint32_t column, uint32_t end_column) {
    return vorn::Location{"t.vs", line, column, end_column};
}

TEST(CaretLines, UnderlinesTheRangeAndPutsOneCaretPastTheLineEnd) {
    const vorn::GnuStyle plain{true, false};
    EXPECT_EQ(vorn::caret_lines(at(2, 5, 9), "    Jump(1)", plain), "    2 |     Jump(1)\n      |     ^~~~\n");
    // A range that starts after the last byte (a missing ')') has its caret just after it.
    EXPECT_EQ(vorn::caret_lines(at(12345, 9, 12), "  Say(1", plain), "12345 |   Say(1\n      |        ^\n");
    // No column: the line as a whole, which no caret can point into.
    EXPECT_EQ(vorn::caret_lines(at(3, 0, 0), "Say(1)", plain), "");
}

TEST(CaretLines, CountsACharacterOfSeveralBytesAsOneColumn) {
    // "é" is two bytes in UTF-8: the range after it starts one column later, not two.
    EXPECT_EQ(vorn::caret_lines(at(1, 11, 15), "Say(\"\xc3\xa9\", Nope)", vorn::GnuStyle{true, false}),
              "    1 | Say(\"\xc3\xa9\", Nope)\n      |          ^~~~\n");
}

TEST(CaretLines, ShowsTheWindowAroundTheRangeOfALongLine) {
    std::string line = std::string(1000, 'x') + "Nope" + std::string(1000, 'y');
    std::string shown = vorn::caret_lines(at(1, 1001, 1005), line, vorn::GnuStyle{true, false});
    std::string first = shown.substr(0, shown.find('\n'));
    std::string second = shown.substr(shown.find('\n') + 1);
    // "    1 | ", the cut mark, the window, the cut mark.
    EXPECT_EQ(first.size(), 8 + 3 + vorn::MaxShownLineWidth + 3);
    EXPECT_EQ(first.substr(8, 3), "...");
    EXPECT_EQ(first.substr(first.size() - 3), "...");
    // The caret stands under the N of Nope.
    std::size_t caret = second.find('^');
    ASSERT_NE(caret, std::string::npos);
    EXPECT_EQ(first.substr(caret, 4), "Nope");
    EXPECT_EQ(second.substr(caret), "^~~~\n");
}

TEST(ProviderLineReader, GivesLinesInAnyOrderAsTheCompilerCutsThem) {
    char folder[] = "/tmp/vorn-gnu-form-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    std::string path = std::string(folder) + "/t.vs";
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fputs("one\r\ntwo\nthree\x1a" "four\n", f);
    fclose(f);
    vorn::FileSystemProvider files;
    vorn::ProviderLineReader reader(files);
    EXPECT_EQ(reader.line(path, 2).value_or("?"), "two");
    // Back to an earlier line: the file is read again from its start.
    EXPECT_EQ(reader.line(path, 1).value_or("?"), "one");
    EXPECT_EQ(reader.line(path, 3).value_or("?"), "three");
    // Nothing after the end-of-file mark, and no line 0.
    EXPECT_FALSE(reader.line(path, 4).has_value());
    EXPECT_FALSE(reader.line(path, 0).has_value());
    EXPECT_FALSE(reader.line(std::string(folder) + "/gone.vs", 1).has_value());
    remove(path.c_str());
    rmdir(folder);
}

}  // namespace
