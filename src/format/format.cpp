// vorn-fmt's layout, one line at a time. A line is formatted only when everything that decides
// its meaning is plain text outside strings, and the result is then parsed again and compared
// with the original part by part: where anything differs, the line keeps what it had.
#include <vorn/format.h>

#include <algorithm>
#include <optional>

#include <vorn/compiler.h>
#include <vorn/grammar.h>
#include <vorn/language.h>
#include <vorn/line_text.h>

namespace vorn {

namespace {

// Context lines around each change in a diff.
constexpr std::size_t DiffContext = 3;

std::string_view trim_end(std::string_view text) {
    while (!text.empty() && is_layout_blank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::string_view trim_blanks(std::string_view text) {
    text = trim_end(text);
    while (!text.empty() && is_layout_blank(text.front()))
        text.remove_prefix(1);
    return text;
}

std::string_view part(std::string_view text, TextRange range) {
    return text.substr(range.begin, range.size());
}

// A line of a text: what it holds, and its line end ("\n", "\r\n", or none for a last line
// without one).
struct TextLine {
    std::string_view content;
    std::string_view end;
};

std::vector<TextLine> split_lines(std::string_view text) {
    std::vector<TextLine> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t newline = text.find('\n', at);
        if (newline == std::string_view::npos) {
            lines.push_back({text.substr(at), {}});
            break;
        }
        std::size_t content_end = newline;
        if (content_end > at && text[content_end - 1] == '\r')
            --content_end;
        lines.push_back({text.substr(at, content_end - at), text.substr(content_end, newline + 1 - content_end)});
        at = newline + 1;
    }
    return lines;
}

// Runs of blanks become one blank.
std::string collapse_blanks(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (is_layout_blank(text[i])) {
            while (i + 1 < text.size() && is_layout_blank(text[i + 1]))
                ++i;
            out += ' ';
        } else {
            out += text[i];
        }
    }
    return out;
}

// An argument of this many bytes or more, blanks included, is too long for the compiler (or
// one byte short of it), so its blanks are not touched.
constexpr std::size_t LongArgument = ArgumentSize - 1;
// A word of this many bytes may have been cut by the compiler; its line is not touched.
constexpr std::size_t LongWord = MaxFirstWordLength;

// A statement in its layout, or nothing where it is left as it is. code is the line up to its
// comment, with no backslash and no string left open; parts are of its cleaned text, which
// has the same offsets.
std::optional<std::string> format_statement(std::string_view code, const LinePiece& piece,
                                            const std::string& unit) {
    const LineParts& parts = piece.parts;
    std::string_view code_trimmed = trim_end(code);
    if (parts.command.empty())
        return std::string(code_trimmed);  // ignored by the compiler: kept exactly
    if (parts.command.size() >= LongWord)
        return std::nullopt;
    if (piece.string_before(parts.command.end))
        return std::nullopt;
    std::string out = unit;
    if (!parts.has_paren) {
        out += code_trimmed.substr(parts.command.begin);
        return out;
    }
    uint32_t paren = parts.call.begin;
    if (paren >= code.size() || code[paren] != '(')
        return std::nullopt;
    for (uint32_t i = parts.command.end; i < paren; ++i)
        if (!is_layout_blank(code[i]))
            return std::nullopt;  // ignored text between the command and '(' stays as it is
    if (parts.argument_count == 0)
        return std::nullopt;

    out += part(code, parts.command);
    out += '(';
    const Argument* last = &parts.arguments[parts.argument_count - 1];
    const Argument& first = parts.arguments[0];
    if (parts.argument_count == 1 && first.end == ArgumentEnd::Paren && first.value.empty()) {
        // "( )" and "()" differ for a command without arguments.
        out += part(code, first.text);
        out += ')';
    } else {
        for (uint32_t i = 0; i < parts.argument_count; ++i) {
            const Argument& argument = parts.arguments[i];
            if (argument.end != ArgumentEnd::LineEnd && piece.string_at(argument.text.end))
                return std::nullopt;  // a ',' or ')' inside a string: the string's text stays
            std::string_view value = part(code, argument.value);
            std::size_t size = value.size() + (i > 0 && !value.empty() ? 1 : 0);
            if (argument.text.size() >= LongArgument || size >= LongArgument)
                return std::nullopt;
            if (i > 0 && !value.empty())
                out += ' ';
            out += value;
            if (argument.end == ArgumentEnd::Comma)
                out += ',';
            else if (argument.end == ArgumentEnd::Paren)
                out += ')';
        }
    }
    if (last->end == ArgumentEnd::Paren && last->text.end + 1 < code_trimmed.size())
        out += code_trimmed.substr(last->text.end + 1);  // ignored after ')': kept exactly
    return out;
}

// A directive, a label or a place: single blanks between the words the compiler reads; the
// text it ignores after them is kept as written.
std::optional<std::string> format_words(std::string_view code, const LineParts& parts) {
    // The words hold no string: the caller saw to it.
    std::string_view code_trimmed = trim_end(code);
    if (parts.first_word.size() >= LongWord || parts.include_name.size() >= LongWord)
        return std::nullopt;
    std::size_t tail = code_trimmed.size();
    if (!parts.ignored.empty()) {
        std::size_t at = parts.ignored.begin;
        while (at < code_trimmed.size() && is_layout_blank(code_trimmed[at]))
            ++at;
        tail = std::min(at, code_trimmed.size());
    }
    return collapse_blanks(code_trimmed.substr(0, tail)) + std::string(code_trimmed.substr(tail));
}

// Whether a and b hold the same text once their blanks are left out, which formatting must
// leave as it was.
bool same_but_blanks(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    for (;;) {
        while (i < a.size() && is_layout_blank(a[i]))
            ++i;
        while (j < b.size() && is_layout_blank(b[j]))
            ++j;
        if (i == a.size() || j == b.size())
            return i == a.size() && j == b.size();
        if (a[i++] != b[j++])
            return false;
    }
}

// Whether two versions of a line read the same to the compiler: the same kind, the same
// words, arguments and numbers, the same text apart from blanks.
bool same_meaning(const CleanedLine& a, const LineParts& pa, std::string_view after) {
    LinePiece read = read_piece(after);
    const CleanedLine& b = read.clean;
    if (!same_but_blanks(a.text, b.text))
        return false;
    const LineParts& pb = read.parts;
    std::string_view ta = a.text;
    std::string_view tb = b.text;
    if (pa.kind != pb.kind || pa.has_paren != pb.has_paren ||
        pa.argument_count != pb.argument_count)
        return false;
    // A statement's first word runs on into its arguments; its command is what counts.
    if (pa.kind != LineKind::Statement && part(ta, pa.first_word) != part(tb, pb.first_word))
        return false;
    const TextRange LineParts::* words[] = {&LineParts::command, &LineParts::name,
                                            &LineParts::number, &LineParts::include_name};
    for (const TextRange LineParts::* word : words)
        if (part(ta, pa.*word) != part(tb, pb.*word))
            return false;
    for (uint32_t i = 0; i < pa.argument_count; ++i) {
        const Argument& x = pa.arguments[i];
        const Argument& y = pb.arguments[i];
        if (part(ta, x.value) != part(tb, y.value) || x.end != y.end || x.form != y.form ||
            x.text.empty() != y.text.empty() || (x.text.size() >= LongArgument) != (y.text.size() >= LongArgument))
            return false;
    }
    return trim_blanks(part(ta, pa.ignored)) == trim_blanks(part(tb, pb.ignored));
}

// Whether a line with backslashes is one whose blanks can be laid out all the same: a
// directive, a label or a place, without strings, whose backslashes each escape a character
// that is not a blank. raw gets the parts that format_words takes, pointing into the raw code.
bool words_with_escapes(std::string_view code, const LinePiece& piece, LineParts& raw) {
    const CleanedLine& cleaned = piece.clean;
    const LineParts& parts = piece.parts;
    if (parts.kind == LineKind::Statement || parts.kind == LineKind::Blank ||
        parts.kind == LineKind::UnknownDirective || !piece.strings.empty())
        return false;
    for (std::size_t at = code.find('\\'); at != std::string_view::npos; at = code.find('\\', at + 2))
        if (at + 1 >= code.size() || is_layout_blank(code[at + 1]))
            return false;
    auto raw_offset = [&](uint32_t at) {
        return at < cleaned.raw_offsets.size() ? cleaned.raw_offsets[at]
                                               : static_cast<uint32_t>(code.size());
    };
    raw = parts;
    if (!parts.ignored.empty())
        raw.ignored = TextRange{raw_offset(parts.ignored.begin), raw_offset(parts.ignored.end)};
    return true;
}

// A line's content in the layout, or nothing where it stays as it is. end_size is the size
// of its line end, which counts towards the piece.
std::optional<std::string> format_content(std::string_view content, std::size_t end_size,
                                          const std::string& unit) {
    if (content.size() + end_size > MaxPieceLength)
        return std::nullopt;
    if (content.find('\0') != std::string_view::npos)
        return std::nullopt;
    LinePiece piece = read_piece(content);
    const CleanedLine& cleaned = piece.clean;
    std::string_view code = content.substr(0, cleaned.raw_end);
    std::string_view comment;
    if (piece.end != PieceEnd::Text) {
        if (!piece.comment())
            return std::nullopt;  // a carriage return inside the line ends what is read
        comment = trim_end(content.substr(cleaned.raw_end));
    }
    auto breaks = [](char c) { return c == '\v' || c == '\f' || c == '\r' || c == '\n'; };
    if (std::any_of(code.begin(), code.end(), breaks))
        return std::nullopt;
    if (piece.open_string())
        return std::nullopt;  // a string open to the line's end
    const bool escapes = code.size() != cleaned.raw_offsets.size();
    const LineParts& parts = piece.parts;
    LineParts raw_parts;
    if (escapes && !words_with_escapes(code, piece, raw_parts))
        return std::nullopt;
    std::string_view code_trimmed = trim_end(code);
    std::optional<std::string> formatted;
    switch (parts.kind) {
    case LineKind::Blank:
        formatted = std::string();
        break;
    case LineKind::Statement:
        formatted = format_statement(code, piece, unit);
        break;
    case LineKind::UnknownDirective:
        formatted = std::string(code_trimmed);
        break;
    case LineKind::Place:
    case LineKind::EventLabel:
    case LineKind::Defvar:
    case LineKind::Defnum:
    case LineKind::Include:
        // Blanks inside a string are its text: words with one stay as they are.
        if (piece.string_before(parts.ignored.empty() ? UINT32_MAX : parts.ignored.begin))
            return std::nullopt;
        formatted = format_words(code, escapes ? raw_parts : parts);
        break;
    }
    if (!formatted)
        return std::nullopt;
    std::string result = std::move(*formatted);
    if (!comment.empty()) {
        if (result.size() == code_trimmed.size())
            result += code.substr(code_trimmed.size());
        else if (!result.empty())
            result += ' ';
        result += comment;
    }
    if (result == content)
        return result;
    if (result.size() + end_size > MaxPieceLength || !same_meaning(cleaned, parts, result))
        return std::nullopt;
    return result;
}

std::string indent_unit(const FormatOptions& options) {
    if (options.use_tabs)
        return "\t";
    uint32_t width = std::clamp<uint32_t>(options.indent_width, 1, MaxIndentWidth);
    return std::string(width, ' ');
}

}  // namespace

std::vector<LineEdit> format_edits(std::string_view text, const FormatOptions& options,
                                   uint32_t first_line, uint32_t last_line) {
    std::vector<LineEdit> edits;
    std::string unit = indent_unit(options);
    // A compile reads nothing from the end-of-file mark on: that text stays exactly.
    std::size_t read_end = text.find(static_cast<char>(EndOfFileMark));
    std::vector<TextLine> lines = split_lines(text);
    for (uint32_t i = first_line; i < lines.size() && i <= last_line; ++i) {
        const TextLine& line = lines[i];
        std::size_t line_end = static_cast<std::size_t>(line.end.data() + line.end.size() - text.data());
        if (read_end != std::string_view::npos && line_end > read_end)
            break;
        std::optional<std::string> formatted = format_content(line.content, line.end.size(), unit);
        // A last line without a line end is a line only while it holds a byte: emptied, the
        // file would have a line fewer, so blanks there stay as they are.
        if (formatted && formatted->empty() && line.end.empty())
            continue;
        if (formatted && *formatted != line.content)
            edits.push_back({i, 0, static_cast<uint32_t>(line.content.size()), std::move(*formatted)});
    }
    return edits;
}

std::string format_text(std::string_view text, const FormatOptions& options) {
    std::vector<LineEdit> edits = format_edits(text, options);
    std::vector<TextLine> lines = split_lines(text);
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    std::size_t next = 0;
    for (uint32_t i = 0; i < lines.size(); ++i) {
        if (next < edits.size() && edits[next].line == i) {
            out += edits[next].text;
            ++next;
        } else {
            out += lines[i].content;
        }
        out += lines[i].end;
    }
    return out;
}

std::string format_diff(std::string_view name, std::string_view before, std::string_view after) {
    std::vector<TextLine> old_lines = split_lines(before);
    std::vector<TextLine> new_lines = split_lines(after);
    auto whole = [](const TextLine& line) {
        return std::string_view(line.content.data(), line.content.size() + line.end.size());
    };
    std::size_t count = std::max(old_lines.size(), new_lines.size());
    auto changed = [&](std::size_t i) {
        if (i >= old_lines.size() || i >= new_lines.size())
            return true;
        return whole(old_lines[i]) != whole(new_lines[i]);
    };
    auto emit = [](std::string& out, char mark, std::string_view line) {
        out += mark;
        out += line;
        if (line.empty() || line.back() != '\n')
            out += "\n\\ No newline at end of file\n";
    };
    auto range = [](std::size_t start, std::size_t length) {
        std::string text = std::to_string(length == 0 ? start : start + 1);
        if (length != 1)
            text += "," + std::to_string(length);
        return text;
    };
    std::string out;
    std::size_t i = 0;
    while (i < count) {
        if (!changed(i)) {
            ++i;
            continue;
        }
        // A hunk: from DiffContext lines before this change to DiffContext after the last
        // change that lies within twice that of the one before it.
        std::size_t start = i >= DiffContext ? i - DiffContext : 0;
        std::size_t last = i;
        for (std::size_t j = i + 1; j < count && j <= last + 2 * DiffContext; ++j)
            if (changed(j))
                last = j;
        std::size_t stop = std::min(count, last + DiffContext + 1);
        std::size_t old_stop = std::min(stop, old_lines.size());
        std::size_t new_stop = std::min(stop, new_lines.size());
        if (out.empty()) {
            // patch reads a header's name up to a blank, unless a tab ends it (as diff writes
            // a date after one): a name with a blank gets the tab.
            std::string header(name);
            if (header.find_first_of(" \t") != std::string::npos)
                header += '\t';
            out += "--- " + header + "\n+++ " + header + "\n";
        }
        out += "@@ -" + range(start, old_stop - std::min(start, old_stop)) + " +" +
               range(start, new_stop - std::min(start, new_stop)) + " @@\n";
        for (std::size_t j = start; j < stop;) {
            if (!changed(j)) {
                emit(out, ' ', whole(old_lines[j]));
                ++j;
                continue;
            }
            std::size_t run_end = j;
            while (run_end < stop && changed(run_end))
                ++run_end;
            for (std::size_t k = j; k < run_end && k < old_lines.size(); ++k)
                emit(out, '-', whole(old_lines[k]));
            for (std::size_t k = j; k < run_end && k < new_lines.size(); ++k)
                emit(out, '+', whole(new_lines[k]));
            j = run_end;
        }
        i = stop;
    }
    return out;
}

}  // namespace vorn
