#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/compile_state.h"
#include "common/source_reader.h"

namespace {

// Reads a file of the given bytes in pieces of at most capacity - 1 characters.
std::vector<std::string> pieces(const std::string& bytes, std::size_t capacity) {
    char path[] = "/tmp/vorn-reader-XXXXXX";
    int fd = mkstemp(path);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(fd);
    reset_compile_state();
    SourceFile* file = open_source(path);
    EXPECT_NE(file, nullptr);
    std::vector<std::string> result;
    std::vector<char> line(capacity);
    while (std::size_t length = read_piece(file, line.data(), capacity))
        result.emplace_back(line.data(), length);
    EXPECT_FALSE(file->failed);
    close_source(file);
    unlink(path);
    EXPECT_EQ(state.open_files, nullptr);
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

TEST(ReadPiece, ADirectoryIsAReadFailure) {
    reset_compile_state();
    SourceFile* file = open_source("/tmp");
    ASSERT_NE(file, nullptr);
    char line[300];
    EXPECT_EQ(read_piece(file, line, sizeof line), 0u);
    EXPECT_TRUE(file->failed);
    close_source(file);
}

}  // namespace
