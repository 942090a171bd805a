#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "test_state.h"

namespace {

// Reads a file of the given bytes in pieces of at most capacity - 1 characters.
std::vector<std::string> pieces(const std::string& bytes, std::size_t capacity) {
    TestState t;
    t.files.serve("f.vs", bytes);
    SourceFile* file = open_source(*t.s, "f.vs");
    EXPECT_NE(file, nullptr);
    std::vector<std::string> result;
    std::vector<char> line(capacity);
    while (std::size_t length = read_piece(file, line.data(), capacity))
        result.emplace_back(line.data(), length);
    EXPECT_FALSE(file->failed);
    close_source(*t.s, file);
    EXPECT_EQ(t.s->open_files, nullptr);
    return result;
}

using Pieces = std::vector<std::string>;

TEST(ReadPiece, SplitsAtLineFeedsAndKeepsThem) {
    EXPECT_EQ(pieces("a\r\nbc\n\n", 300), (Pieces{"a\r\n", "bc\n", "\n"}));
    EXPECT_EQ(pieces("", 300), Pieces{});
}

TEST(ReadPiece, ALastLineWithoutLineEndIsStillALine) {
    EXPECT_EQ(pieces("a\nlast", 300), (Pieces{"a\n", "last"}));
}

TEST(ReadPiece, CutsLongLinesToTheBufferAndReadsTheRestAsALine) {
    std::string line(350, 'x');
    EXPECT_EQ(pieces(line + "\n", 300), (Pieces{std::string(299, 'x'), std::string(51, 'x') + "\n"}));
    // Exactly a piece's worth before the line feed leaves the line feed as a line of its own.
    EXPECT_EQ(pieces(std::string(79, 'y') + "\n", 80), (Pieces{std::string(79, 'y'), "\n"}));
    // A CR LF pair split by the cut.
    EXPECT_EQ(pieces(std::string(298, 'z') + "\r\n", 300), (Pieces{std::string(298, 'z') + "\r", "\n"}));
}

TEST(ReadPiece, EndOfFileMarkEndsTheFileWhereItStands) {
    EXPECT_EQ(pieces("a\nbc\x1A" "de\nf\n", 300), (Pieces{"a\n", "bc"}));
    EXPECT_EQ(pieces("a\n\x1A\n", 300), (Pieces{"a\n"}));
}

TEST(ReadPiece, NulBytesAreCarriedAsTheyAre) {
    EXPECT_EQ(pieces(std::string("a\0b\nc", 5), 300), (Pieces{std::string("a\0b\n", 4), "c"}));
}

TEST(ReadPiece, LinesCrossingBlockBoundariesArriveWhole) {
    std::string text;
    Pieces expected;
    for (int i = 0; text.size() < 3 * SourceBlockSize; ++i) {
        std::string line = std::string(static_cast<std::size_t>(i % 97), 'a' + i % 26) + "\n";
        text += line;
        expected.push_back(line);
    }
    EXPECT_EQ(pieces(text, 300), expected);
}

TEST(OpenSource, DeepIncludesReadInSmallBlocks) {
    TestState t;
    t.files.serve("f.vs", "x\n");
    SourceFile* top = open_source(*t.s, "f.vs");
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->block_size, SourceBlockSize);
    t.s->include_depth = LargeBlockLevels;
    SourceFile* deep = open_source(*t.s, "f.vs");
    ASSERT_NE(deep, nullptr);
    EXPECT_EQ(deep->block_size, NestedSourceBlockSize);
}

TEST(NextCleanPiece, PiecesAndTheirCleaningMatchReadPieceAndTheCleaner) {
    // Generated lines of every length up to past a piece, over several small blocks, full of
    // what the cleaner stops at or carries on over (comments, strings, escapes, CR, NUL, line
    // feeds inside strings), read in one pass and read then cleaned.
    std::mt19937 random(25);
    const std::string bytes[] = {"a", "b", " ", "\t", ";", "/", "\"", "\\", "\r", std::string(1, '\0'),
                                 "(", ",", ")", "\xE9", "\n"};
    std::string text;
    while (text.size() < 4 * NestedSourceBlockSize) {
        std::size_t length = random() % 330;
        for (std::size_t i = 0; i < length; ++i)
            text += random() % 4 ? "x" : bytes[random() % std::size(bytes)];
        text += "\n";
    }
    text += "a \"last\" line ; without its end";
    std::vector<std::string> expected = pieces(text, SourceLineSize);
    TestState t;
    t.files.serve("f.vs", text);
    t.s->include_depth = LargeBlockLevels;
    SourceFile* file = open_source(*t.s, "f.vs");
    ASSERT_NE(file, nullptr);
    std::vector<std::string> got;
    char clean[SourceLineSize];
    std::size_t cleaned = 0;
    while (std::size_t length = next_clean_piece(file, clean, &cleaned)) {
        // The piece is NUL-terminated where it stands once asked for.
        EXPECT_EQ(piece_text(file)[length], '\0');
        got.emplace_back(file->piece, length);
        std::string raw(file->piece, length);
        std::string again(SourceLineSize, '\0');
        std::size_t again_length = preprocess_line(raw.c_str(), again.data());
        ASSERT_EQ(std::string(clean, cleaned), again.substr(0, again_length)) << "piece " << got.size();
        EXPECT_EQ(clean[cleaned], '\0');
    }
    EXPECT_EQ(got, expected);
    EXPECT_FALSE(file->failed);
}

TEST(ReadPiece, ADirectoryIsAReadFailure) {
    TestState t;
    SourceFile* file = open_source(*t.s, "/tmp");
    ASSERT_NE(file, nullptr);
    char line[300];
    EXPECT_EQ(read_piece(file, line, sizeof line), 0u);
    EXPECT_TRUE(file->failed);
    close_source(*t.s, file);
}

TEST(OpenSource, RecordsEveryFileWithItsIncluderAndLine) {
    TestState t;
    t.files.serve("a.vs", "x\n");
    t.files.serve("b.vs", "y\n");
    SourceFile* a = open_source(*t.s, "a.vs");
    ASSERT_NE(a, nullptr);
    a->line = 7;
    SourceFile* b = open_source(*t.s, "b.vs");
    ASSERT_NE(b, nullptr);
    record_unopened(*t.s, "gone.vs");
    ASSERT_EQ(t.result.files.size(), 3u);
    EXPECT_EQ(t.result.files[0].includer, -1);
    EXPECT_EQ(t.result.files[1].path, "b.vs");
    EXPECT_EQ(t.result.files[1].includer, 0);
    EXPECT_EQ(t.result.files[1].include_line, 7u);
    EXPECT_TRUE(t.result.files[1].opened);
    EXPECT_EQ(t.result.files[2].includer, 1);
    EXPECT_FALSE(t.result.files[2].opened);
    // Served files that are open are found again by their path, however it is spelled.
    EXPECT_TRUE(is_open_source(*t.s, "./a.vs"));
    EXPECT_TRUE(is_open_source(*t.s, "/vorn-unit-test-folder/b.vs"));
    EXPECT_FALSE(is_open_source(*t.s, "gone.vs"));
}

}  // namespace
