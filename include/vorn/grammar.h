// The grammar of one script line, as the compiler reads it: what kind of line it is and
// where each of its parts stands. The compiler dispatches on it, and the tools use it to find
// what a place of a line is, so all of them read a line the same way.
//
// A line is parsed after cleaning (clean_line): one piece of at most MaxPieceLength bytes
// with its comment, its line end and its backslashes gone. parse_cleaned gives ranges of the
// cleaned text, which is what the compiler works on: it parses every line that way and maps a
// range to the raw line only when a diagnostic or a record needs its place, so a line costs
// no mapping. parse_line gives ranges of the raw line, which is what an editor or a listing
// points at; raw_range maps one range at a time, for a caller that parses cleaned text (to
// read the parts' cleaned text) and needs the raw place of only a few parts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "compiler.h"
#include "language.h"

namespace vorn {

enum class LineKind : uint8_t {
    Blank,             // empty, or white space only: nothing is compiled
    Statement,         // starts with white space: a command and its arguments
    Place,             // starts with a decimal digit: a place label
    EventLabel,        // a first word that ends in ':' (cut as the compiler cuts it)
    Defvar,            // first word "defvar"
    Defnum,            // first word "defnum"
    Include,           // first word "include"
    UnknownDirective,  // any other first word
};

// The bytes [begin, end) of a line.
struct TextRange {
    uint32_t begin;
    uint32_t end;

    uint32_t size() const { return end - begin; }
    bool empty() const { return end == begin; }
    bool contains(uint32_t at) const { return at >= begin && at < end; }
};

// What an argument is, by its first character once trimmed.
enum class ArgumentForm : uint8_t {
    Number,      // '-' or a digit
    EventParam,  // '&'
    String,      // the mark of an opening quote
    Name,        // anything else, an empty argument too
};

// What ended an argument's text: statements split at ',' and ')', inside strings as well.
enum class ArgumentEnd : uint8_t { Comma, Paren, LineEnd };

struct Argument {
    TextRange text;   // as split, from after '(' or ',' up to the ',' or ')' or the line's end
    TextRange value;  // the same without leading and trailing white space
    ArgumentForm form;
    ArgumentEnd end;
};

// The most arguments a piece can split into: one per byte at most.
constexpr std::size_t MaxLineArguments = MaxPieceLength;

// The parts of a line. Ranges that a kind of line does not have stay empty, at the piece's
// start.
struct LineParts {
    LineKind kind = LineKind::Blank;
    // The first run of non-blank bytes (for a statement, after its leading white space).
    TextRange first_word{};

    // Statement: the command word, that is the first word up to its first '(' and cut to
    // 79 bytes, as it is looked up; empty for a line the compiler ignores, such as "  (1)".
    TextRange command{};
    // Statement: from the command word to the first '(', or to the line's end without one;
    // the text between the command word and '(' is ignored.
    TextRange head{};
    // Statement with a '(': from it to the line's end, where the argument count is checked.
    bool has_paren = false;
    TextRange call{};
    // Statement with a '(': every argument up to the first ')', or to the line's end.
    uint32_t argument_count = 0;
    Argument arguments[MaxLineArguments];

    // Defvar and Defnum: the name and the number after it. EventLabel: the event's name,
    // without the ':'. Place: the place number. A missing name or number is an empty range
    // where it would start.
    TextRange name{};
    TextRange number{};
    // Include: the name of the file (cut to 79 bytes when it is used).
    TextRange include_name{};
    // What the compiler reads no further: after the ')' that ends the arguments, the label's
    // word, the place number, a definition's number, the include name or an unknown word.
    TextRange ignored{};
};

// Parses a cleaned line (a piece after cleaning; bytes past MaxPieceLength are not read);
// ranges are offsets in cleaned.
LineParts parse_cleaned(std::string_view cleaned);

// Where a range of a cleaned line stands in its raw piece. A range starts right after the
// byte before it, so the backslash that escapes its first byte belongs to it.
TextRange raw_range(const CleanedLine& line, TextRange cleaned);

// Parses a cleaned piece; ranges are of the raw line, whose piece starts at column (a line
// longer than MaxPieceLength comes in pieces, each parsed as a line of its own).
LineParts parse_line(const CleanedLine& line, std::size_t column = 0);

// The parts of a cleaned parse moved onto the raw line, as parse_line gives them.
LineParts to_raw(const LineParts& cleaned_parts, const CleanedLine& line, std::size_t column = 0);

// The value a statement reads from a number argument's text (its trimmed cleaned text, as
// Argument::value holds it): the leading signed decimal number, up to the first other
// character, so "0x10" reads as 0 and a lone '-' as 0. Nothing where the digits do not fit
// 32 bits, which the compile reports as an error.
std::optional<int32_t> argument_number(std::string_view value);

}  // namespace vorn
