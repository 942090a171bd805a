// Reading script and list files in pieces: a line, or as much of it as fits the caller's
// buffer. Every open file is kept on the state's stack of open files, innermost first, and
// knows its path, its own line number and the piece being compiled.
#pragma once

#include <cstddef>
#include <memory>

#include "compile_state.h"

namespace vorn {

// Bytes read from the input at a time, per open file: large blocks for the top script and
// the first levels of includes, where nearly every line is read, and small ones deeper down,
// so that a chain of MaxIncludeDepth files stays within a few tens of megabytes.
constexpr std::size_t SourceBlockSize = 131072;
constexpr std::size_t NestedSourceBlockSize = 16384;
constexpr int LargeBlockLevels = 16;

struct SourceFile {
    std::unique_ptr<vorn::InputFile> input;
    FileId id;
    SourceFile* outer;
    // Its record in the result's files.
    uint32_t index;
    // The file's own line number of the current piece, and the 0-based column it starts at.
    uint32_t line;
    uint32_t column;
    // The current piece's index in the result's lines, when lines are recorded; else -1.
    int32_t piece_index;
    // The current piece as read (in the block, or in raw where it spans two blocks), and the
    // same piece cleaned (set by the reader of lines).
    const char* piece;
    const char* clean;
    char raw[SourceLineSize];
    // The byte after a piece read in place, which its NUL stands on until the next piece.
    unsigned char* hidden_at;
    unsigned char hidden;
    std::size_t pos;
    std::size_t end;
    bool at_end;
    bool failed;
    // Whether a line read so far ended with CR LF (noted by the warnings' look at each line):
    // a fix that adds a line end after a last line without one gives it the file's kind.
    bool crlf_seen = false;
    // The block, with one byte more for the NUL after a piece that ends it.
    std::size_t block_size;
    std::unique_ptr<unsigned char[]> block_storage;
    unsigned char* block;
};

// Opens a file through the provider, records it in the result's files (with the file and
// line that include it, if any) and pushes it on the stack; nullptr if it cannot be opened.
SourceFile* open_source(CompileState& s, const std::string& path);

// Records a file that an include names but that cannot be opened.
void record_unopened(CompileState& s, const std::string& path);

// Reads the next piece into line: up to and including the next line feed, but at most
// capacity - 1 characters, NUL-terminated. Returns its length (NUL bytes inside count),
// 0 once the file has ended. A read error ends the file and sets failed.
std::size_t read_piece(SourceFile* file, char* line, std::size_t capacity);

// Reads the next piece of a script, as read_piece does with SourceLineSize, and sets
// file->piece to it: where it lies whole in the block, in place (the byte after it is
// replaced by a NUL until the next call), else copied to file->raw. Returns its length.
std::size_t next_piece(SourceFile* file);

// Closes the innermost open file and pops it off the stack.
void close_source(CompileState& s, SourceFile* file);

// Closes every file still open, for a run that was cut short.
void close_all_sources(CompileState& s);

// Notes the identity of the output file, if it exists, so that opening it as an input is noticed.
void remember_output_file(CompileState& s, const std::string& path);

// Whether the file at path is one of the open files.
bool is_open_source(CompileState& s, const std::string& path);

}  // namespace vorn
