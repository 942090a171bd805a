// What stands at a place of a script line, read with the compiler's own cleaning: which kind
// of line it is, which word or argument the cursor is in, and what can be typed there.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include <vorn/grammar.h>

namespace lsp {

// Where the cursor is, for completion.
enum class Slot {
    None,         // nothing to offer: a comment, a string, a number, a place label...
    LineStart,    // the first word of a line that is not a statement
    Command,      // the command word of a statement
    Argument,     // a name argument of a statement
    IncludeName,  // the file name after include
};

struct CursorContext {
    Slot slot = Slot::None;
    // What is typed of the word so far (cleaned), and where it starts in the raw line.
    std::string prefix;
    std::size_t word_begin = 0;
    // Inside a statement's parentheses (whatever the argument is): its command and the
    // argument's index from 0. Arguments end at every ',', in strings too, as in a compile.
    bool in_call = false;
    std::string command;
    int argument = 0;
    // For the command word: a '(' follows it already.
    bool paren_follows = false;
};

// byte is the cursor's byte column (from 0) in the raw line.
CursorContext context_at(std::string_view line, std::size_t byte);

// What the cursor is on, for hover and go to definition.
enum class TokenKind {
    None,
    Command,      // a statement's command word
    Argument,     // one argument of a statement (text is trimmed)
    Statement,    // elsewhere on a statement line
    Directive,    // defvar, defnum or include (or an unknown first word)
    DefinedName,  // the name after defvar or defnum
    IncludeName,  // the file name after include
    EventLabel,   // text is the event's name, without ':'
    PlaceLabel,   // the place number
};

struct Token {
    TokenKind kind = TokenKind::None;
    std::string text;
    // Its raw byte range on the line.
    std::size_t begin = 0;
    std::size_t end = 0;
    // For a statement: its command and, for an argument, the argument's index.
    std::string command;
    int argument = -1;
    // For an argument: its form, as the compile classifies it.
    vorn::ArgumentForm form = vorn::ArgumentForm::Name;
    // For an argument: the raw byte range of the whole argument list, from after '(' up to
    // the ')' that ends it (or the line's end).
    std::size_t list_begin = 0;
    std::size_t list_end = 0;
    // The raw byte column where the line's piece starts (a line over 299 bytes is compiled in
    // pieces, each a line of its own).
    std::size_t piece = 0;
};

Token token_at(std::string_view line, std::size_t byte);

// The include name of a line that is an include, with its range; kind None otherwise.
Token include_of(std::string_view line);

}  // namespace lsp
