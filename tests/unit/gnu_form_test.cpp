// The GNU form's source and caret lines, and the reader that gives them, through the public
// interface only: what e2e cases cannot easily show (a range past the line's end, a cut long
// line, characters of several bytes, a reader asked for lines out of order).
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <vector>
#include <string>

#include <vorn/gnu_form.h>
#include <vorn/sources.h>

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
    auto text = [&](const std::string& file, uint32_t line) -> std::string {
        auto part = reader.line(file, line, 1);
        if (!part)
            return "?";
        EXPECT_EQ(part->offset, 0u);
        EXPECT_EQ(part->size, part->text.size());
        return std::string(part->text);
    };
    EXPECT_EQ(text(path, 2), "two");
    // Back to an earlier line: the file is read again from its start.
    EXPECT_EQ(text(path, 1), "one");
    EXPECT_EQ(text(path, 3), "three");
    // Nothing after the end-of-file mark, and no line 0.
    EXPECT_FALSE(reader.line(path, 4, 1).has_value());
    EXPECT_FALSE(reader.line(path, 0, 1).has_value());
    EXPECT_FALSE(reader.line(std::string(folder) + "/gone.vs", 1, 1).has_value());
    remove(path.c_str());
    rmdir(folder);
}

// Lines of every kind of length (around the width shown and the reader's block), holding tabs,
// characters of several bytes, control bytes and carriage returns, asked for at columns before,
// inside and past their ends in any order: the caret lines made from the part the reader keeps
// are those made from the whole line.
TEST(ProviderLineReader, KeepsOfALongLineWhatTheCaretLinesShow) {
    char folder[] = "/tmp/vorn-gnu-form-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    std::string path = std::string(folder) + "/t.vs";
    std::mt19937 random(23);
    const char pieces[][4] = {"a", "\t", "\xc3\xa9", "\x01", "\r", " ", "(", "\xe2\x82\xac"};
    std::vector<std::string> lines;
    const std::size_t lengths[] = {0, 1, 159, 160, 161, 162, 200, 361, 1000, 16383, 16384, 16385, 40000};
    for (std::size_t length : lengths) {
        std::string line;
        while (line.size() < length)
            line += pieces[random() % (sizeof pieces / sizeof pieces[0])];
        line.resize(length);
        lines.push_back(line);
    }
    std::string file;
    for (std::size_t i = 0; i < lines.size(); ++i)
        file += lines[i] + (i % 3 == 0 ? "\r\n" : "\n");
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fwrite(file.data(), 1, file.size(), f);
    fclose(f);
    // The compiler's lines: a carriage return before a line feed is not part of its line.
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (i % 3 != 0 && !lines[i].empty() && lines[i].back() == '\r')
            lines[i].pop_back();
    vorn::FileSystemProvider files;
    vorn::ProviderLineReader reader(files);
    const vorn::GnuStyle plain{true, false};
    for (int round = 0; round < 400; ++round) {
        auto number = static_cast<uint32_t>(random() % lines.size());
        const std::string& whole = lines[number];
        uint32_t column = 1 + static_cast<uint32_t>(random() % (whole.size() + 300));
        uint32_t end = column + static_cast<uint32_t>(random() % 400);
        vorn::Location where{"t.vs", number + 1, column, end};
        auto part = reader.line(path, number + 1, column);
        ASSERT_TRUE(part.has_value()) << "line " << number + 1 << " column " << column;
        EXPECT_LE(part->size, whole.size());
        EXPECT_LE(part->text.size(), 2 * vorn::MaxShownLineWidth + 2 * (vorn::MaxShownLineWidth + 1));
        EXPECT_EQ(vorn::caret_lines(where, *part, plain), vorn::caret_lines(where, whole, plain))
            << "line " << number + 1 << " column " << column;
    }
    remove(path.c_str());
    rmdir(folder);
}

}  // namespace
