// The language server's positions, URIs and edits: byte columns against UTF-16 and UTF-8
// characters, and ranged edits as a client sends them.
#include <gtest/gtest.h>

#include <string>

#include "lsp/text.h"

namespace {

using lsp::Encoding;
using lsp::Position;

// "é" is two bytes and one UTF-16 unit; "😀" four bytes and two units.
const std::string Line = "a\xC3\xA9\xF0\x9F\x98\x80z";

TEST(LspPositions, CharactersAndBytesBothWays) {
    EXPECT_EQ(lsp::character_of(Line, 1, Encoding::Utf16), 1u);
    EXPECT_EQ(lsp::character_of(Line, 3, Encoding::Utf16), 2u);
    EXPECT_EQ(lsp::character_of(Line, 7, Encoding::Utf16), 4u);
    EXPECT_EQ(lsp::character_of(Line, 7, Encoding::Utf8), 7u);
    EXPECT_EQ(lsp::byte_of(Line, 4, Encoding::Utf16), 7u);
    // Inside the surrogate pair: the sequence's start.
    EXPECT_EQ(lsp::byte_of(Line, 3, Encoding::Utf16), 3u);
    // Past the line: clamped to its end.
    EXPECT_EQ(lsp::byte_of(Line, 99, Encoding::Utf16), Line.size());
    // A stray byte counts as one character.
    EXPECT_EQ(lsp::character_of("\xFFx", 1, Encoding::Utf16), 1u);
}

TEST(LspPositions, TextOffsetsAcrossLinesAndCrLf) {
    lsp::Text text("ab\r\n" + Line + "\nlast");
    EXPECT_EQ(text.line_count(), 3u);
    EXPECT_EQ(text.line(0), "ab");
    EXPECT_EQ(text.offset(Position{1, 4}, Encoding::Utf16), 4u + 7u);
    EXPECT_EQ(text.offset(Position{9, 0}, Encoding::Utf16), text.bytes().size());
}

TEST(LspEdits, RangedEditsInEitherEncoding) {
    std::string text = "x\n" + Line + "\n";
    lsp::apply_edit(text, Position{1, 4}, Position{1, 5}, "Q", Encoding::Utf16);
    EXPECT_EQ(text, "x\na\xC3\xA9\xF0\x9F\x98\x80Q\n");
    lsp::apply_edit(text, Position{1, 1}, Position{1, 3}, "", Encoding::Utf8);
    EXPECT_EQ(text, "x\na\xF0\x9F\x98\x80Q\n");
    // An end before the start inserts at the start; a position past the end appends.
    lsp::apply_edit(text, Position{0, 1}, Position{0, 0}, "y", Encoding::Utf16);
    lsp::apply_edit(text, Position{5, 0}, Position{5, 0}, "end", Encoding::Utf16);
    EXPECT_EQ(text, "xy\na\xF0\x9F\x98\x80Q\nend");
}

TEST(LspUris, PathsWithEscapesRoundTrip) {
    EXPECT_EQ(lsp::uri_to_path("file:///tmp/a%20b/c.vs"), "/tmp/a b/c.vs");
    EXPECT_EQ(lsp::path_to_uri("/tmp/a b/#c.vs"), "file:///tmp/a%20b/%23c.vs");
    EXPECT_EQ(lsp::uri_to_path(lsp::path_to_uri("/x/é.vs")), "/x/é.vs");
    EXPECT_EQ(lsp::uri_to_path("untitled:Untitled-1"), "");
}

}  // namespace
