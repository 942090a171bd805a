#include "line_view.h"

#include <algorithm>
#include <vector>

#include <vorn/vorn.h>
#include <vorn/language.h>

namespace lsp {

namespace {

bool blank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool digit(char c) { return c >= '0' && c <= '9'; }

// One piece of a line, cleaned, with the way back to raw columns.
struct Piece {
    std::size_t start;  // raw column of the piece in the line
    vorn::CleanedLine clean;

    const std::string& text() const { return clean.text; }
    std::size_t size() const { return clean.text.size(); }
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
    // Whether byte lies past where cleaning stopped: in a comment.
    bool in_comment(std::size_t byte) const { return byte - start > clean.raw_end; }
};

Piece piece_at(std::string_view line, std::size_t byte) {
    std::size_t first = std::min(byte, line.size());
    // The cursor right after a full piece still belongs to it.
    std::size_t k = first / vorn::MaxPieceLength;
    if (k > 0 && first == k * vorn::MaxPieceLength)
        --k;
    std::size_t start = k * vorn::MaxPieceLength;
    return Piece{start, vorn::clean_line(line.substr(start, vorn::MaxPieceLength))};
}

std::size_t skip_blanks(const std::string& s, std::size_t i) {
    while (i < s.size() && blank(s[i]))
        ++i;
    return i;
}

std::size_t word_end(const std::string& s, std::size_t i) {
    while (i < s.size() && !blank(s[i]))
        ++i;
    return i;
}

// The command word of a statement: its first word, cut at '('.
std::pair<std::size_t, std::size_t> command_word(const std::string& s) {
    std::size_t w = skip_blanks(s, 0);
    std::size_t e = word_end(s, w);
    std::size_t paren = s.find('(', w);
    if (paren != std::string::npos && paren < e)
        e = paren;
    return {w, e};
}

bool word_char(char c) { return !blank(c) && c != ',' && c != '(' && c != ')'; }

}  // namespace

CursorContext context_at(std::string_view line, std::size_t byte) {
    byte = std::min(byte, line.size());
    Piece piece = piece_at(line, byte);
    CursorContext context;
    if (piece.in_comment(byte))
        return context;
    const std::string& c = piece.text();
    std::size_t k = piece.index(byte);
    // The raw start of a word from cleaned index i; an empty word starts at the cursor.
    auto begin_of = [&](std::size_t i) { return i < k ? piece.raw(i) : byte; };

    if (c.empty() || k == 0) {
        if (c.empty() || !blank(c[0])) {
            context.slot = c.empty() || !digit(c[0]) ? Slot::LineStart : Slot::None;
            context.word_begin = byte;
        }
        return context;
    }
    if (blank(c[0])) {
        auto [w, e] = command_word(c);
        if (k <= e) {
            context.slot = Slot::Command;
            std::size_t from = std::min(w, k);
            context.prefix = c.substr(from, k - from);
            context.word_begin = begin_of(from);
            context.paren_follows = e < c.size() && c[e] == '(';
            return context;
        }
        std::size_t paren = c.find('(');
        if (paren == std::string::npos || k <= paren)
            return context;
        std::string inside = c.substr(paren + 1, k - paren - 1);
        if (inside.find(')') != std::string::npos)
            return context;
        context.in_call = true;
        context.command = c.substr(w, e - w);
        context.argument = static_cast<int>(std::count(inside.begin(), inside.end(), ','));
        std::size_t arg = paren + 1 + (inside.rfind(',') == std::string::npos ? 0 : inside.rfind(',') + 1);
        arg = std::min(skip_blanks(c, arg), k);
        std::string prefix = c.substr(arg, k - arg);
        if (!prefix.empty()) {
            unsigned char first = static_cast<unsigned char>(prefix[0]);
            if (first == vorn::CleanOpenQuote || first == '&' || first == '-' || first == '+' ||
                digit(prefix[0]) || prefix.find_first_of(" \t") != std::string::npos)
                return context;
        }
        context.slot = Slot::Argument;
        context.prefix = prefix;
        context.word_begin = begin_of(arg);
        return context;
    }
    if (digit(c[0]))
        return context;
    std::size_t e = word_end(c, 0);
    if (k <= e) {
        context.slot = Slot::LineStart;
        context.prefix = c.substr(0, k);
        context.word_begin = begin_of(0);
        return context;
    }
    if (c.compare(0, e, vorn::IncludeWord) != 0 || e != strlen(vorn::IncludeWord))
        return context;
    std::size_t name = skip_blanks(c, e);
    if (k < name)
        name = k;
    if (word_end(c, name) < k)
        return context;
    context.slot = Slot::IncludeName;
    context.prefix = c.substr(name, k - name);
    context.word_begin = begin_of(name);
    return context;
}

Token token_at(std::string_view line, std::size_t byte) {
    byte = std::min(byte, line.size());
    Piece piece = piece_at(line, byte);
    Token token;
    token.piece = piece.start;
    const std::string& c = piece.text();
    if (c.empty() || piece.in_comment(byte))
        return token;
    std::size_t k = piece.index(byte);
    // Just past the end of a word still names that word.
    if (k > 0 && (k == c.size() || !word_char(c[k])) && word_char(c[k - 1]))
        --k;
    if (k >= c.size())
        return token;
    auto set = [&](TokenKind kind, std::size_t from, std::size_t to) {
        token.kind = kind;
        token.text = c.substr(from, to - from);
        token.begin = piece.raw(from);
        token.end = to > from ? piece.raw(to - 1) + 1 : token.begin;
    };

    if (blank(c[0])) {
        auto [w, e] = command_word(c);
        token.command = c.substr(w, e - w);
        if (k >= w && k < e) {
            set(TokenKind::Command, w, e);
            return token;
        }
        std::size_t paren = c.find('(');
        if (paren != std::string::npos && k > paren) {
            // Arguments end at ',' and ')', strings or not, as the compiler splits them.
            std::size_t from = paren + 1;
            for (int index = 0;; ++index) {
                std::size_t to = c.find_first_of(",)", from);
                if (to == std::string::npos)
                    to = c.size();
                if (k < to || (k == to && to == c.size())) {
                    std::size_t a = skip_blanks(c, from);
                    std::size_t b = to;
                    while (b > a && blank(c[b - 1]))
                        --b;
                    if (k >= a && k < b) {
                        set(TokenKind::Argument, a, b);
                        token.argument = index;
                        return token;
                    }
                    break;
                }
                if (to == c.size() || c[to] == ')')
                    break;
                from = to + 1;
            }
        }
        set(TokenKind::Statement, w, c.size());
        return token;
    }
    if (digit(c[0])) {
        std::size_t e = 0;
        while (e < c.size() && digit(c[e]))
            ++e;
        if (k < e)
            set(TokenKind::PlaceLabel, 0, e);
        return token;
    }
    std::size_t e = word_end(c, 0);
    std::string word = c.substr(0, e);
    if (k < e) {
        if (word.back() == vorn::EventLabelEnd && word != vorn::DefvarWord && word != vorn::DefnumWord && word != vorn::IncludeWord)
            set(TokenKind::EventLabel, 0, e - 1);
        else
            set(TokenKind::Directive, 0, e);
        return token;
    }
    std::size_t a = skip_blanks(c, e);
    std::size_t b = word_end(c, a);
    if (k < a || k >= b)
        return token;
    if (word == vorn::DefvarWord || word == vorn::DefnumWord)
        set(TokenKind::DefinedName, a, b);
    else if (word == vorn::IncludeWord)
        set(TokenKind::IncludeName, a, b);
    return token;
}

Token include_of(std::string_view line) {
    Piece piece{0, vorn::clean_line(line.substr(0, vorn::MaxPieceLength))};
    const std::string& c = piece.text();
    Token token;
    std::size_t e = word_end(c, 0);
    if (c.compare(0, e, vorn::IncludeWord) != 0 || e != strlen(vorn::IncludeWord))
        return token;
    std::size_t a = skip_blanks(c, e);
    std::size_t b = word_end(c, a);
    token.kind = TokenKind::IncludeName;
    token.text = c.substr(a, b - a);
    token.begin = piece.raw(a);
    token.end = b > a ? piece.raw(b - 1) + 1 : token.begin;
    return token;
}

}  // namespace lsp
