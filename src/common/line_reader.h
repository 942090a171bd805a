// Reading a line of a script: cleaning a piece before it is compiled (comments, line ends,
// string quotes, escapes), and the way back from the cleaned text to the raw piece. The
// cleaner's rule is written once, in Cleaner::step; every reader of a line goes through it.
#pragma once

#include <cstddef>
#include <string_view>

#include <vorn/language.h>

namespace vorn {

// The cleaner, one raw byte at a time: what it keeps of a piece and where the cleaned line ends.
struct Cleaner {
    enum Step { End, Drop, Keep };
    bool in_string = false;
    bool escaped = false;

    // Outside strings these end the line: a comment, or the line end itself. A NUL ends it
    // anywhere.
    static bool ends_line(char c) { return c == ';' || c == '/' || c == '\r' || c == '\n'; }

    // What becomes of raw byte c: End, the cleaned line ends before it; Drop, a backslash,
    // never kept (it makes the next byte ordinary); Keep, *kept is what the cleaned line holds
    // for it (a string's quotes become CleanOpenQuote and CleanCloseQuote).
    Step step(char c, char* kept) {
        if (c == '\0' || (!in_string && !escaped && ends_line(c)))
            return End;
        if (c == '"' && !escaped) {
            c = static_cast<char>(in_string ? CleanCloseQuote : CleanOpenQuote);
            in_string = !in_string;
        }
        if (c == '\\') {
            escaped = true;
            return Drop;
        }
        escaped = false;
        *kept = c;
        return Keep;
    }
};

// Cleans the NUL-terminated line raw into clean (which may be raw itself: the line never
// grows) and returns the cleaned length.
std::size_t preprocess_line(const char* raw, char* clean);

// Rewrites a line in place.
inline std::size_t preprocess_line(char* line) { return preprocess_line(line, line); }

struct CleanedLine;
struct LinePiece;

// clean_line and read_piece (compiler.h, line_text.h) into storage that is reused: a reader
// of line after line, such as the warnings' look at each line a compile reads, allocates
// nothing once it has held its longest line. Without parse, piece.parts is left as it was,
// for a reader that holds the compile's own parts of the piece.
void clean_line(std::string_view raw, CleanedLine& cleaned);
void read_piece(std::string_view line, std::size_t column, LinePiece& piece, bool parse = true);

// The offset in raw of the character that stands at clean_offset of the cleaned line, or,
// past the cleaned line's end, where cleaning stopped.
std::size_t raw_offset(const char* raw, std::size_t clean_offset);

// A range [begin, end) of a cleaned line moved onto its raw piece, given raw_at(i), the raw
// offset of cleaned byte i (past the end, where cleaning stopped). A range starts right after
// the byte before it, so that the backslash escaping its first byte belongs to it.
struct RawSpan {
    std::size_t begin;
    std::size_t end;
};
template <typename RawAt>
RawSpan raw_span(std::size_t begin, std::size_t end, RawAt raw_at) {
    std::size_t raw_begin = begin > 0 ? raw_at(begin - 1) + 1 : 0;
    return RawSpan{raw_begin, end > begin ? raw_at(end - 1) + 1 : raw_begin};
}

}  // namespace vorn
