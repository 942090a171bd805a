// Reading script and list files in pieces: a line, or as much of it as fits the caller's
// buffer. Every open file is kept on the state's stack of open files, innermost first, and
// knows its path, its own line number and the piece being compiled.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>

#include "compile_state.h"
#include "line_reader.h"

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
    // same piece cleaned (set by the reader of lines). A piece in raw ends with a NUL; one in
    // the block ends at piece_end, where a NUL is put only when it is asked for (piece_text).
    const char* piece;
    const char* clean;
    char raw[SourceLineSize];
    unsigned char* piece_end;
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

// The next piece where it lies whole in the current block (see next_clean_piece); 0 where it
// does not, having read nothing.
inline std::size_t next_clean_piece_in_block(SourceFile* file, char* clean, std::size_t* cleaned) {
    constexpr std::size_t longest = SourceLineSize - 1;
    unsigned char* start = file->block + file->pos;
    std::size_t span = file->end - file->pos;
    if (span > longest)
        span = longest;
    // One pass: the cleaner takes the bytes it keeps; where the cleaned line ends before the
    // line does (a comment, a blank line), the rest is only searched for the line end.
    Cleaner cleaner;
    char* kept = clean;
    std::size_t i = 0;
    for (; i < span; ++i) {
        const char c = static_cast<char>(start[i]);
        Cleaner::Step step = cleaner.step(c, kept);
        if (step == Cleaner::End)
            break;
        kept += step == Cleaner::Keep;
        // Kept inside a string or after a backslash: the piece still ends there.
        if (c == '\n')
            break;
    }
    std::size_t length;
    if (i < span && start[i] == '\n') {
        length = i + 1;
    } else if (const void* newline = i < span ? memchr(start + i, '\n', span - i) : nullptr) {
        length = static_cast<std::size_t>(static_cast<const unsigned char*>(newline) - start) + 1;
    } else if (span == longest) {
        length = longest;
    } else {
        return 0;  // no line end before the block's end: the piece may go on in the next block
    }
    file->pos += length;
    file->piece = reinterpret_cast<const char*>(start);
    file->piece_end = start + length;
    *kept = '\0';
    *cleaned = static_cast<std::size_t>(kept - clean);
    return length;
}

// The next piece when it does not lie whole in the current block: at a block's end, or the
// file's.
std::size_t next_clean_piece_across(SourceFile* file, char* clean, std::size_t* cleaned);

// Reads the next piece of a script, as read_piece does with SourceLineSize, sets file->piece
// to it and cleans it into clean (SourceLineSize bytes) as preprocess_line does, setting
// *cleaned to the cleaned length. The piece is read in place where it lies whole in the
// block, else copied to file->raw. Each byte of a piece is looked at once. Returns the
// piece's length, 0 once the file has ended.
inline std::size_t next_clean_piece(SourceFile* file, char* clean, std::size_t* cleaned) {
    if (file->hidden_at) {
        *file->hidden_at = file->hidden;
        file->hidden_at = nullptr;
    }
    if (file->pos < file->end)
        if (std::size_t length = next_clean_piece_in_block(file, clean, cleaned))
            return length;
    return next_clean_piece_across(file, clean, cleaned);
}

// The current piece, NUL-terminated: a piece read in place gets its NUL on the byte after it
// (kept aside until the next piece is read).
inline const char* piece_text(SourceFile* file) {
    if (file->piece_end && !file->hidden_at) {
        file->hidden_at = file->piece_end;
        file->hidden = *file->hidden_at;
        *file->hidden_at = '\0';
    }
    return file->piece;
}

// Closes the innermost open file and pops it off the stack.
void close_source(CompileState& s, SourceFile* file);

// Closes every file still open, for a run that was cut short.
void close_all_sources(CompileState& s);

// Notes the identity of the output file, if it exists, so that opening it as an input is noticed.
void remember_output_file(CompileState& s, const std::string& path);

// Whether the file at path is one of the open files.
bool is_open_source(CompileState& s, const std::string& path);

}  // namespace vorn
