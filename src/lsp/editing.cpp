#include "editing.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include <vorn/format.h>
#include <vorn/grammar.h>
#include <vorn/language.h>
#include <vorn/line_text.h>

#include "line_view.h"

namespace lsp {

namespace {

using vorn::LineKind;

// A fold needs at least this many lines of comment in a row.
constexpr uint32_t MinCommentRun = 2;
// The bytes of one edit's JSON besides its new text, with room for the numbers (the reserve
// for an answer of many edits).
constexpr std::size_t EditFrameSize = 96;

// What a line is as a whole, read from its first piece: the kind the compiler gives it, and
// whether it holds nothing but a comment.
struct LineShape {
    LineKind kind = LineKind::Blank;
    bool comment = false;

    bool label() const { return kind == LineKind::EventLabel || kind == LineKind::Place; }
    bool code() const { return kind != LineKind::Blank; }
};

LineShape shape_of(std::string_view line) {
    vorn::LinePiece piece = vorn::read_piece(line);
    LineShape shape;
    shape.kind = piece.parts.kind;
    shape.comment = shape.kind == LineKind::Blank && piece.comment();
    return shape;
}

// The shape of every line of the document, and the block of each label: from the label's
// line to its last line of code before the next label, so that blank lines and the comments
// that head the next label stay outside it.
struct Outline {
    std::vector<LineShape> lines;
    // The last line of the block that starts at each label line; the line itself elsewhere.
    std::vector<uint32_t> block_end;

    explicit Outline(const Text& text) {
        uint32_t count = static_cast<uint32_t>(text.line_count());
        lines.reserve(count);
        for (uint32_t i = 0; i < count; ++i)
            lines.push_back(shape_of(text.line(i)));
        block_end.resize(count);
        uint32_t open = UINT32_MAX;  // the label whose block the lines belong to
        for (uint32_t i = 0; i < count; ++i) {
            block_end[i] = i;
            if (lines[i].label())
                open = i;
            else if (open != UINT32_MAX && lines[i].code())
                block_end[open] = i;
        }
    }

    // The label line whose block holds line, if any.
    std::optional<uint32_t> block_of(uint32_t line) const {
        for (uint32_t i = std::min<uint32_t>(line, static_cast<uint32_t>(lines.size()) - 1) + 1; i-- > 0;)
            if (lines[i].label())
                return block_end[i] >= line ? std::optional<uint32_t>(i) : std::nullopt;
        return std::nullopt;
    }
};

// text (valid UTF-8) as a JSON string; the bytes that need no escape go in as runs.
void append_json_string(std::string& out, std::string_view text) {
    out += '"';
    std::size_t run = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        auto byte = static_cast<unsigned char>(c);
        bool quoted = c == '"' || c == '\\';
        if (byte >= 0x20 && byte != 0x7F && !quoted)
            continue;
        out.append(text.data() + run, i - run);
        run = i + 1;
        if (quoted) {
            out += '\\';
            out += c;
        } else if (c == '\t') {
            out += "\\t";
        } else {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\u%04X", byte);
            out += escaped;
        }
    }
    out.append(text.data() + run, text.size() - run);
    out += '"';
}

void append_number(std::string& out, uint32_t number) {
    char digits[16];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, number).ptr);
}

uint32_t line_width(const FeatureContext& context, uint32_t line) {
    std::string_view raw = context.text.line(line);
    return character_of(raw, raw.size(), context.encoding);
}

}  // namespace

std::string formatting(const FeatureContext& context, const json& /*options*/, uint32_t first_line,
                       uint32_t last_line) {
    // One layout whatever the editor's tab settings: vorn-fmt's, so that a file formatted in
    // any editor passes vorn-fmt --check.
    vorn::FormatOptions format;
    std::vector<vorn::LineEdit> edits = vorn::format_edits(context.text.bytes(), format, first_line, last_line);
    // The edits are written straight into the answer's text: a json value of thousands of
    // edits would cost more to build than the edits themselves.
    std::size_t size = 2;
    for (const vorn::LineEdit& edit : edits)
        size += EditFrameSize + edit.text.size();
    std::string out;
    out.reserve(size);
    out += '[';
    for (const vorn::LineEdit& edit : edits) {
        std::string_view raw = context.text.line(edit.line);
        // A line with bytes that are not UTF-8 reaches the client with them carried or
        // replaced: an edit of it could not give them back, so it stays as it is.
        if (!valid_utf8(raw))
            continue;
        if (out.size() > 1)
            out += ',';
        out += R"({"range":{"start":{"line":)";
        append_number(out, edit.line);
        out += R"(,"character":)";
        append_number(out, character_of(raw, edit.begin, context.encoding));
        out += R"(},"end":{"line":)";
        append_number(out, edit.line);
        out += R"(,"character":)";
        append_number(out, character_of(raw, edit.end, context.encoding));
        out += R"(}},"newText":)";
        append_json_string(out, edit.text);
        out += '}';
    }
    out += ']';
    return out;
}

std::vector<FoldingRange> folding_ranges(const FeatureContext& context) {
    Outline outline(context.text);
    std::vector<FoldingRange> ranges;
    uint32_t count = static_cast<uint32_t>(outline.lines.size());
    for (uint32_t i = 0; i < count; ++i) {
        if (outline.lines[i].label() && outline.block_end[i] > i)
            ranges.push_back(FoldingRange{i, outline.block_end[i]});
        if (outline.lines[i].comment && (i == 0 || !outline.lines[i - 1].comment)) {
            uint32_t end = i;
            while (end + 1 < count && outline.lines[end + 1].comment)
                ++end;
            if (end + 1 - i >= MinCommentRun)
                ranges.push_back(FoldingRange{i, end, true});
        }
    }
    return ranges;
}

