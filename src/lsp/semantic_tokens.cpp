#include "semantic_tokens.h"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <optional>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>

#include <vorn/grammar.h>
#include <vorn/language.h>
#include <vorn/line_text.h>

namespace lsp {

namespace {

using vorn::LineKind;
using vorn::TextRange;

// A token on one line, in raw byte columns.
struct RawToken {
    std::size_t begin;
    std::size_t end;
    TokenType type;
    uint32_t modifiers;
};

// What a name argument stands for, as the compile resolved it.
struct NameMeaning {
    bool known = false;
    TokenType type = TokenType::Variable;
    uint32_t modifiers = 0;
};

NameMeaning meaning_of(const vorn::Definition& definition) {
    if (definition.kind == vorn::DefinitionKind::Constant)
        return {true, TokenType::Constant, 0};
    // The predefined variables are defined in no file.
    return {true, TokenType::Variable, definition.source < 0 ? modifier(TokenModifierBit::DefaultLibrary) : 0u};
}

class Tokenizer {
public:
    Tokenizer(const Text& text, const Analysis& analysis, Encoding encoding, TokenWindow window)
        : text_(text), analysis_(analysis), columns_(text, encoding), window_(window) {
        compiled_ = analysis.top >= 0;
        if (compiled_) {
            for (const vorn::Use& use : analysis.result->uses)
                if (use.source == analysis.top && (use.kind == vorn::UseKind::Condition ||
                                                   use.kind == vorn::UseKind::Variable ||
                                                   use.kind == vorn::UseKind::Constant))
                    uses_.push_back(&use);
            std::stable_sort(uses_.begin(), uses_.end(), [](const vorn::Use* a, const vorn::Use* b) {
                return a->where.line != b->where.line ? a->where.line < b->where.line
                                                      : a->where.column < b->where.column;
            });
        }
        // The compile reads nothing after an end-of-file mark.
        const std::string& bytes = text.bytes();
        std::size_t mark = bytes.find(static_cast<char>(vorn::EndOfFileMark));
        if (mark != std::string::npos) {
            eof_line_ = static_cast<std::size_t>(std::count(bytes.begin(), bytes.begin() + mark, '\n'));
        }
    }

    std::vector<uint32_t> run() {
        tokenize();
        return std::move(data_);
    }

    // The same numbers written straight into JSON text ({"data":[...]}), with room left for
    // headroom more bytes: no vector of them is kept on the way.
    std::string run_json(std::size_t headroom) {
        json_ = std::string();
        // About as many bytes as the text has, so that a large document's answer seldom grows.
        json_->reserve(std::min<std::size_t>(text_.bytes().size(), MaxTokensReserve) + headroom + 16);
        json_->append(R"({"data":[)");
        tokenize();
        if (json_->back() == ',')
            json_->pop_back();
        json_->append("]}");
        return std::move(*json_);
    }

private:
    // The most bytes reserved up front for the JSON of a document's tokens.
    static constexpr std::size_t MaxTokensReserve = std::size_t{64} << 20;

    void tokenize() {
        std::size_t count = text_.line_count();
        std::size_t first = std::min<std::size_t>(window_.start.line, count);
        std::size_t last = std::min<std::size_t>(window_.end.line, count == 0 ? 0 : count - 1);
        for (std::size_t line = first; line <= last && line < count; ++line)
            tokenize_line(line);
    }

    void tokenize_line(std::size_t line) {
        std::string_view raw = text_.line(line);
        line_tokens_.clear();
        if (line > eof_line_) {
            add_trimmed(raw, 0, raw.size(), TokenType::Comment, modifier(TokenModifierBit::Ignored));
        } else {
            // A long line is compiled in pieces, each as a line of its own.
            for (const vorn::LinePiece& piece : vorn::read_line(raw))
                tokenize_piece(raw, line, piece);
        }
        std::sort(line_tokens_.begin(), line_tokens_.end(),
                  [](const RawToken& a, const RawToken& b) { return a.begin < b.begin; });
        for (const RawToken& token : line_tokens_)
            emit(line, token);
    }

