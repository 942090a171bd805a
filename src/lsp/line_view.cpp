#include "line_view.h"

#include <algorithm>

#include <vorn/grammar.h>
#include <vorn/line_text.h>

namespace lsp {

namespace {

using vorn::LineKind;
using vorn::TextRange;

// One piece of a line, as the line module reads it, with the way back to raw columns. The
// parts' ranges are cleaned offsets: the text of a part is the cleaned text, and its place on
// the line is raw_range of it.
struct Piece : vorn::LinePiece {
    std::size_t start;  // raw column of the piece in the line

    explicit Piece(vorn::LinePiece piece) : vorn::LinePiece(std::move(piece)), start(column) {}

    const std::string& text() const { return clean.text; }
    std::size_t size() const { return clean.text.size(); }
    std::string text_of(std::size_t from, std::size_t to) const { return clean.text.substr(from, to - from); }
    // Raw line column of cleaned index i; past the end, where cleaning stopped.
    std::size_t raw(std::size_t i) const {
        return start + (i < size() ? clean.raw_offsets[i] : clean.raw_end);
    }
    // Index of the first cleaned byte at or after raw line column byte.
    std::size_t index(std::size_t byte) const {
        uint32_t within = static_cast<uint32_t>(byte - start);
        return static_cast<std::size_t>(
            std::lower_bound(clean.raw_offsets.begin(), clean.raw_offsets.end(), within) -
            clean.raw_offsets.begin());
    }
    // Puts the raw place of a range of the piece into a token.
    void place(TextRange range, Token* token) const {
        TextRange raw = vorn::raw_range(clean, range);
        token->begin = start + raw.begin;
        token->end = start + raw.end;
    }
    // Whether byte lies past where cleaning stopped: in a comment.
    bool in_comment(std::size_t byte) const { return past_code(byte); }
    // A line of white space only, which a compile hands to the statement compiler.
    bool blank_statement() const { return parts.kind == LineKind::Blank && size() > 0; }
    bool statement() const { return parts.kind == LineKind::Statement || blank_statement(); }
    // The command word as typed, up to its '(' (not cut to the length the compiler keeps).
    TextRange command() const {
        if (blank_statement())
            return {static_cast<uint32_t>(size()), static_cast<uint32_t>(size())};
        TextRange word = parts.first_word;
        if (parts.has_paren && parts.call.begin < word.end)
            word.end = parts.call.begin;
        return word;
    }
};

// The cursor right after a full piece still belongs to it.
Piece piece_at(std::string_view line, std::size_t byte) { return Piece(vorn::read_piece_at(line, byte)); }

// The argument whose text holds cleaned index k, its end included; -1 if none does.
int argument_at(const vorn::LineParts& parts, std::size_t k) {
    for (uint32_t i = 0; i < parts.argument_count; ++i)
        if (k >= parts.arguments[i].text.begin && k <= parts.arguments[i].text.end)
            return static_cast<int>(i);
    return -1;
}

}  // namespace

CursorContext context_at(std::string_view line, std::size_t byte) {
    byte = std::min(byte, line.size());
    Piece piece = piece_at(line, byte);
    CursorContext context;
    if (piece.in_comment(byte))
        return context;
    const std::string& c = piece.text();
    const vorn::LineParts& parts = piece.parts;
    std::size_t k = piece.index(byte);
    // The raw start of a word from cleaned index i; an empty word starts at the cursor.
    auto begin_of = [&](std::size_t i) { return i < k ? piece.raw(i) : byte; };

    if (c.empty() || k == 0) {
        if (!piece.statement()) {
            context.slot = parts.kind == LineKind::Place ? Slot::None : Slot::LineStart;
            context.word_begin = byte;
        }
        return context;
    }
    if (piece.statement()) {
        TextRange word = piece.command();
        if (k <= word.end) {
            context.slot = Slot::Command;
            std::size_t from = std::min<std::size_t>(word.begin, k);
            context.prefix = c.substr(from, k - from);
            context.word_begin = begin_of(from);
            context.paren_follows = parts.has_paren && parts.call.begin == word.end;
            return context;
        }
        if (!parts.has_paren || k <= parts.call.begin)
            return context;
        // Past the ')' that ends the arguments there is no argument.
        int index = argument_at(parts, k);
        if (index < 0)
            return context;
        const vorn::Argument& argument = parts.arguments[index];
        context.in_call = true;
        context.command = piece.text_of(word.begin, word.end);
        context.argument = index;
        std::size_t from = std::min<std::size_t>(argument.value.begin, k);
        std::string prefix = c.substr(from, k - from);
        // Numbers, strings and event parameters are not completed; nor is a second word.
        if (from < k && (argument.form != vorn::ArgumentForm::Name || prefix[0] == '+' ||
                         std::any_of(prefix.begin(), prefix.end(), vorn::is_layout_blank)))
            return context;
        context.slot = Slot::Argument;
        context.prefix = prefix;
        context.word_begin = begin_of(from);
        return context;
    }
    if (parts.kind == LineKind::Place)
        return context;
    if (k <= parts.first_word.end) {
        context.slot = Slot::LineStart;
        context.prefix = c.substr(0, k);
        context.word_begin = begin_of(0);
        return context;
    }
    if (parts.kind != LineKind::Include)
        return context;
    TextRange name = parts.include_name;
    if (k > name.end)
        return context;
    std::size_t from = std::min<std::size_t>(name.begin, k);
    context.slot = Slot::IncludeName;
    context.prefix = c.substr(from, k - from);
    context.word_begin = begin_of(from);
    return context;
}

namespace {

// The token at cleaned index k of the piece, if a part of the line holds k; the catch-all
// Statement token is left to the caller.
bool part_at(const Piece& piece, std::size_t k, Token* token) {
    const vorn::LineParts& parts = piece.parts;
    auto set = [&](TokenKind kind, TextRange range) {
        token->kind = kind;
        token->text = piece.text_of(range.begin, range.end);
        piece.place(range, token);
        return true;
    };
    switch (parts.kind) {
    case LineKind::Blank:
        return false;
    case LineKind::Statement: {
        TextRange word = piece.command();
        token->command = piece.text_of(word.begin, word.end);
        if (word.contains(static_cast<uint32_t>(k)))
            return set(TokenKind::Command, word);
        for (uint32_t i = 0; i < parts.argument_count; ++i) {
            if (parts.arguments[i].value.contains(static_cast<uint32_t>(k))) {
                token->argument = static_cast<int>(i);
                token->form = parts.arguments[i].form;
                TextRange list = vorn::raw_range(
                    piece.clean, {parts.arguments[0].text.begin, parts.arguments[parts.argument_count - 1].text.end});
                token->list_begin = piece.start + list.begin;
                token->list_end = piece.start + list.end;
                return set(TokenKind::Argument, parts.arguments[i].value);
            }
        }
        return false;
    }
    case LineKind::Place:
        return parts.number.contains(static_cast<uint32_t>(k)) && set(TokenKind::PlaceLabel, parts.number);
    case LineKind::EventLabel:
        if (parts.first_word.contains(static_cast<uint32_t>(k)))
            return set(TokenKind::EventLabel, TextRange{0, static_cast<uint32_t>(parts.first_word.end - 1)});
        return false;
    case LineKind::Defvar:
    case LineKind::Defnum:
    case LineKind::Include:
    case LineKind::UnknownDirective:
        break;
    }
    if (parts.first_word.contains(static_cast<uint32_t>(k)))
        return set(TokenKind::Directive, parts.first_word);
    if (parts.kind == LineKind::Include)
        return parts.include_name.contains(static_cast<uint32_t>(k)) &&
               set(TokenKind::IncludeName, parts.include_name);
    if (parts.kind == LineKind::Defvar || parts.kind == LineKind::Defnum)
        return parts.name.contains(static_cast<uint32_t>(k)) && set(TokenKind::DefinedName, parts.name);
    return false;
}

}  // namespace

Token token_at(std::string_view line, std::size_t byte) {
    byte = std::min(byte, line.size());
    Piece piece = piece_at(line, byte);
    Token token;
    token.piece = piece.start;
    const std::string& c = piece.text();
    if (c.empty() || piece.in_comment(byte))
        return token;
    std::size_t k = piece.index(byte);
    // Just past the end of a part still names that part.
    Token before = token;
    if (part_at(piece, k, &token))
        return token;
    if (k > 0 && part_at(piece, k - 1, &before))
        return before;
    if (piece.parts.kind == LineKind::Statement && k < c.size()) {
        TextRange rest = {piece.command().begin, static_cast<uint32_t>(c.size())};
        token.kind = TokenKind::Statement;
        token.text = piece.text_of(rest.begin, rest.end);
        piece.place(rest, &token);
    }
    return token;
}

Token include_of(std::string_view line) {
    Piece piece(vorn::read_piece(line));
    Token token;
    if (piece.parts.kind != LineKind::Include)
        return token;
    TextRange name = piece.parts.include_name;
    token.kind = TokenKind::IncludeName;
    token.text = piece.text_of(name.begin, name.end);
    piece.place(name, &token);
    return token;
}

}  // namespace lsp