std::vector<InlayHint> inlay_hints(const FeatureContext& context, uint32_t first_line, uint32_t last_line) {
    const Analysis& analysis = context.analysis;
    struct Hint {
        uint32_t line;
        uint32_t character;
        std::string label;
    };
    std::vector<Hint> hints;
    // The names: what the compile resolved each of them to.
    for (const vorn::Use& use : analysis.result->uses) {
        if (use.source != analysis.top || analysis.top < 0 || use.where.line == 0 ||
            use.where.line - 1 < first_line || use.where.line - 1 > last_line)
            continue;
        std::string label;
        if (use.kind == vorn::UseKind::Condition) {
            label = "= condition " + std::to_string(use.target);
        } else if (use.kind == vorn::UseKind::Variable || use.kind == vorn::UseKind::Constant) {
            if (use.target < 0 || static_cast<std::size_t>(use.target) >= analysis.result->definitions.size())
                continue;
            const vorn::Definition& definition = analysis.result->definitions[static_cast<std::size_t>(use.target)];
            if (use.kind == vorn::UseKind::Constant) {
                label = "= " + std::to_string(static_cast<uint16_t>(definition.value));
            } else if (vorn::predefined_variable_name(definition.value)) {
                label = "= var " + hex_word(static_cast<unsigned>(definition.value), 4);
            } else {
                label = "= var " + std::to_string(definition.value);
            }
        } else {
            continue;
        }
        uint32_t line = use.where.line - 1;
        hints.push_back({line, character_of(context.text.line(line), use.where.end_column - 1, context.encoding),
                         std::move(label)});
    }
    // The numbers whose text is not the value they are read as, on the lines the compile reached.
    uint32_t end = static_cast<uint32_t>(std::min<std::size_t>(last_line, context.text.line_count() - 1));
    for (uint32_t line = first_line; line <= end; ++line) {
        std::string_view raw = context.text.line(line);
        for (const vorn::LinePiece& piece : vorn::read_line(raw)) {
            if (!analysis.line_record(line + 1, piece.column))
                break;
            const vorn::LineParts& parts = piece.parts;
            if (parts.kind != LineKind::Statement || parts.command.empty())
                continue;
            for (uint32_t i = 0; i < parts.argument_count; ++i) {
                const vorn::Argument& argument = parts.arguments[i];
                if (argument.form != vorn::ArgumentForm::Number)
                    continue;
                std::string_view text = piece.text(argument.value);
                std::optional<int32_t> value = vorn::argument_number(text);
                if (!value || std::to_string(*value) == text)
                    continue;
                std::size_t after = piece.raw(argument.value).end;
                hints.push_back({line, character_of(raw, after, context.encoding), "= " + std::to_string(*value)});
            }
        }
    }
    std::stable_sort(hints.begin(), hints.end(), [](const Hint& a, const Hint& b) {
        return a.line != b.line ? a.line < b.line : a.character < b.character;
    });
    std::vector<InlayHint> result;
    for (Hint& hint : hints)
        result.push_back(InlayHint{Position{hint.line, hint.character}, std::move(hint.label)});
    return result;
}

std::vector<SelectionRange> selection_ranges(const FeatureContext& context, const std::vector<Position>& positions) {
    std::optional<Outline> outline;
    std::vector<SelectionRange> result;
    uint32_t last = static_cast<uint32_t>(context.text.line_count() - 1);
    for (const Position& at : positions) {
        uint32_t line = std::min(at.line, last);
        std::string_view raw = context.text.line(line);
        std::size_t byte = byte_of(raw, at.character, context.encoding);
        // From the innermost range out; each one holds the one before, and one the same as
        // the one before is left out.
        std::vector<Range> chain;
        auto add = [&](Range range) {
            if (chain.empty() || chain.back() != range)
                chain.push_back(std::move(range));
        };
        auto on_line = [&](std::size_t begin, std::size_t end) {
            return line_range(line, character_of(raw, begin, context.encoding),
                              character_of(raw, end, context.encoding));
        };
        Token token = token_at(raw, byte);
        if (token.kind == TokenKind::Argument) {
            add(on_line(token.begin, token.end));
            add(on_line(token.list_begin, token.list_end));
        } else if (token.kind != TokenKind::None && token.kind != TokenKind::Statement) {
            add(on_line(token.begin, token.end));
        }
        // The line's text without the blanks around it (stretched to the position when that
        // stands among them).
        vorn::TextRange text = vorn::trim_range(raw, {0, static_cast<uint32_t>(raw.size())}, true);
        if (!text.empty())
            add(on_line(std::min<std::size_t>(text.begin, byte), std::max<std::size_t>(text.end, byte)));
        if (!outline)
            outline.emplace(context.text);
        if (std::optional<uint32_t> label = outline->block_of(line)) {
            uint32_t end = outline->block_end[*label];
            add(Range{Position{*label, 0}, Position{end, line_width(context, end)}});
        }
        add(Range{Position{0, 0}, Position{last, line_width(context, last)}});
        result.push_back(SelectionRange{std::move(chain)});
    }
    return result;
}

}  // namespace lsp