    void tokenize_piece(std::string_view line, std::size_t number, const vorn::LinePiece& piece) {
        const std::size_t start = piece.column;
        const vorn::LineParts& parts = piece.parts;
        auto place = [&](TextRange range, TokenType type, uint32_t modifiers) {
            if (range.empty())
                return;
            TextRange at = piece.raw(range);
            add(at.begin, at.end, type, modifiers);
        };
        auto ignore = [&](TextRange range) {
            if (range.empty())
                return;
            TextRange at = piece.raw(range);
            add_trimmed(line, at.begin, at.end, TokenType::Comment, modifier(TokenModifierBit::Ignored));
        };
        const std::string& c = piece.clean.text;
        auto word = [&](TextRange range) { return c.substr(range.begin, range.size()); };

        switch (parts.kind) {
        case LineKind::Blank:
            break;
        case LineKind::Statement: {
            if (parts.command.empty()) {
                // A statement without a command word is not compiled at all.
                ignore({parts.first_word.begin, static_cast<uint32_t>(c.size())});
                break;
            }
            TextRange command = parts.first_word;
            if (parts.has_paren && parts.call.begin < command.end)
                command.end = parts.call.begin;
            uint32_t modifiers = 0;
            if (compiled_ && analysis_.result->lists.find_command(word(parts.command).c_str()) < 0)
                modifiers = modifier(TokenModifierBit::Unknown);
            place(command, TokenType::Command, modifiers);
            if (!parts.has_paren)
                break;
            // Between the command word and '(' nothing is read.
            ignore({command.end, parts.call.begin});
            // A name on a line the compile reached means what the compile found; elsewhere
            // (a line after a fatal end, a document without a compile) what its name says.
            bool reached = compiled_ && analysis_.line_record(static_cast<uint32_t>(number + 1), start) != nullptr;
            for (uint32_t i = 0; i < parts.argument_count; ++i) {
                const vorn::Argument& argument = parts.arguments[i];
                switch (argument.form) {
                case vorn::ArgumentForm::Number:
                    place(argument.value, TokenType::Number, 0);
                    break;
                case vorn::ArgumentForm::EventParam:
                    place(argument.value, TokenType::EventParam, 0);
                    break;
                case vorn::ArgumentForm::String:
                    place(argument.value, TokenType::String, 0);
                    break;
                case vorn::ArgumentForm::Name: {
                    if (argument.value.empty())
                        break;
                    TextRange at = piece.raw(argument.value);
                    NameMeaning meaning = reached ? resolved(number + 1, at.begin, at.end)
                                              : by_name(word(argument.value));
                    if (meaning.known)
                        add(at.begin, at.end, meaning.type, meaning.modifiers);
                    break;
                }
                }
            }
            ignore(parts.ignored);
            break;
        }
        case LineKind::Place:
            place(parts.number, TokenType::Place, modifier(TokenModifierBit::Declaration));
            ignore(parts.ignored);
            break;
        case LineKind::EventLabel: {
            uint32_t modifiers = modifier(TokenModifierBit::Declaration);
            if (compiled_ && analysis_.result->lists.find_event(word(parts.name).c_str()) < 0)
                modifiers |= modifier(TokenModifierBit::Unknown);
            place(parts.name, TokenType::Event, modifiers);
            ignore(parts.ignored);
            break;
        }
        case LineKind::Defvar:
        case LineKind::Defnum:
            place(parts.first_word, TokenType::Directive, 0);
            place(parts.name, parts.kind == LineKind::Defvar ? TokenType::Variable : TokenType::Constant,
                  modifier(TokenModifierBit::Declaration));
            place(parts.number, TokenType::Number, 0);
            ignore(parts.ignored);
            break;
        case LineKind::Include:
            place(parts.first_word, TokenType::Directive, 0);
            place(parts.include_name, TokenType::Include, 0);
            ignore(parts.ignored);
            break;
        case LineKind::UnknownDirective:
            place(parts.first_word, TokenType::Directive, modifier(TokenModifierBit::Unknown));
            ignore(parts.ignored);
            break;
        }

        // After the cleaned text: a comment, or what the compile does not read past a NUL or
        // an end-of-file mark. A CR left before the line end is neither.
        std::size_t rest = piece.code_end();
        std::size_t piece_end = start + piece.size;
        if (piece.comment())
            add(rest, piece_end, TokenType::Comment, 0);
        else if (piece.end == vorn::PieceEnd::Stop)
            add_trimmed(line, rest, piece_end, TokenType::Comment, modifier(TokenModifierBit::Ignored));
    }

