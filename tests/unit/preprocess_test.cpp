#include <gtest/gtest.h>

#include <string>

#include "common/line_reader.h"

using namespace vorn;

namespace {

std::string clean(std::string text) {
    text.resize(text.size() + 1);
    std::size_t length = preprocess_line(text.data());
    std::string cleaned(text.c_str());
    EXPECT_EQ(length, cleaned.size());
    return cleaned;
}

TEST(PreprocessLine, DropsCommentsAndLineEndsOutsideStrings) {
    EXPECT_EQ(clean("  Wait(10)\r\n"), "  Wait(10)");
    EXPECT_EQ(clean("  Wait(10) ; why"), "  Wait(10) ");
    EXPECT_EQ(clean("  Wait(10) / why"), "  Wait(10) ");
    EXPECT_EQ(clean("; all comment\n"), "");
    EXPECT_EQ(clean(""), "");
}

TEST(PreprocessLine, MarksStringsAndKeepsTheirText) {
    EXPECT_EQ(clean("  Say(\"a;b/c\")\n"), "  Say(\xFF" "a;b/c\xFE)");
    // A string that is never closed keeps the line end it swallowed.
    EXPECT_EQ(clean("  Say(\"open\r\n"), "  Say(\xFFopen\r\n");
    EXPECT_EQ(clean("\"\"\"\""), "\xFF\xFE\xFF\xFE");
}

TEST(PreprocessLine, BackslashMakesTheNextCharacterOrdinary) {
    EXPECT_EQ(clean("  Say(a\\;b)"), "  Say(a;b)");
    EXPECT_EQ(clean("include sub\\/file.vs"), "include sub/file.vs");
    EXPECT_EQ(clean("\\\"x\\\""), "\"x\"");
    // Of two backslashes both vanish, and the character after them is the escaped one.
    EXPECT_EQ(clean("a\\\\;b"), "a;b");
    // An escaped line end stays; the next unescaped one ends the line.
    EXPECT_EQ(clean("a\\\r\n"), "a\r");
    // A backslash that is the last character read simply vanishes.
    EXPECT_EQ(clean("abc\\"), "abc");
}

TEST(RawOffset, FindsEachCleanedCharacterInTheLineAsRead) {
    // Every character of the cleaned line maps back to the same character of the raw line.
    const char* const lines[] = {"  Say(a\\;b) ; note", "a\\\\x\"y\"", "\"s;t\" z / c",
                                 "include sub\\/f.vs\r\n", ""};
    for (const char* raw : lines) {
        std::string cleaned = clean(raw);
        for (std::size_t k = 0; k < cleaned.size(); ++k) {
            std::size_t at = raw_offset(raw, k);
            char expected = cleaned[k];
            if (expected == '\xFF' || expected == '\xFE')
                expected = '"';
            EXPECT_EQ(raw[at], expected) << raw << " at " << k;
        }
    }
    // Past the cleaned line: where cleaning stopped (a comment, the line end, or the end).
    EXPECT_EQ(raw_offset("ab ; c", 5), 3u);
    EXPECT_EQ(raw_offset("ab\n", 2), 2u);
    EXPECT_EQ(raw_offset("ab", 9), 2u);
}

}  // namespace
