// A line of the language in both directions, for every tool that reads or writes script or
// list text. Reading: a whole raw line, however long, in the pieces a compile reads, each
// with its cleaned text, its parts, what ends it (a comment, the line end) and its strings.
// Writing: the spellings of a name, a number, a string argument, an include path and a list
// entry that read back as the value meant. Nothing outside this module tests line text for
// ';', '/', quotes or blanks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "compiler.h"
#include "grammar.h"
#include "language.h"

namespace vorn {

// ---- Reading a script line ----

// What stops a piece's cleaned text (at clean.raw_end).
enum class PieceEnd : uint8_t {
    Text,     // the piece's own end: a longer line goes on in the next piece
    Comment,  // a ';' or '/' outside a string: the rest of the piece is a comment
    LineEnd,  // a carriage return or the line feed
    Stop,     // a NUL or the end-of-file mark: a compile reads nothing after it
};

// A string of a piece, in offsets of the cleaned text: its opening quote, its closing quote
// (the text's size when it is never closed), and the first ',' or ')' between them, which
// ends its argument there (close when there is none).
struct LineString {
    uint32_t open;
    uint32_t close;
    uint32_t cut;
    bool closed;

    bool is_cut() const { return cut < close; }
    // Whether cleaned offset at stands after the opening quote, up to the closing one.
    bool holds(uint32_t at) const { return at > open && at <= close; }
};

// One piece of a line, read as a compile reads it.
struct LinePiece {
    std::size_t column = 0;  // where the piece starts in its line
    std::size_t size = 0;    // its raw bytes
    CleanedLine clean;
    LineParts parts;  // ranges of clean.text
    PieceEnd end = PieceEnd::Text;
    std::vector<LineString> strings;
    bool slash = false;  // the comment starts with '/'

    std::string_view text(TextRange cleaned) const {
        return std::string_view(clean.text).substr(cleaned.begin, cleaned.size());
    }
    // A range of the cleaned text as columns of the whole line.
    TextRange raw(TextRange cleaned) const;
    // The column of the line where the cleaned text stops: a comment or line end starts there.
    std::size_t code_end() const { return column + clean.raw_end; }
    bool comment() const { return end == PieceEnd::Comment; }
    // Whether a '/' starts the comment, at column at: a path written without escapes is cut there.
    bool slash_comment(std::size_t at) const;
    // Whether a column of the line lies past where the cleaned text stopped.
    bool past_code(std::size_t at) const { return at > code_end(); }
    // The string whose quotes hold cleaned offset at, if any.
    const LineString* string_at(uint32_t at) const;
    // Whether a string opens before cleaned offset at.
    bool string_before(uint32_t at) const { return !strings.empty() && strings.front().open < at; }
    // Whether a string is left open to the piece's end.
    bool open_string() const { return !strings.empty() && !strings.back().closed; }
};

// The piece of line that starts at column.
LinePiece read_piece(std::string_view line, std::size_t column = 0);
// The piece that holds column at; the column right after a full piece still belongs to it.
LinePiece read_piece_at(std::string_view line, std::size_t at);
// Whether column at of line stands inside a string.
bool in_string(std::string_view line, std::size_t at);
// Every piece of a whole line (an empty line is one empty piece).
std::vector<LinePiece> read_line(std::string_view line);

// Whether c is white space as the compiler reads it (space, tab to carriage return).
bool is_line_blank(unsigned char c);
// Whether c is a blank that a layout moves: a space or a tab (other white space stays where
// it stands, with its line).
inline bool is_layout_blank(char c) { return c == ' ' || c == '\t'; }
// The range without its leading and trailing white space; layout_only takes only the blanks
// a layout moves (space and tab).
TextRange trim_range(std::string_view text, TextRange range, bool layout_only = false);

// The length of the word that text starts with as its writer meant it, were it not cut by a
// comment: up to white space, a ';', a backslash or the line's end.
std::size_t meant_word_length(std::string_view text);

// The leading signed decimal number of text, as the compiler reads it: where its digits end
// (0 when there are none) and its value; nothing when the digits do not fit 32 bits.
struct LeadingNumber {
    std::size_t end = 0;
    int32_t value = 0;
};
std::optional<LeadingNumber> leading_number(std::string_view text);

// ---- Writing ----

// Whether word reads back as itself outside a string once spelled: not empty, and no byte
// that no escape lets a word hold (a blank, a backslash, a NUL or the end-of-file mark).
bool word_spellable(std::string_view word);
// The first byte of name that would end it, or start a comment or a string, where a name
// stands in a line (white space, '(', ')', ',', ';', '"', '/' or ':'), if any: a rename to such
// a name would change what the lines mean.
std::optional<char> name_breaking_byte(std::string_view name);
// A name or an include path as a line must write it: a quote, ';' and '/' escaped.
std::string spell_word(std::string_view word);
// A number argument or definition.
std::string spell_number(int64_t value);
// Whether byte can stand inside a string argument: the line end and NUL end the line, the
// end-of-file mark ends the file, a backslash never survives, and ',' and ')' split arguments.
bool string_byte_writable(unsigned char byte);
// A string argument in its quotes, its quotes escaped; every byte must be writable.
std::string spell_string(std::string_view value);

// ---- A line of events.lst or command.lst ----

// A list line is an entry when it starts with a letter: its name is its first word, and one
// or two numbers follow (a missing number reads as 0, and so does every one after it).
struct ListEntryLine {
    std::string_view name;
    int32_t numbers[2] = {0, 0};
};
bool is_list_entry(std::string_view line);
// The entry's fields; nothing when a number does not fit 32 bits.
std::optional<ListEntryLine> read_list_entry(std::string_view line, int numbers);
// The name of an entry line (its first word), empty for another line.
std::string_view list_entry_name(std::string_view line);
// "Name code count": empty when the name could not be read back or the line would not fit.
std::string spell_command_entry(std::string_view name, unsigned code, std::size_t count);

}  // namespace vorn