    // The meaning the compile gave the name argument at raw columns [begin, end) of line
    // (from 1): the use recorded there; none when it reported the name unknown.
    NameMeaning resolved(std::size_t line, std::size_t begin, std::size_t end) {
        auto first = std::lower_bound(uses_.begin(), uses_.end(), line, [](const vorn::Use* use, std::size_t wanted) {
            return use->where.line < wanted;
        });
        for (auto it = first; it != uses_.end() && (*it)->where.line == line; ++it) {
            std::size_t column = (*it)->where.column;
            if (column == 0 || column - 1 < begin)
                continue;
            if (column - 1 >= end)
                break;
            const vorn::Use& use = **it;
            if (use.kind == vorn::UseKind::Condition)
                return {true, TokenType::Condition, 0};
            if (use.target >= 0 && static_cast<std::size_t>(use.target) < analysis_.result->definitions.size())
                return meaning_of(analysis_.result->definitions[static_cast<std::size_t>(use.target)]);
        }
        return {};
    }

    // What a name on a line that the compile did not reach would stand for: the order of a
    // compile's lookup (condition keywords, variables, constants) over everything it defined.
    NameMeaning by_name(const std::string& name) {
        if (vorn::find_condition(name.c_str()) >= 0)
            return {true, TokenType::Condition, 0};
        if (!names_built_) {
            names_built_ = true;
            for (const vorn::PredefinedVariable& variable : vorn::PredefinedVariables)
                names_.emplace(variable.name,
                               NameMeaning{true, TokenType::Variable, modifier(TokenModifierBit::DefaultLibrary)});
            for (vorn::DefinitionKind kind : {vorn::DefinitionKind::Variable, vorn::DefinitionKind::Constant})
                for (const vorn::Definition& definition : analysis_.result->definitions)
                    if (definition.kind == kind)
                        names_.emplace(definition.name, meaning_of(definition));
        }
        auto found = names_.find(name);
        return found == names_.end() ? NameMeaning{} : found->second;
    }

    void add(std::size_t begin, std::size_t end, TokenType type, uint32_t modifiers) {
        if (begin < end)
            line_tokens_.push_back(RawToken{begin, end, type, modifiers});
    }

    // A token for [begin, end) of line without the blanks at either end.
    void add_trimmed(std::string_view line, std::size_t begin, std::size_t end, TokenType type, uint32_t modifiers) {
        TextRange trimmed = vorn::trim_range(line, {static_cast<uint32_t>(begin), static_cast<uint32_t>(end)}, true);
        add(trimmed.begin, trimmed.end, type, modifiers);
    }

    // Appends a token in the relative encoding, if it touches the window.
    void emit(std::size_t line, const RawToken& token) {
        uint32_t begin = columns_.character(line, token.begin);
        uint32_t end = columns_.character(line, token.end);
        if (end <= begin)
            return;
        if (line == window_.start.line && end <= window_.start.character)
            return;
        if (line == window_.end.line && begin >= window_.end.character)
            return;
        uint32_t at = static_cast<uint32_t>(line);
        uint32_t line_delta = at - last_line_;
        uint32_t start_delta = line_delta == 0 ? begin - last_start_ : begin;
        const uint32_t numbers[] = {line_delta, start_delta, end - begin, static_cast<uint32_t>(token.type),
                                    token.modifiers};
        if (json_) {
            for (uint32_t number : numbers) {
                char digits[16];
                auto written = std::to_chars(digits, digits + sizeof digits, number);
                json_->append(digits, written.ptr);
                json_->push_back(',');
            }
        } else {
            data_.insert(data_.end(), std::begin(numbers), std::end(numbers));
        }
        last_line_ = at;
        last_start_ = begin;
    }

    const Text& text_;
    const Analysis& analysis_;
    ColumnConverter columns_;
    TokenWindow window_;
    bool compiled_ = false;
    std::size_t eof_line_ = SIZE_MAX;
    std::vector<const vorn::Use*> uses_;
    bool names_built_ = false;
    std::unordered_map<std::string, NameMeaning> names_;
    std::vector<RawToken> line_tokens_;
    std::vector<uint32_t> data_;
    std::optional<std::string> json_;  // where the numbers go instead, for run_json
    uint32_t last_line_ = 0;
    uint32_t last_start_ = 0;
};

}  // namespace

std::vector<uint32_t> semantic_tokens(const Text& text, const Analysis& analysis, Encoding encoding,
                                      TokenWindow window) {
    return Tokenizer(text, analysis, encoding, window).run();
}

std::string semantic_tokens_json(const Text& text, const Analysis& analysis, Encoding encoding, TokenWindow window,
                                 std::size_t headroom) {
    return Tokenizer(text, analysis, encoding, window).run_json(headroom);
}

}  // namespace lsp
